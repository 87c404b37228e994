#pragma once
// Reads one native log file on a thread of its own: skips the two header lines, unpacks
// the block stream, keeps the records something needs, and later receives their absolute
// times. All parsers share a limit on running threads and on parsers holding records,
// and begin reading strictly in the order they were created (their start tickets).
#include "core/frame_record.h"
#include "core/parsed_log.h"
#include "core/types.h"

#include <glibmm/ustring.h>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace vistra {

class Store;
struct StreamCompressor;

class LogParser : public ParsedLog {
public:
    // `store` holds the flags and the used interfaces that decide which records are kept.
    LogParser(const Glib::ustring& path, u64 fileStartMs, Store& store);
    // Stops and joins the thread, then gives back the parser's "holding data" count.
    ~LogParser() override;

    LogParser(const LogParser&) = delete;
    LogParser& operator=(const LogParser&) = delete;

    static std::shared_ptr<LogParser> create(const Glib::ustring& path, u64 fileStartMs, Store& store);

    // Before a load: throws PrintMsgError when a parser of an earlier load still runs or
    // holds records; otherwise the start tickets begin at 0 again.
    static void reset();
    // Starts the reading thread when a thread slot is free (waiting for one when `block`).
    bool start(bool block);
    bool acquireThreadSlot(bool block);
    // Blocks until the file is read (true) or the parser is stopped (false).
    bool waitDone();
    // Gives the records absolute times, continuing the time base of the files before
    // (times never decrease: a record earlier than the one before it is kept at that
    // one's time, and the file's count of them is reported once); returns the time offset
    // for the next file.
    u64 resolveTimes(u64 prevOffset, u64* firstStart, u64* lastTime);
    // Blocks until the records have absolute times (true) or the parser is stopped (false).
    bool waitTimesReady() override
    {
        std::unique_lock<std::mutex> lock(timesMutex);
        timesCondition.wait(lock, [this] { return timesReady || stopped.load(); });
        return timesReady;
    }
    void stop();

    // The most parser threads that run at once; 0 returns to the machine's default.
    static void setMaxRunningThreads(u32 limit);
    // Counters of all parsers, and their peaks since the last reset(), for tests and benches.
    struct Counts {
        u64 running;
        u64 holdingData;
        u64 peakRunning;
        u64 peakHoldingData;
    };
    static Counts counts();

    // The most records a file can hold: `storedBytes` is what the file really stores (a
    // hole in a sparse file holds no records), and the records are never to take more
    // than a quarter of `memoryBytes`.
    static std::size_t mostRecords(u64 storedBytes, u64 memoryBytes);
    // The capacity to reserve when `need` records no longer fit in `capacity`: what the
    // whole file projects to at the rate kept so far (`bytesRead` of `fileBytes`), but
    // never more than `most`; at least `need` and half again the capacity.
    static std::size_t reservation(std::size_t need, std::size_t capacity, double fileBytes, double bytesRead,
                                   std::size_t most);

    Glib::ustring path;
    u64 fileStart = 0;
    std::unique_ptr<std::thread> thread;
    u64 ticket = 0;
    bool firstRecord = true;
    bool done = false;
    std::mutex doneMutex;
    std::condition_variable doneCondition;
    bool timesReady = false;
    std::mutex timesMutex;
    std::condition_variable timesCondition;
    std::atomic<bool> stopped{false};

protected:
    // Reads the file into `records` on the parser's thread. Virtual so that tests can make
    // the reading fail.
    virtual void readFile();

private:
    void run();
    // Before a block of `blockRecords` records is filtered, with `bytesRead` of the
    // file's `fileBytes` read.
    void reserveRecords(int blockRecords, double fileBytes, double bytesRead, std::size_t most);
    void filterRecords(StreamCompressor* stream);
    void finishRun();

    Store& store;
    // Set by this parser's thread, under the shared mutex, once it counts as holding
    // records; only such a parser gives the count back.
    bool holdsData = false;
    // Whether the used-message maps hold a (interface << 32 | identifier word), while a
    // file is read.
    std::unordered_map<u64, bool> usedKeys;
};

} // namespace vistra
