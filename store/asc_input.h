#pragma once
// Reading ASC traces back into frames.
#include "core/frame_record.h"

namespace vistra {

// Longer lines are no frame lines of a trace: the reader skips them.
inline constexpr int kMaxAscLine = 100;

// One line of an ASC trace (without its line end) into the frame's logger timestamp
// (ms), identifier word, length, data and interface (channel − 1). Only received data
// frames are read: "<seconds> <channel> <id>[x] Rx d <length> <bytes...>", with "." or
// "," in the time. False for any other line; the frame is then left as it was.
bool parseAscLine(const char* line, FrameRecord* frame);

} // namespace vistra
