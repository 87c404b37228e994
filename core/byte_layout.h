#pragma once
// Little-endian reads and writes of byte buffers, and the byte layout of a stored frame
// record. The reads and writes go through memcpy: any alignment, any host byte order.
#include "core/frame_record.h"
#include "core/types.h"

#include <bit>
#include <cstring>

namespace vistra {

inline u16 loadLe16(const u8* bytes)
{
    u16 value;
    std::memcpy(&value, bytes, sizeof value);
    if constexpr (std::endian::native == std::endian::big)
        value = __builtin_bswap16(value);
    return value;
}

inline u32 loadLe32(const u8* bytes)
{
    u32 value;
    std::memcpy(&value, bytes, sizeof value);
    if constexpr (std::endian::native == std::endian::big)
        value = __builtin_bswap32(value);
    return value;
}

inline void storeLe16(u8* bytes, u16 value)
{
    if constexpr (std::endian::native == std::endian::big)
        value = __builtin_bswap16(value);
    std::memcpy(bytes, &value, sizeof value);
}

inline void storeLe32(u8* bytes, u32 value)
{
    if constexpr (std::endian::native == std::endian::big)
        value = __builtin_bswap32(value);
    std::memcpy(bytes, &value, sizeof value);
}

// A frame record as the logger stores and sends it, every field little-endian:
//
//   offset 0  u32 timestamp (ms, the logger's clock)   offset 8  u8 data length
//   offset 4  u32 identifier word                      offset 9  u8 data[8]
//   offset 17 u8 interface (absent from the 17-byte records of older loggers)
inline constexpr int kRecordSize = 18;
inline constexpr int kRecordSizeV0 = 17;
inline constexpr int kRecordTimestampOffset = 0;
inline constexpr int kRecordIdWordOffset = 4;
inline constexpr int kRecordLengthOffset = 8;
inline constexpr int kRecordDataOffset = 9;
inline constexpr int kRecordIfaceOffset = 17;

// Writes the frame as an 18-byte record: its timestamp, identifier word, length as it
// stands, the eight data bytes and the interface. The absolute time is not stored.
inline void packRecord(const FrameRecord& frame, u8 record[kRecordSize])
{
    storeLe32(record + kRecordTimestampOffset, frame.timestamp);
    storeLe32(record + kRecordIdWordOffset, frame.idWord);
    record[kRecordLengthOffset] = frame.length;
    std::memcpy(record + kRecordDataOffset, frame.data, sizeof frame.data);
    record[kRecordIfaceOffset] = frame.iface;
}

// Reads an 18-byte record back into a frame. The length stays as stored (the data are
// read through dataLength()); the absolute time is left for the reader's time base.
inline FrameRecord unpackRecord(const u8 record[kRecordSize])
{
    FrameRecord frame;
    frame.timestamp = loadLe32(record + kRecordTimestampOffset);
    frame.idWord = loadLe32(record + kRecordIdWordOffset);
    frame.length = record[kRecordLengthOffset];
    std::memcpy(frame.data, record + kRecordDataOffset, sizeof frame.data);
    frame.iface = record[kRecordIfaceOffset];
    return frame;
}

} // namespace vistra
