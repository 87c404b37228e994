#include "store/log_parser.h"

#include "core/byte_layout.h"
#include "core/can_iface.h"
#include "core/constants.h"
#include "core/page_advice.h"
#include "core/regular_file.h"
#include "core/report.h"
#include "store/log_header.h"
#include "store/logger_clock.h"
#include "store/store.h"
#include "store/stream_compressor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>
#include <string>

namespace vistra {
namespace {

constexpr u32 kUnsetLimit = 0xFFFFFFFF;

// The counters that all parsers share, under one mutex.
struct Shared {
    std::mutex mutex;
    std::condition_variable condition;
    u32 maxRunning = kUnsetLimit;
    u64 running = 0;
    u64 holdingData = 0;
    u64 nextTicket = 0;
    u64 nextToStart = 0;
    u64 peakRunning = 0;
    u64 peakHoldingData = 0;
};

Shared& shared()
{
    static Shared s;
    return s;
}

// Fills in the default limit on first use. The caller holds the shared mutex.
u32 maxRunning(Shared& s)
{
    if (s.maxRunning == kUnsetLimit) {
        const unsigned n = std::thread::hardware_concurrency();
        s.maxRunning = n == 0 ? 20 : n;
    }
    return s.maxRunning;
}

// The densest block stream: a block of 17-byte records that all repeat one record packs
// its 18000 bytes into about 70 LZ4 bytes (one length byte per 255 repeated bytes) after
// its 8-byte header.
constexpr u64 kMostRecordsPerBlock = kRawBlockSize / kRecordSizeV0;
constexpr u64 kLeastBlockBytes = kBlockHeaderSize + kRawBlockSize / 255;

u64 physicalMemory()
{
    static const u64 bytes = [] {
        const long pages = ::sysconf(_SC_PHYS_PAGES);
        const long pageSize = ::sysconf(_SC_PAGE_SIZE);
        return pages > 0 && pageSize > 0 ? u64(pages) * u64(pageSize) : u64{1} << 32;
    }();
    return bytes;
}

} // namespace

LogParser::LogParser(const Glib::ustring& filePath, u64 fileStartMs, Store& owner)
    : path(filePath), fileStart(fileStartMs), store(owner)
{
    Shared& s = shared();
    std::lock_guard lock(s.mutex);
    ticket = s.nextTicket++;
}

LogParser::~LogParser()
{
    stop();
    if (thread && thread->joinable())
        thread->join();
    Shared& s = shared();
    {
        std::lock_guard lock(s.mutex);
        if (holdsData && s.holdingData > 0)
            s.holdingData -= 1;
        holdsData = false;
    }
    s.condition.notify_all();
}

std::shared_ptr<LogParser> LogParser::create(const Glib::ustring& filePath, u64 fileStartMs, Store& owner)
{
    return std::make_shared<LogParser>(filePath, fileStartMs, owner);
}

void LogParser::reset()
{
    Shared& s = shared();
    std::unique_lock lock(s.mutex);
    if (s.holdingData != 0) {
        const long n = static_cast<long>(s.holdingData);
        lock.unlock();
        fail("hasData: %li", n);
    }
    if (s.running != 0) {
        const long n = static_cast<long>(s.running);
        lock.unlock();
        fail("runningTreads: %li", n);
    }
    s.nextTicket = 0;
    s.nextToStart = 0;
    s.peakRunning = 0;
    s.peakHoldingData = 0;
}

void LogParser::setMaxRunningThreads(u32 limit)
{
    Shared& s = shared();
    std::lock_guard lock(s.mutex);
    s.maxRunning = limit == 0 ? kUnsetLimit : limit;
}

LogParser::Counts LogParser::counts()
{
    Shared& s = shared();
    std::lock_guard lock(s.mutex);
    return {s.running, s.holdingData, s.peakRunning, s.peakHoldingData};
}

bool LogParser::start(bool block)
{
    if (thread)
        fail("thread already created");
    if (!acquireThreadSlot(block))
        return false;
    thread = std::make_unique<std::thread>([this] { run(); });
    pthread_setname_np(thread->native_handle(), "LogParser");
    return true;
}

bool LogParser::acquireThreadSlot(bool block)
{
    Shared& s = shared();
    std::unique_lock lock(s.mutex);
    for (;;) {
        if (s.running < maxRunning(s)) {
            s.running += 1;
            s.peakRunning = std::max(s.peakRunning, s.running);
            return true;
        }
        if (!block || stopped)
            return false;
        s.condition.wait(lock);
        if (stopped)
            return false;
    }
}

bool LogParser::waitDone()
{
    std::unique_lock lock(doneMutex);
    doneCondition.wait(lock, [this] { return done || stopped.load(); });
    return done;
}

void LogParser::stop()
{
    Shared& s = shared();
    std::scoped_lock lock(timesMutex, doneMutex, s.mutex);
    stopped = true;
    timesCondition.notify_all();
    doneCondition.notify_all();
    s.condition.notify_all();
}

void LogParser::run()
{
    Shared& s = shared();
    {
        std::unique_lock lock(s.mutex);
        s.condition.wait(lock, [&] {
            return stopped || (s.holdingData < 2 * u64{maxRunning(s)} && ticket == s.nextToStart);
        });
        if (!stopped) {
            s.holdingData += 1;
            s.peakHoldingData = std::max(s.peakHoldingData, s.holdingData);
            holdsData = true;
            s.nextToStart += 1;
        }
    }
    if (holdsData) {
        s.condition.notify_all();
        // A failure while reading (memory running out as the records grow, say) must not
        // end the process: it is reported, and the file counts as read without records,
        // so that the load goes on with the other files.
        try {
            readFile();
            // Here, on this file's own thread, rather than in every decode thread.
            if (!stopped)
                indexRecords();
        } catch (const std::bad_alloc&) {
            // The memory goes back before anything else is asked of the allocator.
            dropRecords();
            reportError("Not enough memory to read log file %s, skipping", path.c_str());
            store.inputFailed = true;
        } catch (...) {
            const std::string context = "Reading " + path.raw();
            reportCurrentException(context.c_str());
            dropRecords();
            store.inputFailed = true;
        }
    }
    finishRun();
}

void LogParser::finishRun()
{
    // The slot goes back before the done flag is seen: whoever waits for this file may
    // then start the next one at once.
    Shared& s = shared();
    {
        std::lock_guard lock(s.mutex);
        if (s.running > 0)
            s.running -= 1;
    }
    s.condition.notify_all();
    {
        std::lock_guard lock(doneMutex);
        done = true;
    }
    doneCondition.notify_all();
}

void LogParser::readFile()
{
    RegularFile file(path.raw());
    if (!file.ok()) {
        reportWarning("Could not open log file %s, skipping\n", path.c_str());
        store.inputFailed = true;
        return;
    }
    const int fd = file.fd();
    // Skip the two header lines, reading in chunks; the block stream starts right after
    // the second newline, so seek back to it.
    int newlines = 0;
    off_t offset = 0;
    u8 chunk[256];
    while (newlines < 2 && offset < off_t(kMaxLogHeaderBytes)) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n <= 0)
            break;
        for (ssize_t i = 0; i < n; ++i)
            if (chunk[i] == '\n' && ++newlines == 2) {
                offset += i + 1;
                break;
            }
        if (newlines < 2)
            offset += n;
    }
    if (newlines < 2 || ::lseek(fd, offset, SEEK_SET) != offset) {
        reportWarning("Could not find header of file: %s\n", path.c_str());
        store.inputFailed = true;
        return;
    }
    StreamCompressor* raw = nullptr;
    if (stream::create(&raw, stream::kDecompress) == 0) {
        StreamCompressorPtr reader(raw);
        struct stat info{};
        double fileBytes = 0.0;
        u64 storedBytes = 0;
        if (::fstat(fd, &info) == 0) {
            fileBytes = double(info.st_size);
            storedBytes = std::min(u64(info.st_size), u64(info.st_blocks) * 512);
        }
        const std::size_t most = mostRecords(storedBytes, physicalMemory());
        stream::Status status = stream::Status::End;
        while (!stopped && (status = stream::readBlock(reader.get(), fd)) == stream::Status::BlockReady) {
            reserveRecords(stream::recordsLeft(reader.get()), fileBytes, double(::lseek(fd, 0, SEEK_CUR)), most);
            filterRecords(reader.get());
        }
        // The stream's own line says what went wrong, but not in which file, and only on
        // standard error.
        if (status == stream::Status::Error) {
            reportWarning("Log file %s stops at a block that cannot be read, the rest of it is left out", path.c_str());
            store.inputFailed = true;
        } else if (status == stream::Status::Cut) {
            reportWarning("Log file %s ends inside a block, the frames of that block are lost", path.c_str());
            store.inputFailed = true;
        }
    } else {
        reportError("Not enough memory to read log file %s, skipping", path.c_str());
        store.inputFailed = true;
    }
    usedKeys = {};
}

std::size_t LogParser::mostRecords(u64 storedBytes, u64 memoryBytes)
{
    const u64 inFile = (storedBytes / kLeastBlockBytes + 1) * kMostRecordsPerBlock;
    const u64 inMemory = memoryBytes / 4 / sizeof(FrameRecord);
    return static_cast<std::size_t>(std::min(inFile, inMemory));
}

std::size_t LogParser::reservation(std::size_t need, std::size_t capacity, double fileBytes, double bytesRead,
                                   std::size_t most)
{
    // Grow to what the whole file is likely to keep, at the rate kept so far, instead of
    // doubling: large files then move their records once or not at all. A first block
    // that packs very well projects far too much, hence the bound.
    std::size_t grown = std::max(need, capacity + capacity / 2);
    if (bytesRead > 0 && fileBytes > bytesRead) {
        const double projected = std::min(double(need) * fileBytes / bytesRead * 1.05, double(most));
        grown = std::max(grown, static_cast<std::size_t>(projected));
    }
    return grown;
}

void LogParser::reserveRecords(int blockRecords, double fileBytes, double bytesRead, std::size_t most)
{
    const std::size_t need = records.size() + static_cast<std::size_t>(std::max(blockRecords, 0));
    if (need <= records.capacity())
        return;
    const std::size_t grown = std::max(need, records.capacity() + records.capacity() / 2);
    const std::size_t projected = reservation(need, records.capacity(), fileBytes, bytesRead, most);
    if (projected > grown) {
        try {
            records.reserve(projected);
            adviseHugePages(records.data(), records.capacity() * sizeof(FrameRecord));
            return;
        } catch (const std::bad_alloc&) {
            // The projection is a guess; the records grow as usual instead.
        }
    }
    records.reserve(grown);
    adviseHugePages(records.data(), records.capacity() * sizeof(FrameRecord));
}

void LogParser::filterRecords(StreamCompressor* reader)
{
    const bool keepErrors = store.keepErrorFrames.load(std::memory_order_relaxed);
    const bool decodeAll = store.decodeAll.load(std::memory_order_relaxed);
    const u32 mask = store.ifaceMask.load(std::memory_order_relaxed);
    u8 raw[kRecordSize];
    const int count = stream::recordsLeft(reader);
    for (int i = 0; i < count; ++i) {
        stream::nextRecord(reader, raw);
        const u32 idWord = loadLe32(raw + kRecordIdWordOffset);
        const u8 ifaceNumber = raw[kRecordIfaceOffset];
        bool keep = false;
        if (firstRecord) {
            keep = true; // anchors the time base of the file
            firstRecord = false;
        } else if (idWord & kErrorFrameFlag) {
            keep = keepErrors;
        } else if (ifaceNumber != kLoggerIface && (ifaceNumber > 32 || (mask & (u32{1} << (ifaceNumber & 31))) == 0)) {
            keep = false;
        } else if (decodeAll) {
            keep = true;
        } else {
            // The used interfaces and messages stay put while files are read: look each
            // (interface, identifier word) up in their maps once per file.
            auto [it, added] = usedKeys.try_emplace(u64{ifaceNumber} << 32 | idWord, false);
            if (added) {
                const CanIface* used = store.usedIface(ifaceNumber);
                it->second = used && used->usedMessage(static_cast<int>(idWord)) != nullptr;
            }
            keep = it->second;
        }
        if (!keep)
            continue;
        FrameRecord& r = records.emplace_back();
        r.timestamp = loadLe32(raw + kRecordTimestampOffset);
        r.idWord = idWord;
        // A length byte above 8 from a damaged or foreign file still means 8 bytes:
        // nothing downstream may read or print more than the data field holds.
        r.length = std::min<u8>(raw[kRecordLengthOffset], 8);
        std::memcpy(r.data, raw + kRecordDataOffset, 8);
        r.iface = ifaceNumber;
        r.absTime = 0;
    }
}

u64 LogParser::resolveTimes(u64 prevOffset, u64* firstStart, u64* lastTime)
{
    u64 offset = prevOffset;
    if (!records.empty()) {
        const u64 ts0 = records.front().timestamp;
        const u64 base = fileStart - ts0;
        if (prevOffset == 0) {
            *firstStart = fileStart;
            offset = std::max(*lastTime, fileStart) - ts0;
        } else if (prevOffset + ts0 >= *lastTime && base - prevOffset <= kContinueMs) {
            offset = prevOffset;
        } else {
            offset = std::max(*lastTime, fileStart) - ts0;
        }
        u64 outOfOrder = 0;
        for (FrameRecord& r : records) {
            ClockStep step;
            *lastTime = r.absTime = placeTimestamp(r.timestamp, *lastTime, offset, step);
            if (step == ClockStep::Wrapped)
                reportWarning("can message timestamp has overflowed (%u)\n", r.timestamp);
            else if (step == ClockStep::Back)
                outOfOrder += 1;
        }
        reportFramesOutOfOrder(path.c_str(), outOfOrder);
    }
    {
        std::lock_guard lock(timesMutex);
        timesReady = true;
    }
    timesCondition.notify_all();
    return offset;
}

} // namespace vistra
