// The ASC-input job: ASC traces read back into frames, which take the same road as the
// frames of a live stream.
#include "store/asc_input.h"

#include "core/can_iface.h"
#include "core/constants.h"
#include "core/message.h"
#include "core/parse_number.h"
#include "core/regular_file.h"
#include "core/report.h"
#include "store/input_time.h"
#include "store/store.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>

namespace vistra {
namespace {

// The logger timestamp is 32 bits of milliseconds.
constexpr double kTimestampLimitMs = 4294967296.0;
// How often a long file looks whether the store is stopping.
constexpr unsigned kStopCheckLines = 4096;

// The value of a hex digit, or -1.
int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// A whole field of hex digits that fits the 29 identifier bits; anything more would set
// the error, remote or extended flags of the identifier word.
bool parseIdentifier(const char* text, u32* id)
{
    u32 value = 0;
    const char* p = text;
    for (; hexValue(*p) >= 0; ++p) {
        value = value << 4 | static_cast<u32>(hexValue(*p));
        if (value > kIdMask)
            return false;
    }
    if (p == text || *p != '\0')
        return false;
    *id = value;
    return true;
}

// Reads the next line of `f` into `line` without its line end ("\n", or "\r\n"); at most
// kMaxAscLine characters are kept. False at the end of the file; *tooLong when the line
// had more characters than that. Read byte by byte: a line holding a zero byte must not
// hide its own end.
bool readLine(std::FILE* f, char (&line)[kMaxAscLine + 2], bool* tooLong)
{
    std::size_t length = 0; // of the whole line, counted also past what is kept
    int c = 0;
    while ((c = getc_unlocked(f)) != EOF && c != '\n') {
        if (length < kMaxAscLine + 1)
            line[length] = static_cast<char>(c);
        length += 1;
    }
    if (c == EOF && length == 0)
        return false;
    const bool crlf = length != 0 && length <= kMaxAscLine + 1 && line[length - 1] == '\r';
    if (crlf)
        length -= 1;
    *tooLong = length > kMaxAscLine;
    line[*tooLong ? 0 : length] = '\0';
    return true;
}

} // namespace

AscLine parseAscLine(const char* line, FrameRecord* frame)
{
    // Each field is part of the line, which the reader keeps to kMaxAscLine characters.
    char timeText[kMaxAscLine + 1];
    char idText[kMaxAscLine + 1];
    char dataText[kMaxAscLine + 1] = "";
    unsigned char channel = 0;
    unsigned char length = 0;
    // A line of length 0 converts one field less: it has no data after the length.
    auto matched = [&](int fields) { return fields == 5 || (fields == 4 && length == 0); };
    bool extended = matched(std::sscanf(line, "%100s %hhu %100[^x]x Rx d %hhu %100[0-9A-Fa-f ]", timeText, &channel,
                                        idText, &length, dataText));
    if (!extended) {
        length = 0;
        dataText[0] = '\0';
        if (!matched(std::sscanf(line, "%100s %hhu %100s Rx d %hhu %100[0-9A-Fa-f ]", timeText, &channel, idText,
                                 &length, dataText)))
            return AscLine::NotAFrame;
    }

    const char* end = timeText;
    const double seconds = parseNumber(timeText, &end);
    u32 id = 0;
    if (end == timeText || !parseIdentifier(idText, &id))
        return AscLine::NotAFrame;
    u64 ms = 0;
    if (!secondsToMs(seconds, kTimestampLimitMs, &ms))
        return AscLine::TimeOutOfRange;

    frame->timestamp = static_cast<u32>(ms);
    frame->idWord = extended ? id | kExtendedFlag : id;
    frame->iface = static_cast<u8>(channel - 1);
    frame->length = length;
    // The length stays as written; the frame holds no more than its 8 data bytes.
    std::memset(frame->data, 0, sizeof frame->data);
    const char* p = dataText;
    for (u8 i = 0; i < frame->dataLength(); ++i) {
        char* next = nullptr;
        frame->data[i] = static_cast<u8>(std::strtoul(p, &next, 16));
        p = next;
    }
    return AscLine::Frame;
}

void Store::readAscFile()
{
    const bool dump = dumpPending;
    const bool ascTrace = ascOutput || dump;
    if (!ascTrace && usedNotLoadedCount == 0)
        return;

    takeNextOffsetAsBase = true;
    timeOffset = 0;
    firstFileStart = kNoTime;
    lastFrameTime = 0;
    framesOutOfOrder = 0;
    collectUsedIfaces();
    bool started = false;
    for (auto& ifaceEntry : interfaces)
        for (auto& msgEntry : ifaceEntry.second->messages)
            if (msgEntry.second->usedNotLoadedCount != 0 && msgEntry.second->startThread())
                started = true;
    // The decode threads just started end at endOfLoad, below.
    auto endLoad = [this] {
        for (auto& ifaceEntry : interfaces)
            for (auto& msgEntry : ifaceEntry.second->messages)
                msgEntry.second->endOfLoad();
    };
    if (!started && !ascTrace)
        return;
    if (!beginAscTrace(dump)) {
        endLoad();
        return;
    }
    // An exception must not leave the dump file open.
    struct Unwind {
        Store& store;
        bool dump;
        ~Unwind()
        {
            if (dump && std::uncaught_exceptions() != 0)
                store.abandonDump();
        }
    } unwind{*this, dump};

    const double files = static_cast<double>(logFileList.size());
    int before = 0;
    bool stopped = false;
    for (const Glib::ustring& path : logFileList) {
        progress = static_cast<u8>(static_cast<int>(kProgressDone / files * before++));
        emitProgressChanged();
        const std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(RegularFile(path.raw()).openStream(), std::fclose);
        if (!f) {
            reportWarning("Couldn't open file %s\n", path.c_str());
            inputFailed = true;
            continue;
        }
        char line[kMaxAscLine + 2];
        bool tooLong = false;
        unsigned lines = 0;
        u64 outOfRange = 0;
        FrameRecord frame;
        while (readLine(f.get(), line, &tooLong)) {
            if (++lines % kStopCheckLines == 0 && !isRunning()) {
                stopped = true;
                break;
            }
            if (tooLong)
                continue;
            const AscLine kind = parseAscLine(line, &frame);
            if (kind == AscLine::Frame)
                dispatchFrame(frame);
            else if (kind == AscLine::TimeOutOfRange)
                outOfRange += 1;
        }
        if (outOfRange != 0)
            reportWarning("Frame lines skipped in %s: %llu, their times lie outside the logger clock's 0 to "
                          "4294967.295 s",
                          path.c_str(), static_cast<unsigned long long>(outOfRange));
        reportFramesOutOfOrder(path);
        if (stopped)
            break;
    }

    progress = kProgressDone;
    emitProgressChanged();
    takeInputTimeRange();
    endLoad();
    if (dump)
        endDump();
    refreshPlotSignals();
    emitDataChanged();
}

} // namespace vistra
