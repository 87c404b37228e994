#pragma once
#include "core/types.h"

namespace vistra {

// Bits of FrameRecord::idWord (the SocketCAN layout).
inline constexpr u32 kIdMask = 0x1FFFFFFF;
inline constexpr u32 kErrorFrameFlag = 0x20000000;
inline constexpr u32 kRemoteFlag = 0x40000000;
inline constexpr u32 kExtendedFlag = 0x80000000;

// One CAN frame as it passes from the readers to the messages. Copied by value.
struct FrameRecord {
    u32 timestamp = 0; // the logger's time stamp in ms; wraps
    u32 idWord = 0;    // identifier in bits 0-28, error/remote/extended flags above
    u8 length = 0;     // data length code; may exceed 8 when it comes from a file
    u8 data[8] = {};
    u8 iface = 0;      // interface number; 255 for the logger's own reports
    u64 absTime = 0;   // ms since the Unix epoch, UTC

    // The number of data bytes that may be read: the length, never more than 8.
    u8 dataLength() const { return length > 8 ? 8 : length; }
};

} // namespace vistra
