// The computing pass at the end of a load (process, then finish) over one million input
// samples, for average (a window of 100 steps), integrate and frequency, against plain
// loops over the same samples: one that only reads them, and one that also stores each
// value as an output, the least any method does per step.
#include "core/can_iface.h"
#include "core/message.h"
#include "core/signal.h"
#include "core/store_host.h"
#include "core/virtual_signal.h"
#include "virtual/average.h"
#include "virtual/frequency.h"
#include "virtual/int_der.h"

#include <benchmark/benchmark.h>
#include <glibmm/keyfile.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using namespace vistra;

constexpr int kSamples = 1000000;
constexpr u64 kStart = 1765000000000ULL;

// One input signal "CAN0.In.X": a triangle wave sampled every 10 ms, 2 s from peak to peak.
class BenchHost : public StoreHost {
public:
    BenchHost()
    {
        install(this);
        auto iface = CanIface::create("CAN0", 0);
        auto msg = std::make_shared<Message>(1, "In", iface);
        input = std::make_shared<Signal>(msg, "X");
        input->samples.reserve(kSamples);
        for (int i = 0; i < kSamples; ++i) {
            const int phase = i % 200;
            input->samples.push_back({kStart + u64(i) * 10, double(phase < 100 ? phase : 200 - phase)});
        }
        input->hasData = true;
        virt = std::make_shared<Message>(0, "Virtual", CanIface::create("Virt", 1024));
    }
    ~BenchHost() override { install(nullptr); }

    std::shared_ptr<Signal> findSignal(const Glib::ustring&) const override { return input; }

    std::shared_ptr<Signal> input;
    std::shared_ptr<Message> virt;
};

BenchHost& host()
{
    static BenchHost h;
    return h;
}

template <class T>
void runMethod(benchmark::State& state, const char* lines)
{
    Glib::KeyFile file;
    file.load_from_data(std::string("[Sig]\nsignal=CAN0.In.X\n") + lines);
    for (auto _ : state) {
        auto signal = T::create(host().virt, "Sig", file);
        signal->process();
        signal->finish();
        benchmark::DoNotOptimize(signal->samples.data());
    }
    state.SetItemsProcessed(state.iterations() * kSamples);
}

void BM_PlainWalk(benchmark::State& state)
{
    const std::vector<Sample>& samples = host().input->samples;
    for (auto _ : state) {
        double sum = 0.0;
        for (const Sample& s : samples)
            sum += s.value;
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kSamples);
}

void BM_WalkAndStore(benchmark::State& state)
{
    const std::vector<Sample>& samples = host().input->samples;
    for (auto _ : state) {
        auto out = std::make_shared<VirtualSignal>(host().virt, "Copy");
        for (const Sample& s : samples)
            out->addValue(s.time, s.value);
        out->finish();
        benchmark::DoNotOptimize(out->samples.data());
    }
    state.SetItemsProcessed(state.iterations() * kSamples);
}

void BM_Average(benchmark::State& state) { runMethod<Average>(state, "step=10\nwindow=1000\n"); }
void BM_Integrate(benchmark::State& state) { runMethod<IntDer>(state, ""); }
void BM_Frequency(benchmark::State& state) { runMethod<Frequency>(state, "step=10\n"); }

} // namespace

BENCHMARK(BM_PlainWalk)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WalkAndStore)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Average)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Integrate)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Frequency)->Unit(benchmark::kMillisecond);
