// Native log loading: 5 million frames of 100 messages (8 signals each: both byte orders,
// signed and unsigned, changing values) in 10 files, written once to a temp folder.
// Baseline: a decompress-only pass over the same files with the same parser threads,
// every record filtered out. Measured: the full load through the Store with all 800
// signals selected. Both run with 1, 2, 4 and 8 parser threads.
#include "bench_traffic.h"
#include "store/log_file_writer.h"
#include "store/log_parser.h"
#include "store/store.h"

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <memory>
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

    void clearSamples()
    {
        for (auto& msg : messages)
            for (auto& signal : msg->signals)
                signal->clear();
        store->refreshPlotSignals();
    }
};

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
    f.select(true);
    u64 samples = 0;
    for (auto _ : state) {
        state.PauseTiming();
        f.clearSamples();
        state.ResumeTiming();
        f.store->loadLogFiles();
        state.PauseTiming();
        samples = 0;
        for (auto& msg : f.messages)
            for (auto& signal : msg->signals)
                samples += signal->samples.size();
        state.ResumeTiming();
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["frames/s"] = benchmark::Counter(double(kFrames), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["samples"] = double(samples);
    state.counters["peakRSS_B/frame"] = double(usage.ru_maxrss) * 1024.0 / double(kFrames);
    f.select(false);
    f.clearSamples();
    LogParser::setMaxRunningThreads(0);
}

BENCHMARK(BM_DecompressOnly)->Arg(1)->Arg(2)->Arg(4)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_FullLoad)->Arg(1)->Arg(2)->Arg(4)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

} // namespace
