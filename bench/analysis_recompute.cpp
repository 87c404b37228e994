// One recompute of the histogram (100 bins) and of the statistics, as a ruler motion makes
// it, over 1 % of a signal of 10 million samples, against the same computation over the
// whole signal in the same run: the ratio shows that a recompute walks only the samples
// of its range.
#include "core/signal.h"
#include "views/histogram_counts.h"
#include "views/statistics_values.h"

#include <benchmark/benchmark.h>

#include <cfloat>
#include <cmath>
#include <vector>

namespace {

using vistra::u64;

constexpr u64 kStart = 1'765'000'000'000ULL;
constexpr std::size_t kSamples = 10'000'000; // one every 10 ms

const std::vector<vistra::Sample>& samples()
{
    static const std::vector<vistra::Sample> all = [] {
        std::vector<vistra::Sample> s(kSamples);
        for (std::size_t k = 0; k < kSamples; ++k)
            s[k] = {kStart + k * 10, 50.0 + 40.0 * std::sin(double(k) * 1e-4) + double(k % 7)};
        return s;
    }();
    return all;
}

// [from, to] over a share of the signal, in its middle.
std::pair<u64, u64> range(double share)
{
    const u64 span = u64(double(kSamples * 10) * share);
    const u64 from = kStart + (kSamples * 10 - span) / 2;
    return {from, from + span};
}

void histogram(benchmark::State& state, double share)
{
    const auto& all = samples();
    const auto [from, to] = range(share);
    for (auto _ : state)
        benchmark::DoNotOptimize(vistra::countHistogram(all, from, to, 100, -DBL_MAX, DBL_MAX));
}

void statistics(benchmark::State& state, double share)
{
    const auto& all = samples();
    const auto [from, to] = range(share);
    for (auto _ : state)
        benchmark::DoNotOptimize(vistra::computeStatistics(all, from, to, from, to, -DBL_MAX, DBL_MAX));
}

BENCHMARK_CAPTURE(histogram, range_1_percent, 0.01)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(histogram, full_scan, 1.0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(statistics, range_1_percent, 0.01)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(statistics, full_scan, 1.0)->Unit(benchmark::kMillisecond);

} // namespace
