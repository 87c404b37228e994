// Painting one signal of 10 million samples into a 2000-pixel-wide image, whole and
// zoomed to 1% of its time range, against a bare minimum/maximum scan of the same
// samples. Targets: whole paint ≤ 1.5 × the scan; the 1% paint ≤ 3% of the whole one.
// BM_PaintTargets measures the three interleaved, so that other load on the machine
// weighs on all of them alike, and reports the median ratios as counters
// (whole_per_scan ≤ 1.5, zoom_per_whole ≤ 0.03). The single benchmarks give the absolute
// figures. BM_PaintNoSamples paints a window after the data: the cost of one image alone,
// which every paint pays whatever its sample count.
#include "core/signal.h"
#include "core/store_host.h"
#include "views/signal_painter.h"

#include <benchmark/benchmark.h>
#include <gtkmm/main.h>

#include <algorithm>
#include <cfloat>
#include <chrono>
#include <cmath>
#include <vector>

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
        s->setViewRange({-100, 107});
        vistra::storeHost().viewStart = kStart;
        vistra::storeHost().viewEnd = kEnd + kSamples;
        Gtk::Main::init_gtkmm_internals();
        return s;
    }();
    return signal;
}

constexpr u64 kZoomFrom = kStart + kSamples / 2;
constexpr u64 kZoomTo = kZoomFrom + kSamples / 100;

// One paint as a widget makes it: a new task, its image released with the task.
bool paintOnce(const std::shared_ptr<vistra::Signal>& signal, u64 from, u64 to)
{
    static const std::atomic<bool> aborted{false};
    auto task = std::make_shared<vistra::PainterTask>(nullptr, 1, signal, from, to, kWidth, kHeight);
    vistra::paintSignal(task, aborted);
    benchmark::DoNotOptimize(task->image.get());
    return bool(task->image);
}

void scanOnce(const std::shared_ptr<vistra::Signal>& signal)
{
    double lo = DBL_MAX;
    double hi = -DBL_MAX;
    for (const vistra::Sample& s : signal->samples) {
        lo = std::min(lo, s.value);
        hi = std::max(hi, s.value);
    }
    benchmark::DoNotOptimize(lo);
    benchmark::DoNotOptimize(hi);
}

void paintWindow(benchmark::State& state, u64 from, u64 to)
{
    const auto signal = bigSignal();
    for (auto _ : state)
        if (!paintOnce(signal, from, to))
            state.SkipWithError("no image");
}

void BM_MinMaxScanBaseline(benchmark::State& state)
{
    const auto signal = bigSignal();
    for (auto _ : state)
        scanOnce(signal);
}

void BM_PaintWhole(benchmark::State& state) { paintWindow(state, kStart, kEnd); }

void BM_PaintZoomedOnePercent(benchmark::State& state) { paintWindow(state, kZoomFrom, kZoomTo); }

template <typename F> double secondsOf(F&& f)
{
    const auto begin = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
}

double median(std::vector<double> v)
{
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

// Each iteration: one scan, one whole paint, and the zoomed paint often enough to be
// timed well, back to back.
void BM_PaintTargets(benchmark::State& state)
{
    constexpr int kZoomRepeats = 20;
    const auto signal = bigSignal();
    std::vector<double> wholePerScan;
    std::vector<double> zoomPerWhole;
    for (auto _ : state) {
        const double scan = secondsOf([&] { scanOnce(signal); });
        bool painted = true;
        const double whole = secondsOf([&] { painted = paintOnce(signal, kStart, kEnd); });
        const double zoom = secondsOf([&] {
            for (int i = 0; i < kZoomRepeats; ++i)
                painted = paintOnce(signal, kZoomFrom, kZoomTo) && painted;
        }) / kZoomRepeats;
        if (!painted)
            state.SkipWithError("no image");
        wholePerScan.push_back(whole / scan);
        zoomPerWhole.push_back(zoom / whole);
    }
    if (!wholePerScan.empty()) {
        state.counters["whole_per_scan"] = median(wholePerScan);
        state.counters["zoom_per_whole"] = median(zoomPerWhole);
    }
}

void BM_PaintNoSamples(benchmark::State& state) { paintWindow(state, kEnd + 1, kEnd + 1 + kSamples / 100); }

} // namespace

BENCHMARK(BM_MinMaxScanBaseline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PaintWhole)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PaintZoomedOnePercent)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PaintNoSamples)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PaintTargets)->Unit(benchmark::kMillisecond)->MinTime(3.0);
