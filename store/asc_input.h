#pragma once
// Reading ASC traces back into frames.
#include "core/frame_record.h"

namespace vistra {

// Longer lines are no frame lines of a trace: the reader skips them.
inline constexpr int kMaxAscLine = 100;

enum class AscLine {
    Frame,
    NotAFrame,
    // A frame line whose time the logger's 32-bit millisecond clock cannot hold: below 0,
    // or 4294967.296 s and later.
    TimeOutOfRange,
};

// One line of an ASC trace (without its line end) into the frame's logger timestamp
// (ms), identifier word, length, data and interface (channel − 1). Only received data
// frames are read: "<seconds> <channel> <id>[x] Rx d <length> <bytes...>", with "." or
// "," in the time. For any other line the frame is left as it was.
AscLine parseAscLine(const char* line, FrameRecord* frame);

} // namespace vistra
