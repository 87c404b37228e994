// Choosing signals with -s: the glob "Virt.*.*" over 2500, 10000 and 20000 signals (100 a
// message), as the command line applies it. Every signal chosen changes the plotted-signal
// list, whose rebuild walks all signals. "rebuilds" is the time of the selection as a
// ratio to one such rebuild, measured in the same run: about N when the list is rebuilt
// once per signal (N² time), and a small constant when it is rebuilt once per selection.
#include "core/can_iface.h"
#include "core/constants.h"
#include "core/message.h"
#include "core/signal.h"
#include "store/command_line.h"
#include "store/store.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <list>
#include <memory>
#include <string>

namespace {

using namespace vistra;
namespace fs = std::filesystem;

constexpr int kSignalsPerMessage = 100;

// The store saves its settings when it ends: into a folder of the bench's own.
struct ScratchHome {
    fs::path dir = fs::temp_directory_path() / ("tarnwick-bench-select-" + std::to_string(::getpid()));
    ScratchHome()
    {
        fs::create_directories(dir);
        ::setenv("HOME", dir.c_str(), 1);
    }
    ~ScratchHome() { fs::remove_all(dir); }
};

void BM_SelectSignals(benchmark::State& state)
{
    static const ScratchHome home;
    const int signals = static_cast<int>(state.range(0));
    Store store;
    store.textMode = true; // no dispatcher emits without a main loop
    auto iface = store.addIface("Virt", kVirtualIface);
    for (int m = 0; m < signals / kSignalsPerMessage; ++m) {
        auto msg = std::make_shared<Message>(static_cast<u32>(m), "M" + std::to_string(m), iface);
        iface->addMessage(msg);
        for (int s = 0; s < kSignalsPerMessage; ++s) {
            const std::string name = "S" + std::to_string(s);
            msg->addSignal(name, std::make_shared<Signal>(msg, name));
        }
    }
    const std::list<Glib::ustring> patterns{"Virt.*.*"};

    // Baseline, in the same run: one rebuild of the plotted-signal list, which walks all
    // signals. Choosing every signal costs a few of them in linear time, and one per
    // signal in N² time.
    double selecting = 0, rebuilding = 0;
    auto seconds = [](auto&& f) {
        const auto start = std::chrono::steady_clock::now();
        f();
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    for (auto _ : state) {
        store.deselectAllSignals();
        const double took = seconds([&] { applySelections(store, patterns); });
        state.SetIterationTime(took);
        selecting += took;
        rebuilding += seconds([&] { store.refreshPlotSignals(); });
    }
    if (store.enabledCount != static_cast<u32>(signals))
        state.SkipWithError("not every signal was chosen");
    state.counters["ns/signal"] = selecting / double(state.iterations()) / signals * 1e9;
    state.counters["rebuilds"] = selecting / rebuilding;
}

} // namespace

BENCHMARK(BM_SelectSignals)->Arg(2500)->Arg(10000)->Arg(20000)->UseManualTime()->Unit(benchmark::kMillisecond);
