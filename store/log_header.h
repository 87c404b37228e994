#pragma once
// The two header lines of a native log file:
//   "Log started at Tue 2024-01-02 03:04:05.678[ on <name>]\n"
//   "LOGSTART" 0x00 <logger bytes without newline> "\n"
#include "core/types.h"

#include <cstddef>
#include <cstdio>

namespace vistra {

// The two header lines never come near this size. A file without their newlines within it
// is no log file, and is not searched to its end (a sparse file can be terabytes long).
inline constexpr std::size_t kMaxLogHeaderBytes = 65536;

struct LogHeader {
    i64 startMs = -1; // UTC ms since the epoch; negative: not a native log file
    bool multiCan = false; // written on "multiCAN"
};

// Reads the first line and the 9 bytes that begin the second from `file`. A start time
// that comes out negative is returned as it is (the file is no log file then either).
LogHeader readLogHeader(std::FILE* file);

} // namespace vistra
