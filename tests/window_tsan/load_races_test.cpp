// The desktop used as a user uses it while data come in: rulers set and moved, the plot
// zoomed and cropped, the histogram and the GPS plot opened, while a log is parsed and while
// a logger streams live frames. Under ThreadSanitizer every read of a signal's values,
// ranges or flags on the GUI thread that the loading threads write, and every change of
// what a running job reads, must be ordered by the lock that guards it.
#include "core/signal.h"
#include "loopback.h"
#include "store/store.h"
#include "store/stream_listener.h"
#include "views/time_box.h"
#include "window/window.h"
#include "window_gui/engine_blocks.h"
#include "window_gui/window_run.h"
#include "window_tsan/gps_drive.h"
#include "test_helpers.h"

#include <gdk/gdk.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cfloat>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace vistra {
namespace {

using test::pumpFor;
using test::pumpUntil;

// An event of the pointer on `widget`, delivered as GTK delivers it: through the widget's
// event signal.
void deliverPointerEvent(Gtk::Widget& widget, GdkEventType type, const std::function<void(GdkEvent*)>& fill)
{
    GdkEvent* e = gdk_event_new(type);
    e->any.window = GDK_WINDOW(g_object_ref(widget.get_window()->gobj()));
    e->any.send_event = TRUE;
    gdk_event_set_device(e, gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_display_get_default())));
    fill(e);
    gtk_widget_event(GTK_WIDGET(widget.gobj()), e);
    gdk_event_free(e);
}

// A mouse button pressed and released on the detail plot at x.
void clickPlot(Gtk::Widget& plot, guint button, double x)
{
    for (const GdkEventType type : {GDK_BUTTON_PRESS, GDK_BUTTON_RELEASE})
        deliverPointerEvent(plot, type, [&](GdkEvent* e) {
            e->button.button = button;
            e->button.x = x;
            e->button.y = 50;
        });
}

void scrollPlot(Gtk::Widget& plot, GdkScrollDirection direction, double x)
{
    deliverPointerEvent(plot, GDK_SCROLL, [&](GdkEvent* e) {
        e->scroll.direction = direction;
        e->scroll.x = x;
        e->scroll.y = 50;
    });
}

// Both rulers set inside the shown interval and the legend drawn with their values, then
// a step of zoom: the painters render while the legend is drawn again.
void setRulersAndZoom(Window& window)
{
    const int width = window.plot.get_allocated_width();
    clickPlot(window.plot, 1, width * 0.3);
    clickPlot(window.plot, 3, width * 0.7);
    window.plot.queue_draw();
    pumpFor(50);
    scrollPlot(window.plot, GDK_SCROLL_UP, width * 0.5);
    pumpFor(50);
}

bool hasSamples(Signal& signal)
{
    std::lock_guard lock(*signal.samplesMutex);
    return !signal.samples.empty();
}

// The smallest and largest value of the samples in [from, to), with the value held at
// `from`: what the view range of a signal must be after a crop to that window.
ValueRange samplesRange(Signal& signal, u64 from, u64 to)
{
    std::lock_guard lock(*signal.samplesMutex);
    ValueRange range;
    double held = 0;
    bool holding = false;
    for (const Sample& s : signal.samples) {
        if (s.time < from) {
            held = s.value;
            holding = true;
        } else if (s.time < to) {
            range.low = std::min(range.low, s.value);
            range.high = std::max(range.high, s.value);
        }
    }
    if (holding) {
        range.low = std::min(range.low, held);
        range.high = std::max(range.high, held);
    }
    return range;
}

TEST(LoadRaces, RulersCropAndHistogramWhileALogIsParsed)
{
    const test::DriveFolder drive(6000);

    Store& store = Store::instance();
    int roundsWhileParsing = 0;
    const int result = test::runInWindow({drive.log, "-d", drive.dbc, "-s", "Can.Engine.Speed"}, [&](Window& window) {
        EXPECT_TRUE(pumpUntil([&] { return window.plot.get_mapped() && !store.parsing && !store.isWorking(); },
                              60000));
        // A second signal checked and parsed (F5) while the user goes on with the plot: the
        // legend, the crop and the histogram read it while its samples come in, one a frame.
        auto revs = store.findSignal("Can.Engine.Revs");
        revs->setEnabled(true);
        window.updateSignals();
        EXPECT_TRUE(store.parsing);
        // Round after round until the parse ends, so that some fall into its decoding.
        while (store.parsing && roundsWhileParsing < 100) {
            setRulersAndZoom(window);
            window.plot.crop();
            window.openHistogram(revs);
            pumpFor(20);
            roundsWhileParsing += 1;
        }
        EXPECT_TRUE(pumpUntil([&] { return !store.parsing && !store.isWorking(); }, 60000));

        // After the load the crop's view range is that of the samples inside its window.
        window.plot.crop();
        const ValueRange expected = samplesRange(*revs, store.viewStart, store.viewEnd);
        const ValueRange shown = revs->viewRange();
        EXPECT_EQ(shown.low, expected.low);
        EXPECT_EQ(shown.high, expected.high);
        EXPECT_LT(store.viewEnd - store.viewStart, 6000u * 1000u);
        return 0;
    });
    EXPECT_EQ(result, 0);
    // Only informative: a fast build may finish the parse within the first round.
    RecordProperty("RoundsWhileParsing", roundsWhileParsing);
}

TEST(LoadRaces, RulersAndTheGpsPlotWhileLiveFramesArrive)
{
    Store& store = Store::instance();
    test::LoopbackServer logger;
    const std::string dbc = test::dbcInHome(test::kEngineDbc);

    const int result = test::runInWindow(
        {"-n", "127.0.0.1", "-p", std::to_string(logger.port()), "-d", dbc, "-s", "Can.Engine.Speed"},
        [&](Window& window) {
            StreamListener* listener = test::acceptTarnwick(logger);
            if (!listener)
                return 1;
            // 200 frames every 50 ms, as a busy bus sends them, until the test ends.
            std::atomic<bool> streaming{true};
            std::thread sender([&] {
                for (u32 t = 500; streaming; t += 2000) {
                    const std::vector<u8> blocks = test::driveBlocks(t, 200);
                    if (StreamListener::pushData(listener, blocks.data(), int(blocks.size())) != 0)
                        return;
                    std::this_thread::sleep_for(std::chrono::milliseconds(50));
                }
            });
            auto speed = store.findSignal("Can.Engine.Speed");
            EXPECT_TRUE(pumpUntil([&] { return window.plot.get_mapped() && hasSamples(*speed); }, 20000));
            timeBox().setInterval(store.viewStart, store.viewStart + 60000, true);
            EXPECT_TRUE(pumpUntil([&] { return window.gpsTrack != nullptr; }, 5000));
            // Signals checked and unchecked in the list, and the GPS plot opened, while the
            // frames come in: what the live job reads of the choice changes under it.
            auto revs = store.findSignal("Can.Engine.Revs");
            for (int round = 0; round < 6; ++round) {
                setRulersAndZoom(window);
                revs->setEnabled(round % 2 == 0);
                if (round == 1)
                    window.plotGpsTrack();
                pumpFor(200);
            }
            EXPECT_TRUE(store.live);
            EXPECT_TRUE(pumpUntil([&] { return window.gpsTrack && window.gpsTrack->hasData; }, 10000));
            streaming = false;
            sender.join();
            window.reload(true);
            StreamListener::teardown(listener);
            return 0;
        });
    EXPECT_EQ(result, 0);
}

} // namespace
} // namespace vistra
