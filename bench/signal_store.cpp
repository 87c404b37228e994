// addValue throughput for changing and for constant values, against a plain
// std::vector push_back of the same samples.
#include "core/signal.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

constexpr int kSamples = 1 << 20;
constexpr vistra::u64 kStart = 1765000000000ULL;

std::vector<vistra::Sample> makeInput(bool changing)
{
    std::vector<vistra::Sample> input(kSamples);
    for (int i = 0; i < kSamples; ++i)
        input[i] = {kStart + vistra::u64(i) * 10, changing ? double(i % 1000) : 42.0};
    return input;
}

void runAddValue(benchmark::State& state, bool changing)
{
    const auto input = makeInput(changing);
    for (auto _ : state) {
        auto signal = std::make_shared<vistra::Signal>(nullptr, "S");
        for (const auto& s : input)
            signal->addValue(s.time, s.value);
        benchmark::DoNotOptimize(signal->samples.data());
    }
    state.SetItemsProcessed(state.iterations() * kSamples);
}

void BM_AddValueChanging(benchmark::State& state) { runAddValue(state, true); }
void BM_AddValueConstant(benchmark::State& state) { runAddValue(state, false); }

void BM_VectorPushBackBaseline(benchmark::State& state)
{
    const auto input = makeInput(true);
    for (auto _ : state) {
        std::vector<vistra::Sample> samples;
        for (const auto& s : input)
            samples.push_back(s);
        benchmark::DoNotOptimize(samples.data());
    }
    state.SetItemsProcessed(state.iterations() * kSamples);
}

} // namespace

BENCHMARK(BM_VectorPushBackBaseline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AddValueChanging)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AddValueConstant)->Unit(benchmark::kMillisecond);
