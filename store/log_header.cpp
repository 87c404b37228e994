#include "store/log_header.h"

#include <cstring>
#include <ctime>

namespace vistra {
namespace {

// Only this much of the first line takes part in the scan; the rest is skipped.
constexpr std::size_t kKeptLine = 55;

} // namespace

LogHeader readLogHeader(std::FILE* file)
{
    LogHeader header;
    char line[kKeptLine + 1];
    std::size_t kept = 0;
    std::size_t length = 0;
    int c;
    while ((c = std::getc(file)) != '\n') {
        if (c == EOF || ++length > kMaxLogHeaderBytes)
            return header;
        if (kept < kKeptLine)
            line[kept++] = static_cast<char>(c);
    }
    line[kept] = '\0';

    char day[4] = {};
    char name[9] = {};
    int year = 0, month = 0, mday = 0, hour = 0, minute = 0, second = 0, millis = 0;
    const int fields = std::sscanf(line, "Log started at %3s %4d-%2d-%2d %2d:%2d:%2d.%3d on %8s", day, &year,
                                   &month, &mday, &hour, &minute, &second, &millis, name);
    // 7 fields: no milliseconds; 8: the usual header; 9: with " on <name>". Counting
    // only 7 and 9 as valid would turn away the usual header.
    if (fields < 7)
        return header;
    const bool multiCan = fields == 9 && std::strcmp(name, "multiCAN") == 0;

    char start[9];
    if (std::fread(start, 1, sizeof start, file) != sizeof start || std::memcmp(start, "LOGSTART", 9) != 0)
        return header;

    std::tm cal{};
    cal.tm_year = year - 1900;
    cal.tm_mon = month - 1;
    cal.tm_mday = mday;
    cal.tm_hour = hour;
    cal.tm_min = minute;
    cal.tm_sec = second;
    const std::time_t t = timegm(&cal);
    header.startMs = static_cast<i64>(t) * 1000 + millis;
    header.multiCan = multiCan;
    return header;
}

} // namespace vistra
