// A ruler drag over the detail plot: the cost of one pointer motion event with a ruler
// button held, including a whole redraw of the 1000 x 400 plot as the next frame makes it
// (rulers, value texts, the scaled image), and as the main loop runs it. Measured over a plot of 10 million samples and
// over one of 1000 samples: the ratio shows that a drag does not depend on the data. The
// baseline BM_RenderImage is one render of the 10-million-sample image, which is what
// every motion event would cost if the drag re-rendered instead of redrawing.
// Needs a display (run under xvfb-run); without one the benchmarks report an error.
#include "core/signal.h"
#include "store/store.h"
#include "views/sub_plot.h"
#include "views/time_box.h"

#include <benchmark/benchmark.h>
#include <cairomm/context.h>
#include <cairomm/surface.h>
#include <glibmm/main.h>
#include <gtk/gtk.h>
#include <gtkmm/main.h>
#include <gtkmm/offscreenwindow.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <memory>

namespace {

using vistra::u64;

constexpr u64 kStart = 1'765'000'000'000ULL;
constexpr u64 kSpan = 10'000'000; // ms: 10 million samples one ms apart, or 1000 ten seconds apart
constexpr int kWidth = 1000;
constexpr int kHeight = 400;

// The settings the Store saves at exit go to a folder of their own.
const bool homeSet = [] {
    static char home[] = "/tmp/tarnwick-bench-XXXXXX";
    if (mkdtemp(home))
        setenv("HOME", home, 1);
    return true;
}();

bool displayReady()
{
    static const bool ready = [] {
        if (!gtk_init_check(nullptr, nullptr))
            return false;
        Gtk::Main::init_gtkmm_internals();
        return true;
    }();
    return ready;
}

std::shared_ptr<vistra::Signal> signalOf(std::size_t samples)
{
    auto s = std::make_shared<vistra::Signal>(nullptr, "S");
    s->fullName = "Can.Msg.S";
    s->colour = "#eded33333b3b";
    s->enabled = s->loaded = s->hasData = true;
    s->samples.resize(samples);
    const u64 step = kSpan / samples;
    for (std::size_t i = 0; i < samples; ++i)
        s->samples[i] = {kStart + i * step, std::sin(double(i) * 0.001) * 100.0 + double(i % 7)};
    s->setViewRange({-100, 107});
    return s;
}

void runLoopUntil(const std::function<bool()>& done)
{
    auto context = Glib::MainContext::get_default();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!done() && std::chrono::steady_clock::now() < deadline)
        context->iteration(false);
}

// One plot showing one signal over the whole view window, its image rendered.
struct Plot {
    explicit Plot(std::size_t samples)
    {
        vistra::Store& store = vistra::Store::instance();
        store.viewStart = kStart;
        store.viewEnd = kStart + kSpan;
        store.firstTime = kStart;
        store.setPlotSignals({signalOf(samples)});
        store.plotCount = 1;
        vistra::timeBox().from = kStart;
        vistra::timeBox().to = kStart + kSpan;
        widget = std::make_unique<vistra::SubPlot>();
        widget->set_size_request(kWidth, kHeight);
        window.add(*widget);
        window.show_all();
        runLoopUntil([&] {
            return widget->get_realized() && widget->shownTo != 0 && !widget->renderPending() &&
                   !Glib::MainContext::get_default()->pending();
        });
        store.rightRuler = kStart + kSpan / 3;
        widget->heldMain = true;
    }
    ~Plot()
    {
        window.remove();
        widget.reset();
        vistra::Store::instance().setPlotSignals({});
    }

    // A motion event as GTK delivers it, then either a frame drawn for it alone or one
    // pass of the main loop, in which the redraws of many events fold into one frame.
    void drag(double x, bool draw)
    {
        GdkEvent* e = gdk_event_new(GDK_MOTION_NOTIFY);
        e->motion.window = GDK_WINDOW(g_object_ref(widget->get_window()->gobj()));
        e->motion.x = x;
        e->motion.y = 100;
        gdk_event_set_device(e, gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_display_get_default())));
        gtk_widget_event(GTK_WIDGET(widget->gobj()), e);
        gdk_event_free(e);
        if (draw) {
            gtk_widget_draw(GTK_WIDGET(widget->gobj()), frame->cobj());
        } else {
            // What the main loop has ready: the dispatcher notices, and a frame when the
            // frame clock is due.
            auto context = Glib::MainContext::get_default();
            while (context->pending())
                context->iteration(false);
        }
    }

    Gtk::OffscreenWindow window;
    std::unique_ptr<vistra::SubPlot> widget;
    Cairo::RefPtr<Cairo::ImageSurface> surface = Cairo::ImageSurface::create(Cairo::FORMAT_RGB24, kWidth, kHeight);
    Cairo::RefPtr<Cairo::Context> frame = Cairo::Context::create(surface);
};

void BM_RulerDragMotion(benchmark::State& state)
{
    if (!displayReady()) {
        state.SkipWithError("no display");
        return;
    }
    Plot plot(static_cast<std::size_t>(state.range(0)));
    const bool draw = state.range(1) != 0;
    int renders = 0;
    plot.widget->signal_configure_event().connect(
        [&](GdkEventConfigure*) {
            ++renders;
            return false;
        },
        false);
    double x = 100;
    for (auto _ : state) {
        plot.drag(x, draw);
        x = x >= 900 ? 100 : x + 7;
    }
    runLoopUntil([] { return !Glib::MainContext::get_default()->pending(); });
    state.counters["renders"] = renders; // a drag must not re-render
}
// Arguments: samples, and whether each event is followed by a frame of its own (0: by a
// pass of the main loop, as in the program).
BENCHMARK(BM_RulerDragMotion)
    ->Args({10'000'000, 1})
    ->Args({1000, 1})
    ->Args({10'000'000, 0})
    ->Args({1000, 0})
    ->Unit(benchmark::kMicrosecond);

void BM_RenderImage(benchmark::State& state)
{
    if (!displayReady()) {
        state.SkipWithError("no display");
        return;
    }
    Plot plot(10'000'000);
    GdkEventConfigure configure{};
    configure.type = GDK_CONFIGURE;
    configure.width = kWidth;
    configure.height = kHeight;
    for (auto _ : state) {
        plot.widget->on_configure_event(&configure);
        runLoopUntil([&] { return !plot.widget->renderPending(); });
    }
}
BENCHMARK(BM_RenderImage)->Unit(benchmark::kMicrosecond);

} // namespace
