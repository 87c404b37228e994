// The Store's native-log side: the checked, start-time ordered list of log files and the
// job that parses them, one LogParser thread per file, while the messages' decode
// threads take the records of their own frames.
#include "core/bit_rate.h"
#include "core/can_iface.h"
#include "core/constants.h"
#include "core/message.h"
#include "core/regular_file.h"
#include "core/report.h"
#include "store/heap_release.h"
#include "store/log_header.h"
#include "store/log_parser.h"
#include "store/store.h"

#include <algorithm>
#include <cstdio>
#include <deque>
#include <iterator>
#include <exception>
#include <vector>
#include <memory>

namespace vistra {
namespace {

// The per-file progress stops at 95 % of the scale; the end of the load fills it.
constexpr double kFileProgressScale = 0.95 * kProgressDone;

} // namespace

bool fileReadable(const char* path) { return RegularFile(path).ok(); }

i64 Store::readLogStartTime(const char* path)
{
    std::FILE* f = RegularFile(path).openStream();
    if (!f)
        return -1;
    const LogHeader header = readLogHeader(f);
    std::fclose(f);
    if (header.multiCan)
        multiCanHeader = true;
    if (header.startMs < 0 && header.startMs != -1)
        reportInfo("Failed to read start time from: %s, skipping\n", path);
    return header.startMs;
}

void Store::addLogFile(const char* path)
{
    if (csvInput || ascInput) {
        logFileList.push_back(path);
        return;
    }
    const i64 start = readLogStartTime(path);
    if (start < 0) {
        reportInfo("%s is not a valid log file, skipping", path);
        return;
    }
    // Inserted in start-time order after every file that does not start later (files of
    // equal start time keep the order in which they were added), searching from the end:
    // sorting and rebuilding the lists for each file made a folder of thousands of logs
    // cost seconds. The two lists hold the same files in the same order.
    auto timed = timedLogFiles.end();
    auto listed = logFileList.end();
    while (timed != timedLogFiles.begin() && std::prev(timed)->start > u64(start)) {
        --timed;
        --listed;
    }
    timedLogFiles.insert(timed, {path, static_cast<u64>(start)});
    logFileList.insert(listed, path);
}

void Store::loadLogFiles()
{
    decodeAll = false;
    keepErrorFrames = false;
    ifaceMask = 0;
    const bool dump = dumpPending;
    const bool ascTrace = ascOutput || dump;
    if (usedNotLoadedCount == 0 && !ascTrace)
        return;

    mapLargeBuffersApart();
    collectUsedIfaces();
    timeOffset = 0;
    firstFileStart = kNoTime;
    lastFrameTime = 0;

    // Which bus-load signals are fed, by interface number; only numbers that have one.
    auto bitRateToLoad = [this](u32 number) -> BitRate* {
        if (number > highestIface || number >= bitRates.size())
            return nullptr;
        BitRate* rate = bitRates[number];
        return rate && rate->needsLoad ? rate : nullptr;
    };

    if (!ascTrace) {
        for (u32 n = 0; n <= highestIface && n < bitRates.size(); ++n)
            if (bitRateToLoad(n)) {
                decodeAll = true;
                ifaceMask |= u32{1} << (n & 31);
            }
    } else {
        decodeAll = true;
        ifaceMask = 0xFFFFFFFF;
    }
    if (!beginAscTrace(dump))
        return;

    // Error frames to the "Error" message of their statistics interface; the other frames
    // to the bus load of their interface.
    auto feedStatistics = [&](const std::vector<FrameRecord>& records) {
        const bool keepErrors = keepErrorFrames;
        const bool all = decodeAll;
        for (const FrameRecord& record : records) {
            if (record.idWord & kErrorFrameFlag) {
                if (!keepErrors)
                    continue;
                const CanIface* stats = usedIface(record.iface + kStatIfaceOffset);
                Message* error = stats ? stats->usedMessage(kStatErrorMessageId) : nullptr;
                if (error && error->usedNotLoadedCount != 0)
                    error->addFrame(record);
            } else if (all) {
                if (BitRate* rate = bitRateToLoad(record.iface))
                    rate->addFrame(record.absTime, record);
            }
        }
    };

    LogParser::reset();
    std::deque<std::shared_ptr<LogParser>> parsers;
    for (const auto& file : timedLogFiles)
        parsers.push_back(LogParser::create(file.path, file.start, *this));
    // Should anything below throw, the decode threads must not wait for files that will
    // never be read, and a dump must not leave its file open.
    // Weak: a parser must go as soon as the job and the decode threads are done with it.
    struct Unwind {
        std::vector<std::weak_ptr<LogParser>> all;
        Store& store;
        bool dump;
        ~Unwind()
        {
            if (std::uncaught_exceptions() == 0)
                return;
            for (auto& weak : all)
                if (auto p = weak.lock())
                    p->stop();
            if (dump)
                store.abandonDump();
        }
    } unwind{{parsers.begin(), parsers.end()}, *this, dump};

    // A bus-load signal alone is reason enough to read the files.
    bool needParse = ascTrace || decodeAll;
    if (!ascTrace) {
        const std::deque<std::shared_ptr<ParsedLog>> parsedLogs(parsers.begin(), parsers.end());
        for (auto& ifaceEntry : interfaces)
            for (auto& msgEntry : ifaceEntry.second->messages) {
                Message& msg = *msgEntry.second;
                if (msg.usedNotLoadedCount == 0 || !msg.startThreadLowPriority(parsedLogs))
                    continue;
                needParse = true;
                if (msg.hasInterface() && msg.iface->number <= highestIface)
                    ifaceMask |= u32{1} << (msg.iface->number & 31);
            }
    }

    if (needParse) {
        std::size_t nextToStart = 0;
        auto startMore = [&] {
            while (nextToStart < parsers.size() && parsers[nextToStart]->start(false))
                ++nextToStart;
        };
        startMore();
        const std::size_t files = parsers.size();
        std::size_t filesDone = 0;
        while (!parsers.empty()) {
            LogParser& parser = *parsers.front();
            if (nextToStart == 0) {
                // The front file never found a free slot: wait for one.
                parser.start(true);
                nextToStart = 1;
            }
            if (!parser.waitDone() || !isRunning()) {
                for (auto& p : parsers)
                    p->stop();
                parsers.clear();
                break;
            }
            const u64 offset = parser.resolveTimes(timeOffset, &firstFileStart, &lastFrameTime);
            if (offset != timeOffset) {
                timeOffset = offset;
                if (timeOffsetCallback)
                    timeOffsetCallback(lastFrameTime, offset);
            }
            if (ascTrace) {
                for (const FrameRecord& record : parser.records)
                    writeAscFrame(record, &record.absTime);
            } else if (decodeAll || keepErrorFrames) {
                feedStatistics(parser.records);
            }
            parsers.pop_front();
            nextToStart -= 1;
            startMore();
            filesDone += 1;
            progress = static_cast<u8>(static_cast<int>(kFileProgressScale * filesDone / files));
            emitProgressChanged();
        }

        takeInputTimeRange();
        if (dump) {
            endDump();
            refreshPlotSignals();
            emitDataChanged();
            return;
        }
    }

    for (auto& ifaceEntry : interfaces)
        for (auto& msgEntry : ifaceEntry.second->messages)
            msgEntry.second->endOfLoad();
    for (BitRate* rate : bitRates)
        if (rate)
            rate->finish();
    // The records are gone by now; what the heap's arenas kept of the smaller buffers
    // that the threads of the load freed goes back, so that the samples stay resident
    // and little else.
    releaseFreeHeapMemory();
    progress = kProgressDone;
    emitProgressChanged();
    refreshPlotSignals();
    emitDataChanged();
}

} // namespace vistra
