// Native log loading: 5 million frames of 100 messages (8 signals each: both byte orders,
// signed and unsigned, changing values) in 10 files, written once to a temp folder.
// Baseline: a decompress-only pass over the same files with the same parser threads,
// every record filtered out. Measured: the full load through the Store with all 800
// signals selected. Both run with 1, 2, 4 and 8 parser threads.
// Memory: run one thread count per process (--benchmark_filter=BM_FullLoad/8/), so that
// no earlier case's heap is counted. The full load runs three times: a load and two
// reloads, each of which builds the model anew as the main window's reload does. Each
// load's peak resident memory is taken from a peak reset just before it, so the memory
// that writing the files took is not counted. Reported per frame and as a ratio to the
// bytes of the samples that the load stores:
//   peakRSS_B/frame, peak/samples   the first load's peak
//   reload/first                    the higher peak of the two reloads, to the first
//   after/samples                   the most that stayed resident after a load
//   before_B/frame                  what was resident before the first load
// Speed: frames/s over the three loads, and apart for the first load of the process and
// for the reloads (first_frames/s, reload_frames/s): a reload may find memory that the
// load before it left.
#include "bench_traffic.h"
#include "store/log_file_writer.h"
#include "store/log_parser.h"
#include "store/store.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

namespace {

using namespace vistra;
namespace fs = std::filesystem;

constexpr u64 kFrames = 5'000'000;
constexpr int kFiles = 10;
constexpr int kMessages = 100;
constexpr u64 kStart = 1765000000000ULL;

struct Fixture {
    fs::path dir;
    std::unique_ptr<Store> store;
    std::vector<std::shared_ptr<RealMessage>> messages;

    Fixture()
    {
        dir = fs::temp_directory_path() / (std::string("tarnwick-bench-") + std::to_string(::getpid()));
        fs::create_directories(dir);
        if (!std::getenv("HOME"))
            ::setenv("HOME", dir.c_str(), 1);
        store = std::make_unique<Store>();
        store->textMode = true; // no dispatcher emits without a main loop
        writeFiles();
        buildModel();
    }
    ~Fixture()
    {
        store.reset();
        fs::remove_all(dir);
    }

    void writeFiles()
    {
        const u64 perFile = kFrames / kFiles;
        bench::Traffic traffic(kMessages);
        for (int f = 0; f < kFiles; ++f) {
            const std::string path = (dir / (std::string("log") + std::to_string(f) + ".log")).string();
            LogFileWriter writer;
            // Each file's start fits its first timestamp, so the files share one time base.
            const u64 firstTs = 1000 + f * perFile;
            writer.open(path, kStart + firstTs);
            for (u64 i = 0; i < perFile; ++i) {
                const u64 n = f * perFile + i;
                FrameRecord r;
                r.timestamp = u32(1000 + n);
                traffic.frame(n, r);
                writer.add(r);
            }
            writer.close();
            store->addLogFile(path.c_str());
        }
    }

    void buildModel() { messages = bench::buildMessages(*store, kMessages); }

    void select(bool on)
    {
        for (auto& msg : messages)
            for (auto& signal : msg->signals)
                if (!signal->internal)
                    signal->setEnabled(on);
    }

    // What the main window's reload does: the model goes, with its samples, and is built
    // anew, the signals selected again.
    void reload()
    {
        store->clearData();
        buildModel();
        select(true);
    }

    void clearSamples()
    {
        for (auto& msg : messages)
            for (auto& signal : msg->signals)
                signal->clear();
        store->refreshPlotSignals();
    }
};

// Resident memory of this process now and at its peak, in bytes.
struct Resident {
    double now = 0;
    double peak = 0;
};

Resident resident()
{
    Resident r;
    std::FILE* f = std::fopen("/proc/self/status", "r");
    if (!f)
        return r;
    char line[256];
    while (std::fgets(line, sizeof line, f)) {
        if (std::strncmp(line, "VmRSS:", 6) == 0)
            r.now = std::strtod(line + 6, nullptr) * 1024.0;
        else if (std::strncmp(line, "VmHWM:", 6) == 0)
            r.peak = std::strtod(line + 6, nullptr) * 1024.0;
    }
    std::fclose(f);
    return r;
}

// The peak starts again from what is resident now.
bool resetPeak()
{
    std::FILE* f = std::fopen("/proc/self/clear_refs", "w");
    if (!f)
        return false;
    const bool ok = std::fputs("5", f) >= 0;
    return std::fclose(f) == 0 && ok;
}

Fixture& fixture()
{
    static Fixture f;
    return f;
}

// The parser threads alone, driven as the load job drives them, keeping no record but
// each file's first.
void BM_DecompressOnly(benchmark::State& state)
{
    Fixture& f = fixture();
    LogParser::setMaxRunningThreads(u32(state.range(0)));
    u64 kept = 0;
    for (auto _ : state) {
        f.store->decodeAll = false;
        f.store->ifaceMask = 0;
        f.store->usedIfaces.clear();
        LogParser::reset();
        std::deque<std::shared_ptr<LogParser>> parsers;
        for (const auto& file : f.store->timedLogFiles)
            parsers.push_back(LogParser::create(file.path, file.start, *f.store));
        std::size_t next = 0;
        auto startMore = [&] {
            while (next < parsers.size() && parsers[next]->start(false))
                ++next;
        };
        startMore();
        u64 offset = 0, first = kNoTime, last = 0;
        while (!parsers.empty()) {
            if (next == 0) {
                parsers.front()->start(true);
                next = 1;
            }
            parsers.front()->waitDone();
            offset = parsers.front()->resolveTimes(offset, &first, &last);
            kept += parsers.front()->records.size();
            parsers.pop_front();
            --next;
            startMore();
        }
    }
    benchmark::DoNotOptimize(kept);
    state.counters["frames/s"] = benchmark::Counter(double(kFrames), benchmark::Counter::kIsIterationInvariantRate);
    LogParser::setMaxRunningThreads(0);
}

void BM_FullLoad(benchmark::State& state)
{
    Fixture& f = fixture();
    LogParser::setMaxRunningThreads(u32(state.range(0)));
    u64 samples = 0;
    std::vector<Resident> loads;
    std::vector<double> seconds;
    double before = 0;
    bool peakReset = true;
    for (auto _ : state) {
        state.PauseTiming();
        f.reload();
        peakReset = resetPeak() && peakReset;
        if (loads.empty())
            before = resident().now;
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        f.store->loadLogFiles();
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        state.PauseTiming();
        seconds.push_back(took.count());
        loads.push_back(resident());
        samples = 0;
        for (auto& msg : f.messages)
            for (auto& signal : msg->signals)
                samples += signal->samples.size();
        state.ResumeTiming();
    }
    if (!peakReset)
        state.SkipWithError("the peak resident memory cannot be reset here");
    const double sampleBytes = double(samples) * double(sizeof(Sample));
    double reloadPeak = 0;
    double after = 0;
    for (std::size_t i = 0; i < loads.size(); ++i) {
        if (i > 0)
            reloadPeak = std::max(reloadPeak, loads[i].peak);
        after = std::max(after, loads[i].now);
    }
    state.counters["frames/s"] = benchmark::Counter(double(kFrames), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["first_frames/s"] = double(kFrames) / seconds[0];
    if (seconds.size() > 1)
        state.counters["reload_frames/s"] =
            double(kFrames) * double(seconds.size() - 1) / std::accumulate(seconds.begin() + 1, seconds.end(), 0.0);
    state.counters["samples"] = double(samples);
    state.counters["peakRSS_B/frame"] = loads[0].peak / double(kFrames);
    state.counters["peak/samples"] = loads[0].peak / sampleBytes;
    if (loads.size() > 1)
        state.counters["reload/first"] = reloadPeak / loads[0].peak;
    state.counters["after/samples"] = after / sampleBytes;
    state.counters["before_B/frame"] = before / double(kFrames);
    f.select(false);
    f.clearSamples();
    LogParser::setMaxRunningThreads(0);
}

BENCHMARK(BM_DecompressOnly)->Arg(1)->Arg(2)->Arg(4)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_FullLoad)->Arg(1)->Arg(2)->Arg(4)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace
