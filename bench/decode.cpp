// Frame decoding throughput: one message of 8 mixed signals (both byte orders,
// signed and unsigned, a float, lengths that are not whole bytes), decoded frame by frame
// into addValue. Baseline: a plain copy of each frame's 8 data bytes.
//
// "Changing" frames carry fresh bits, so nearly every signal stores a sample per frame;
// "Constant" frames repeat one payload, so addValue only compares and the figure is
// mostly the decode itself.
#include "core/frame_record.h"
#include "core/message.h"
#include "core/real_signal.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

namespace {

using vistra::u32;
using vistra::u64;
using vistra::u8;

constexpr int kFrames = 4096;
constexpr int kSignals = 8;
constexpr u64 kStart = 1765000000000ULL;

std::vector<vistra::FrameRecord> makeFrames(bool changing)
{
    std::vector<vistra::FrameRecord> frames(kFrames);
    u64 state = 0x9E3779B97F4A7C15ULL;
    for (int i = 0; i < kFrames; ++i) {
        auto& f = frames[i];
        f.length = 8;
        f.absTime = kStart + u64(i);
        if (changing || i == 0) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            std::memcpy(f.data, &state, 8);
            // bytes 4..7 hold the float: keep it a plain changing number, not random bits
            const float value = float(i) * 0.25f;
            std::memcpy(f.data + 4, &value, 4);
        } else {
            std::memcpy(f.data, frames[0].data, 8);
        }
    }
    return frames;
}

struct Fixture {
    std::shared_ptr<vistra::Message> msg = std::make_shared<vistra::Message>(0x123, "Msg", nullptr);
    std::vector<std::shared_ptr<vistra::RealSignal>> signals;

    Fixture()
    {
        struct Def {
            u32 startBit, length;
            int littleEndian;
            u8 type;
            double factor, offset;
        } defs[kSignals] = {
            {0, 16, 1, '+', 0, 0},       // whole bytes, little-endian
            {23, 12, 0, '-', 0, 0},      // signed 12 big-endian across bytes
            {28, 10, 1, '-', 0.5, 0},    // signed 10 little-endian at an odd offset
            {14, 7, 0, '+', 1, -20},     // 7 bits big-endian with offset
            {3, 1, 1, '+', 0, 0},        // one bit
            {32, 32, 1, '+', 0, 0},      // float, little-endian
            {19, 5, 1, '+', 0.1, 3},     // 5 bits scaled
            {55, 16, 0, '-', 0.01, 0},   // signed 16 big-endian, whole bytes
        };
        for (const auto& d : defs)
            signals.push_back(vistra::RealSignal::create(msg, "S", d.startBit, d.length, d.littleEndian, d.type,
                                                         "", d.factor, d.offset, 0, 0));
        signals[5]->setFloat();
    }
    ~Fixture() { msg->clear(); }
};

void runDecode(benchmark::State& state, bool changing)
{
    const auto frames = makeFrames(changing);
    Fixture fx;
    size_t stored = 0;
    for (auto _ : state) {
        for (auto& sig : fx.signals)
            sig->clear();
        for (const auto& frame : frames)
            for (auto& sig : fx.signals)
                sig->onFrame(frame);
        stored = 0;
        for (auto& sig : fx.signals)
            stored += sig->samples.size();
        benchmark::DoNotOptimize(stored);
    }
    state.SetItemsProcessed(state.iterations() * kFrames);
    state.counters["signals/s"] =
        benchmark::Counter(double(state.iterations()) * kFrames * kSignals, benchmark::Counter::kIsRate);
    state.counters["stored/frame"] = double(stored) / kFrames;
}

void BM_DecodeChanging(benchmark::State& state) { runDecode(state, true); }
void BM_DecodeConstant(benchmark::State& state) { runDecode(state, false); }

void BM_CopyDataBaseline(benchmark::State& state)
{
    const auto frames = makeFrames(true);
    u8 sink[8];
    for (auto _ : state) {
        for (const auto& frame : frames) {
            std::memcpy(sink, frame.data, sizeof sink);
            benchmark::DoNotOptimize(sink);
            benchmark::ClobberMemory();
        }
    }
    state.SetItemsProcessed(state.iterations() * kFrames);
}

} // namespace

BENCHMARK(BM_CopyDataBaseline);
BENCHMARK(BM_DecodeChanging);
BENCHMARK(BM_DecodeConstant);
