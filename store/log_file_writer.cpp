#include "store/log_file_writer.h"

#include <ctime>

namespace vistra {
namespace {

int writeToFile(StreamCompressor*, void* sink, const void* bytes, int count)
{
    auto* file = static_cast<std::FILE*>(sink);
    return std::fwrite(bytes, 1, static_cast<std::size_t>(count), file) == static_cast<std::size_t>(count) ? 0 : 1;
}

} // namespace

LogFileWriter::~LogFileWriter() { close(); }

std::string LogFileWriter::headerLine(u64 startMs, const char* loggerName)
{
    const std::time_t seconds = static_cast<std::time_t>(startMs / 1000);
    std::tm cal{};
    gmtime_r(&seconds, &cal);
    char date[64];
    std::strftime(date, sizeof date, "%a %Y-%m-%d %H:%M:%S", &cal);
    char line[128];
    std::snprintf(line, sizeof line, "Log started at %s.%03u%s%s\n", date, static_cast<unsigned>(startMs % 1000),
                  loggerName ? " on " : "", loggerName ? loggerName : "");
    return line;
}

bool LogFileWriter::open(const std::string& path, u64 startMs, const char* loggerName)
{
    close();
    failed = false;
    file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    StreamCompressor* raw = nullptr;
    if (stream::create(&raw, stream::kCompress) != 0) {
        std::fclose(file);
        file = nullptr;
        return false;
    }
    stream.reset(raw);
    const std::string header = headerLine(startMs, loggerName);
    static const char second[] = "LOGSTART\0tarnwick\n"; // no newline before the last
    if (std::fputs(header.c_str(), file) < 0 || std::fwrite(second, 1, sizeof second - 1, file) != sizeof second - 1)
        failed = true;
    return !failed;
}

bool LogFileWriter::writePending()
{
    if (stream::writeBlock(stream.get(), file, writeToFile) != 0)
        failed = true;
    stream->outLength = 0;
    return !failed;
}

bool LogFileWriter::add(const FrameRecord& frame)
{
    if (!file)
        return false;
    u8 record[kRecordSize];
    packRecord(frame, record);
    if (stream::addRecord(stream.get(), record) == 1)
        return writePending();
    return !failed;
}

bool LogFileWriter::close()
{
    if (!file)
        return false;
    if (stream::addRecord(stream.get(), nullptr) == 1)
        writePending();
    stream.reset();
    if (std::fclose(file) != 0)
        failed = true;
    file = nullptr;
    return !failed;
}

} // namespace vistra
