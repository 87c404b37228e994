#pragma once
// The logger's clock on the time line of the data: its timestamps are 32 bits of
// milliseconds, which run over every 49.7 days, while the data's times are 64-bit
// milliseconds since the epoch that never decrease.
#include "core/types.h"

namespace vistra {

inline constexpr u64 kLoggerClockWrap = u64{1} << 32;

// How a frame's timestamp continued the frames before it.
enum class ClockStep {
    Forward, // at or after the frame before
    Wrapped, // the clock ran over: the offset moved on by kLoggerClockWrap
    Back,    // earlier than the frame before: kept at that frame's time
};

// The time of a frame whose timestamp is `ts`, after a frame at `last`, on the running
// `offset` (time = offset + ts). A clock that runs over lands near the bottom of its
// range after a time near the top: it steps back by more than half the range. Any
// smaller step back is a frame out of order, or a clock set back a little; taking it for
// a wrap would date it and every later frame 49.7 days ahead. Such a frame is kept at
// `last`, and the offset stays, so the frames after it are on their own times again.
inline u64 placeTimestamp(u32 ts, u64 last, u64& offset, ClockStep& step)
{
    const u64 t = offset + ts;
    if (t >= last) {
        step = ClockStep::Forward;
        return t;
    }
    if (last - t > kLoggerClockWrap / 2) {
        step = ClockStep::Wrapped;
        offset += kLoggerClockWrap;
        return offset + ts;
    }
    step = ClockStep::Back;
    return last;
}

// One warning for the frames of a file or stream that came earlier than the frame
// before them (`count` of them; none: no warning). `source` names the file or stream.
void reportFramesOutOfOrder(const char* source, u64 count);

} // namespace vistra
