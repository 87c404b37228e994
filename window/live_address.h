#pragma once
// The logger address of the live-connection dialog: "<server>" or "<server>:<port>".
#include "core/types.h"

#include <string>

namespace vistra {

// The port of an address's port text (the text after its first ':'): read like a C
// literal ("0x1F90" is 8080, "010" is 8), up to the first character that does not fit;
// empty means 777. Anything that is no TCP port (below 1, above 65535, too long to read)
// is reported as a WRN, and 777 is used.
u32 livePortFromText(const std::string& portText);

// The address shown for a server and port text: the server alone when the port is empty
// or the default "777".
std::string composeLiveAddress(const std::string& server, const std::string& portText);

} // namespace vistra
