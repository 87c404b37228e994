#pragma once
// Writes native log files: the two header lines, then the frames as a block stream of
// 18-byte records. Used by the tests, the benchmarks and the example-data generator.
#include "core/frame_record.h"
#include "core/types.h"
#include "store/stream_compressor.h"

#include <cstdio>
#include <string>

namespace vistra {

class LogFileWriter {
public:
    LogFileWriter() = default;
    ~LogFileWriter();
    LogFileWriter(const LogFileWriter&) = delete;
    LogFileWriter& operator=(const LogFileWriter&) = delete;

    // Creates the file and writes the header for a log started at startMs (UTC ms), with
    // " on <name>" when a name is given. False when the file cannot be written.
    bool open(const std::string& path, u64 startMs, const char* loggerName = nullptr);
    // Appends one frame: its timestamp, identifier word, length, data and interface.
    bool add(const FrameRecord& frame);
    // Writes what waits as a last block and closes the file; false on a write error.
    bool close();

    // The first header line for a log started at startMs, with its newline.
    static std::string headerLine(u64 startMs, const char* loggerName = nullptr);

private:
    bool writePending();

    std::FILE* file = nullptr;
    StreamCompressorPtr stream;
    bool failed = false;
};

} // namespace vistra
