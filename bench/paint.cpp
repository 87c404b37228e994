// Painting one signal of 10 million samples into a 2000-pixel-wide image, whole and
// zoomed to 1% of its time range, against a bare minimum/maximum scan of the same
// samples. Targets: whole paint ≤ 1.5 × the scan; the 1% paint ≤ 3% of the whole one.
// BM_PaintNoSamples paints a window after the data: the cost of one image alone (surface,
// stroke of an empty path, conversion to a pixbuf), which every paint pays whatever its
// sample count.
#include "core/signal.h"
#include "core/store_host.h"
#include "views/signal_painter.h"

#include <benchmark/benchmark.h>
#include <gtkmm/main.h>

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace {

using vistra::u64;

constexpr std::size_t kSamples = 10'000'000;
constexpr u64 kStart = 1'765'000'000'000ULL;
constexpr u64 kEnd = kStart + kSamples; // one sample per ms
constexpr int kWidth = 2000;
constexpr int kHeight = 200;

std::shared_ptr<vistra::Signal> bigSignal()
{
    static const std::shared_ptr<vistra::Signal> signal = [] {
        auto s = std::make_shared<vistra::Signal>(nullptr, "S");
        s->colour = "#eded33333b3b";
        s->samples.resize(kSamples);
        for (std::size_t i = 0; i < kSamples; ++i)
            s->samples[i] = {kStart + i, std::sin(double(i) * 0.001) * 100.0 + double(i % 7)};
        s->viewMin = -100;
        s->viewMax = 107;
        vistra::storeHost().viewStart = kStart;
        vistra::storeHost().viewEnd = kEnd + kSamples;
        Gtk::Main::init_gtkmm_internals();
        return s;
    }();
    return signal;
}

void paintWindow(benchmark::State& state, u64 from, u64 to)
{
    const auto signal = bigSignal();
    const std::atomic<bool> aborted{false};
    for (auto _ : state) {
        auto task = std::make_shared<vistra::PainterTask>(nullptr, 1, signal, from, to, kWidth, kHeight);
        vistra::paintSignal(task, aborted);
        if (!task->image)
            state.SkipWithError("no image");
        benchmark::DoNotOptimize(task->image.get());
    }
}

void BM_MinMaxScanBaseline(benchmark::State& state)
{
    const auto signal = bigSignal();
    for (auto _ : state) {
        double lo = DBL_MAX;
        double hi = -DBL_MAX;
        for (const vistra::Sample& s : signal->samples) {
            lo = std::min(lo, s.value);
            hi = std::max(hi, s.value);
        }
        benchmark::DoNotOptimize(lo);
        benchmark::DoNotOptimize(hi);
    }
}

void BM_PaintWhole(benchmark::State& state) { paintWindow(state, kStart, kEnd); }

void BM_PaintZoomedOnePercent(benchmark::State& state)
{
    const u64 middle = kStart + kSamples / 2;
    paintWindow(state, middle, middle + kSamples / 100);
}

void BM_PaintNoSamples(benchmark::State& state) { paintWindow(state, kEnd + 1, kEnd + 1 + kSamples / 100); }

} // namespace

BENCHMARK(BM_MinMaxScanBaseline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PaintWhole)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PaintZoomedOnePercent)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PaintNoSamples)->Unit(benchmark::kMillisecond);
