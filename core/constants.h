#pragma once
// Numbers and texts that several parts of the program must agree on: the fixed interface
// numbers, the statistics messages, the progress scale, the time-base rule shared by
// the log files and the live inputs, and the markers stored in the settings.
#include "core/types.h"

#include <cstddef>

namespace vistra {

// The logger's own reports (GPS position and motion, status, overload) arrive on this
// interface number; it is the built-in interface "Logger", not CAN traffic.
inline constexpr u32 kLoggerIface = 255;
// The interface "CSV" of the columns of CSV input, in its one message "All".
inline constexpr u32 kCsvIface = 1023;
// The interface "Virt" that holds the virtual messages and signals of a VSD file.
inline constexpr u32 kVirtualIface = 1024;
// Interface n has its statistics interface "ST_<name>" at n + this offset; every number
// below it belongs to a real or virtual interface.
inline constexpr u32 kStatIfaceOffset = 0x10000;
// The messages of a statistics interface, by identifier.
inline constexpr u32 kStatErrorMessageId = 1;
inline constexpr u32 kStatBusLoadMessageId = 2;
inline constexpr u32 kStatMsgRateMessageId = 3;

// The Store's progress value runs from 0 to this, which also means "nothing to load".
inline constexpr u8 kProgressDone = 255;

// A new time base that lies no further than this beyond the running one continues it:
// consecutive files, or a reader restarted, stay on one time line.
inline constexpr u64 kContinueMs = 20000;

// From this size on, a buffer gets a mapping of its own while logs load: freed, its
// memory goes back to the system, and room that it reserves and never fills costs none.
inline constexpr std::size_t kOwnMappingBytes = 128 * 1024;

// Live data: the visible window grows by this much whenever the data come near its end.
inline constexpr u64 kLiveWindowMs = 900000;

// The logger's TCP port for live data, unless the user names another.
inline constexpr u32 kDefaultLivePort = 777;

// Stored in place of a DBC or VSD path: no file chosen.
inline constexpr const char* kNoFile = "./dummy";
// Stored in place of a signal's colour: the signal takes the default colour.
inline constexpr const char* kDefaultColourMarker = "#00007833ffff";

} // namespace vistra
