// The live stream's reader on one core: 2 million frames of 100 messages (8 signals
// each), every signal decoded as live data are. Baseline: the plain-mode pass, block by
// block (read, decompress, dispatch). Measured: the same block-stream bytes sealed into
// blocks of 1 MiB, each authenticated, decrypted, then unpacked and dispatched. Both read
// from a file in memory, so that no peer and no network share the timing.
#include "bench_traffic.h"
#include "core/byte_layout.h"
#include "store/crypt_context.h"
#include "store/live_stream.h"
#include "store/store.h"
#include "store/stream_compressor.h"

#include <benchmark/benchmark.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace vistra;
using Bytes = std::vector<u8>;

constexpr u64 kFrames = 2'000'000;
constexpr int kMessages = 100;
constexpr u32 kSealedBlock = 0x100000;
constexpr const char* kKey = "bench pass phrase";

int appendBytes(StreamCompressor*, void* sink, const void* bytes, int count)
{
    auto* out = static_cast<Bytes*>(sink);
    out->insert(out->end(), static_cast<const u8*>(bytes), static_cast<const u8*>(bytes) + count);
    return 0;
}

int memoryFile(const Bytes& bytes)
{
    const int fd = memfd_create("tarnwick-bench", 0);
    if (fd < 0 || write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
        std::abort();
    return fd;
}

struct Fixture {
    std::unique_ptr<Store> store;
    std::vector<std::shared_ptr<RealMessage>> messages;
    int plainFd = -1;
    int sealedFd = -1;
    std::size_t streamBytes = 0;

    Fixture()
    {
        if (!std::getenv("HOME"))
            ::setenv("HOME", std::filesystem::temp_directory_path().c_str(), 1);
        store = std::make_unique<Store>();
        store->textMode = true; // no dispatcher emits without a main loop
        store->live = true;     // signals keep their moving tail, as with -n
        store->liveDecode = true;
        buildModel();
        const Bytes stream = blockStream();
        streamBytes = stream.size();
        plainFd = memoryFile(stream);
        sealedFd = memoryFile(seal(stream));
        // One pass first: the sample vectors reach their size, so that neither benchmark
        // pays for the first growth.
        reset(plainFd);
        while (store->readPlainBlock() == stream::Status::BlockReady) {
        }
        store->endLiveStream();
    }
    ~Fixture()
    {
        close(plainFd);
        close(sealedFd);
        for (auto& msg : messages)
            msg->clear();
        store.reset();
    }

    void buildModel()
    {
        messages = bench::buildMessages(*store, kMessages);
        store->collectUsedIfaces();
    }

    // Block-stream bytes of count frames, frame n made by make(n, frame).
    template <typename Make> static Bytes writeBlocks(u64 count, Make make)
    {
        StreamCompressor* writer = nullptr;
        stream::create(&writer, stream::kCompress);
        Bytes out;
        u8 record[kRecordSize];
        for (u64 n = 0; n < count; ++n) {
            FrameRecord r;
            make(n, r);
            packRecord(r, record);
            if (stream::addRecord(writer, record) == 1)
                stream::writeBlock(writer, &out, appendBytes);
        }
        if (stream::addRecord(writer, nullptr) == 1)
            stream::writeBlock(writer, &out, appendBytes);
        stream::destroy(writer);
        return out;
    }

    // The frames as the logger's block stream, padded by a last small block to a multiple
    // of 16 bytes, the unit of sealed blocks.
    static Bytes blockStream()
    {
        bench::Traffic traffic(kMessages);
        Bytes out = writeBlocks(kFrames, [&](u64 n, FrameRecord& r) {
            r.timestamp = u32(1000 + n / 8);
            traffic.frame(n, r);
        });
        for (u64 pad = 1; out.size() % 16 != 0; ++pad) {
            const Bytes tail = writeBlocks(pad, [](u64 n, FrameRecord& r) {
                r.timestamp = u32(1000 + kFrames / 8);
                r.idWord = 0x7FF;
                r.length = 1;
                r.data[0] = u8(n * 37);
            });
            if ((out.size() + tail.size()) % 16 == 0)
                out.insert(out.end(), tail.begin(), tail.end());
        }
        return out;
    }

    // What a logger with a key sends: the IV, then sealed blocks of up to 1 MiB.
    static Bytes seal(const Bytes& plain)
    {
        CryptContext crypt;
        crypt.init();
        crypt.setEncryptKey(kKey, int(std::strlen(kKey)));
        Bytes out(crypt.getIv(), crypt.getIv() + CryptContext::kIvSize);
        for (std::size_t at = 0; at < plain.size(); at += kSealedBlock) {
            const u32 n = u32(std::min<std::size_t>(kSealedBlock, plain.size() - at));
            const std::size_t head = out.size();
            out.resize(head + 4 + n + CryptContext::kHmacSize);
            storeLe32(out.data() + head, n);
            crypt.crypt(plain.data() + at, out.data() + head + 4, int(n), false);
            crypt.computeHmac(out.data() + head + 4, int(n), out.data() + head + 4 + n);
        }
        return out;
    }

    // Every pass starts with empty signals on a fresh time base.
    void reset(int fd)
    {
        for (auto& msg : messages)
            for (auto& signal : msg->signals)
                signal->clear();
        store->timeOffset = 0;
        store->lastFrameTime = 0;
        store->pendingBase = 0;
        lseek(fd, 0, SEEK_SET);
        store->beginLiveStream(fd);
    }
};

Fixture& fixture()
{
    static Fixture f;
    return f;
}

void report(benchmark::State& state, const Fixture& f)
{
    state.counters["frames/s"] = benchmark::Counter(double(kFrames), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["MiB/s"] =
        benchmark::Counter(double(f.streamBytes) / (1 << 20), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_PlainBlocks(benchmark::State& state)
{
    Fixture& f = fixture();
    f.store->key = "";
    for (auto _ : state) {
        state.PauseTiming();
        f.reset(f.plainFd);
        state.ResumeTiming();
        while (f.store->readPlainBlock() == stream::Status::BlockReady) {
        }
        state.PauseTiming();
        f.store->endLiveStream();
        state.ResumeTiming();
    }
    report(state, f);
}

void BM_SealedBlocks(benchmark::State& state)
{
    Fixture& f = fixture();
    f.store->key = kKey;
    for (auto _ : state) {
        state.PauseTiming();
        f.reset(f.sealedFd);
        state.ResumeTiming();
        while (f.store->readEncryptedBlock() == stream::Status::Done)
            if (f.store->unpackPlainText() != stream::Status::Done)
                state.SkipWithError("damaged block");
        state.PauseTiming();
        f.store->endLiveStream();
        state.ResumeTiming();
    }
    report(state, f);
}

BENCHMARK(BM_PlainBlocks)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(BM_SealedBlocks)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

} // namespace
