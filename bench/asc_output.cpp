// Throughput of `tarnwick -o` (frames written as ASC text per second) on a large native
// log, against a pass that only reads and decompresses the same file.
#include "store/command_line.h"
#include "store/store.h"
#include "store/stream_compressor.h"

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace vistra;

namespace {

constexpr u32 kFrames = 2'000'000;

int appendToFile(StreamCompressor*, void* sink, const void* bytes, int count)
{
    return std::fwrite(bytes, 1, static_cast<std::size_t>(count), static_cast<std::FILE*>(sink)) ==
                   static_cast<std::size_t>(count)
               ? 0
               : 1;
}

struct RemoveAtExit {
    std::string dir;
    ~RemoveAtExit()
    {
        if (!dir.empty())
            std::system(("rm -rf '" + dir + "'").c_str());
    }
};
RemoveAtExit tempDir;

// A log of kFrames frames of 20 identifiers on two interfaces, 1 ms apart, with
// changing data; written once per process.
const std::string& largeLog()
{
    static const std::string path = [] {
        char dir[] = "/tmp/tarnwick-bench-XXXXXX";
        if (!mkdtemp(dir))
            std::abort();
        // The runs write settings: keep them away from the user's home.
        setenv("HOME", dir, 1);
        std::string file = std::string(dir) + "/large.log";
        std::FILE* out = std::fopen(file.c_str(), "wb");
        if (!out)
            std::abort();
        std::fputs("Log started at Thu 2026-12-10 12:00:00.000\n", out);
        std::fwrite("LOGSTART\0\n", 1, 10, out);
        StreamCompressor* stream = nullptr;
        stream::create(&stream, stream::kCompress);
        u32 noise = 1;
        for (u32 i = 0; i < kFrames; ++i) {
            u8 record[kRecordSize] = {};
            const u32 ts = 1000 + i;
            const u32 id = 0x100 + (i % 20) * 0x10 + ((i % 7 == 0) ? 0x80000000u : 0);
            std::memcpy(record, &ts, 4);
            std::memcpy(record + 4, &id, 4);
            record[8] = 8;
            noise = noise * 1664525u + 1013904223u;
            std::memcpy(record + 9, &noise, 4);
            std::memcpy(record + 13, &i, 4);
            record[17] = static_cast<u8>(i % 2);
            if (stream::addRecord(stream, record))
                stream::writeBlock(stream, out, appendToFile);
        }
        if (stream::addRecord(stream, nullptr))
            stream::writeBlock(stream, out, appendToFile);
        stream::destroy(stream);
        std::fclose(out);
        tempDir.dir = dir;
        return file;
    }();
    return path;
}

void DecompressOnly(benchmark::State& state)
{
    const std::string& path = largeLog();
    for (auto _ : state) {
        const int fd = open(path.c_str(), O_RDONLY);
        char c;
        for (int newlines = 0; newlines < 2 && read(fd, &c, 1) == 1;)
            newlines += c == '\n';
        StreamCompressor* stream = nullptr;
        stream::create(&stream, stream::kDecompress);
        u64 records = 0;
        u8 record[kRecordSize];
        while (stream::readBlock(stream, fd) == stream::kBlockReady)
            while (stream::hasMore(stream)) {
                stream::nextRecord(stream, record);
                records += 1;
            }
        benchmark::DoNotOptimize(record);
        stream::destroy(stream);
        close(fd);
        if (records != kFrames)
            state.SkipWithError("not every record was read");
    }
    state.SetItemsProcessed(static_cast<i64>(state.iterations()) * kFrames);
}
BENCHMARK(DecompressOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

void AscOutput(benchmark::State& state)
{
    const std::string path = largeLog();
    std::FILE* sink = std::fopen("/dev/null", "w");
    for (auto _ : state) {
        Store store;
        store.output = sink;
        std::string args[] = {"tarnwick", "-o", path};
        char* argv[] = {args[0].data(), args[1].data(), args[2].data(), nullptr};
        if (CommandLine(store, {}, sink).run(3, argv) != 0)
            state.SkipWithError("tarnwick -o failed");
    }
    std::fclose(sink);
    state.SetItemsProcessed(static_cast<i64>(state.iterations()) * kFrames);
}
BENCHMARK(AscOutput)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
