#include "window/live_address.h"

#include "core/constants.h"
#include "core/report.h"

#include <cerrno>
#include <cstdlib>

namespace vistra {

u32 livePortFromText(const std::string& portText)
{
    const char* text = portText.empty() ? "777" : portText.c_str();
    errno = 0;
    const long value = std::strtol(text, nullptr, 0);
    // A value beyond 16 bits would not survive the trip to the socket: 5000000000 must not
    // quietly turn into some other port.
    if (errno == ERANGE || value < 1 || value > 65535) {
        reportWarning("Invalid port '%s', using 777 (default)", text);
        return kDefaultLivePort;
    }
    return static_cast<u32>(value);
}

std::string composeLiveAddress(const std::string& server, const std::string& portText)
{
    if (portText.empty() || portText == "777")
        return server;
    return server + ":" + portText;
}

} // namespace vistra
