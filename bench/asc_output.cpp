// Throughput of `tarnwick -o` (frames written as ASC text per second) on a large native
// log, against a pass that only reads and decompresses the same file.
#include "core/byte_layout.h"
#include "store/command_line.h"
#include "store/log_file_writer.h"
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
        LogFileWriter writer;
        if (!writer.open(file, 1796904000000)) // 2026-12-10 12:00:00 UTC
            std::abort();
        u32 noise = 1;
        for (u32 i = 0; i < kFrames; ++i) {
            FrameRecord frame;
            frame.timestamp = 1000 + i;
            frame.idWord = 0x100 + (i % 20) * 0x10 + ((i % 7 == 0) ? kExtendedFlag : 0);
            frame.length = 8;
            noise = noise * 1664525u + 1013904223u;
            storeLe32(frame.data, noise);
            storeLe32(frame.data + 4, i);
            frame.iface = static_cast<u8>(i % 2);
            writer.add(frame);
        }
        if (!writer.close())
            std::abort();
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
        while (stream::readBlock(stream, fd) == stream::Status::BlockReady)
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
