// "tarnwick -n 127.0.0.1 -p PORT -d engine.dbc -s Can.Engine.rpm" against a stream
// listener in this process: the main window opens, the frames the logger sends are
// plotted as they arrive (in the overview, and in the detail plot once an interval is
// chosen), and once the logger has nothing more to send, the window's reload stops the
// stream within a second.
#include "core/signal.h"
#include "engine_blocks.h"
#include "loopback.h"
#include "pixel_count.h"
#include "store/store.h"
#include "store/stream_listener.h"
#include "test_helpers.h"
#include "views/time_box.h"
#include "window/message_dialogs.h"
#include "window/window.h"
#include "window_run.h"

#include <glibmm/fileutils.h>
#include <glibmm/miscutils.h>
#include <gtest/gtest.h>
#include <gtkmm/dialog.h>

#include <chrono>
#include <string>
#include <vector>

namespace vistra {
namespace {

using test::engineBlocks;
using test::pixelsOfColour;
using test::pumpUntil;

TEST(LiveWindow, FramesArePlottedAsTheyArriveAndReloadStopsTheSilentStreamWithinASecond)
{
    Store& store = Store::instance();
    test::LoopbackServer logger;
    const std::string dbc = test::engineDbcInHome();
    std::vector<std::string> dialogs;
    setDialogRunner([&](Gtk::Dialog& dialog) {
        dialogs.push_back(dialog.get_title());
        return 0;
    });

    bool overview = false;
    bool plotted = false;
    std::chrono::steady_clock::duration stopTook{};
    const int result = test::runInWindow(
        {"-n", "127.0.0.1", "-p", std::to_string(logger.port()), "-d", dbc, "-s", "Can.Engine.rpm"},
        [&](Window& window) {
            StreamListener* listener = test::acceptTarnwick(logger);
            if (!listener)
                return 1;
            int dataSignals = 0;
            sigc::connection dataWatch = store.dataChanged.connect([&] { ++dataSignals; });
            const std::vector<u8> blocks = engineBlocks(3000);
            EXPECT_EQ(StreamListener::pushData(listener, blocks.data(), int(blocks.size())), 0);

            // The detail plot shows the interval chosen on it, re-rendered every second while
            // live data arrive; the overview strip shows the whole view window, re-rendered
            // every 10 s. The interval is chosen as soon as the first frames are in: the
            // detail plot must show them well before the overview's first live re-render.
            auto signal = store.findSignal("Can.Engine.rpm");
            const Gdk::RGBA colour(signal->colour);
            EXPECT_TRUE(pumpUntil([&] { return dataSignals > 0; }, 20000)) << "no frames arrived";
            dataWatch.disconnect();
            timeBox().setInterval(store.viewStart, store.viewStart + 60000, true);
            plotted = pumpUntil([&] { return pixelsOfColour(window.plot, colour, nullptr) > 100; }, 8000);
            // The overview's band over the chosen interval tints the curve beneath it.
            timeBox().reset();
            overview = pumpUntil([&] { return pixelsOfColour(window.fullPlot, colour, nullptr) > 20; }, 20000);
            EXPECT_TRUE(store.live);

            const auto begin = std::chrono::steady_clock::now();
            window.reload(true);
            stopTook = std::chrono::steady_clock::now() - begin;
            EXPECT_FALSE(store.networkMode);
            EXPECT_FALSE(store.live);
            StreamListener::teardown(listener);
            return 0;
        });
    EXPECT_EQ(result, 0);
    setDialogRunner(nullptr);
    EXPECT_TRUE(overview) << "the overview shows no pixel of the signal's colour";
    EXPECT_TRUE(plotted) << "the detail plot shows no pixel of the signal's colour";
    EXPECT_LT(stopTook, std::chrono::seconds(1));
    EXPECT_TRUE(dialogs.empty()) << dialogs.front();
}

} // namespace
} // namespace vistra
