// Store::writeAscFrame: the ASC text trace of the command-line options -o and -m and of
// an interval dump.
#include "core/constants.h"
#include "core/frame_record.h"
#include "core/regular_file.h"
#include "core/report.h"
#include "store/store.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace vistra {
namespace {

tm utcTime(u64 seconds)
{
    tm cal{};
    const std::time_t t = static_cast<std::time_t>(seconds);
    gmtime_r(&t, &cal);
    return cal;
}

} // namespace

void Store::writeAscFrame(const FrameRecord& frame, const u64* absTime)
{
    // The logger's own reports are not CAN traffic.
    if ((frame.idWord & kErrorFrameFlag) != 0 || frame.iface >= kLoggerIface)
        return;
    const u64 abs = *absTime;
    const bool dump = dumpPending;
    if (dump && (abs < dumpFrom || abs > dumpTo))
        return;

    if (!ascHeaderWritten) {
        // The header carries the first written frame's whole second; the lines count from it.
        const u64 seconds = abs / 1000;
        const tm cal = utcTime(seconds);
        char date[80];
        std::strftime(date, sizeof date, "date %a %b %d %H:%M:%S.000 %P %Y\n", &cal);
        std::fputs(date, output);
        std::fputs("base hex  timestamps absolute\n", output);
        // The usual third header line of the format: without it python-can takes the
        // first frame line for part of the header and loses that frame.
        std::fputs("no internal events logged\n", output);
        firstDumpedTime = seconds * 1000;
        ascHeaderWritten = true;
    }
    if ((frame.idWord & kRemoteFlag) != 0)
        return;

    // One formatted line and one write per frame: the trace of a large log is millions
    // of lines. Longest line: 24 + 22 + 8 * 3 + 1 characters.
    char line[128];
    int n;
    if (dateStamp) {
        const tm cal = utcTime(abs / 1000);
        n = std::snprintf(line, sizeof line, "%04d-%02d-%02d %02d:%02d:%02d.%03u ", cal.tm_year + 1900,
                          cal.tm_mon + 1, cal.tm_mday, cal.tm_hour, cal.tm_min, cal.tm_sec,
                          static_cast<unsigned>(abs % 1000));
    } else {
        const u64 rel = abs - firstDumpedTime;
        n = std::snprintf(line, sizeof line, "%llu.%04llu ", static_cast<unsigned long long>(rel / 1000),
                          static_cast<unsigned long long>(rel % 1000 * 10));
    }
    n += std::snprintf(line + n, sizeof line - n, "%d %X%s Rx d %hhu", static_cast<u8>(frame.iface + 1),
                       frame.idWord & kIdMask, (frame.idWord & kExtendedFlag) != 0 ? "x" : "", frame.length);
    // The length field is written as received; only the 8 bytes the frame holds follow it.
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (u8 i = 0; i < frame.dataLength(); ++i) {
        line[n++] = ' ';
        line[n++] = kHex[frame.data[i] >> 4];
        line[n++] = kHex[frame.data[i] & 0xF];
    }
    line[n++] = '\n';
    // A failed write loses its data and a later one may succeed: keep the first error.
    if (std::fwrite(line, 1, static_cast<std::size_t>(n), output) != static_cast<std::size_t>(n) && outputError == 0)
        outputError = errno != 0 ? errno : EIO;

    if (!dump) {
        const std::time_t now = std::time(nullptr);
        if (now - lastAscFlush > 1) {
            if (std::fflush(output) != 0 && outputError == 0)
                outputError = errno != 0 ? errno : EIO;
            lastAscFlush = now;
        }
    }
}

bool Store::beginAscTrace(bool dump)
{
    firstDumpedTime = 0;
    ascHeaderWritten = false;
    outputError = 0;
    if (!dump)
        return true;
    // The worker would wait for good on a FIFO chosen as the target: only a regular file
    // (or a new one) is written.
    std::string problem;
    std::FILE* f = nullptr;
    const int fd = openRegularForWriting(dumpPath.raw(), 0666, true, problem);
    if (fd >= 0) {
        if (::ftruncate(fd, 0) == 0)
            f = ::fdopen(fd, "w");
        if (!f) {
            problem = std::strerror(errno);
            ::close(fd);
        }
    }
    if (!f) {
        reportError("Could not open %s, %s", dumpPath.c_str(), problem.c_str());
        // Without this the dump request stays and every later action waits for it.
        dumpPending = false;
        emitProgressChanged();
        return false;
    }
    output = f;
    return true;
}

void Store::endDump()
{
    if (std::fclose(output) != 0 && outputError == 0)
        outputError = errno != 0 ? errno : EIO;
    output = stdout;
    if (outputError != 0)
        reportError("Could not write %s, %s", dumpPath.c_str(), std::strerror(outputError));
    else if (ascHeaderWritten)
        reportInfo("Data written to %s", dumpPath.c_str());
    else
        reportInfo("No data in selected interval");
    dumpPending = false;
}

void Store::abandonDump()
{
    if (output != stdout) {
        std::fclose(output);
        output = stdout;
    }
}

} // namespace vistra
