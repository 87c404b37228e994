// The program started as a user starts it, on a log with GPS positions written by a logger
// that names several CAN interfaces: the main window is built (it makes the GPS track,
// which joins a message of the model) and the worker loads the log. A program of its own,
// so that the test script also runs it under ThreadSanitizer, which reports any access of
// the two threads to the model that nothing orders.
#include "core/signal.h"
#include "store/store.h"
#include "window/window.h"
#include "window_gui/window_run.h"
#include "window_tsan/gps_drive.h"
#include "test_helpers.h"

#include <gtest/gtest.h>
#include <gtkmm/menuitem.h>

#include <string>

namespace vistra {
namespace {

// Long enough that the first load still runs while the window is built.
constexpr u32 kSeconds = 6000;

TEST(WindowStart, TheWindowIsBuiltWithoutRacingTheFirstLoad)
{
    const test::DriveFolder drive(kSeconds);

    Store& store = Store::instance();
    const int result = test::runInWindow(
        {drive.log, "-d", drive.dbc, "-s", "Can.Engine.Speed", "-s", "Logger.GPS_POS.lat"}, [&](Window& window) {
            EXPECT_TRUE(test::pumpUntil([&] { return window.get_mapped() && !store.parsing && !store.isWorking(); },
                                        30000));
            auto latitude = store.findSignal("Logger.GPS_POS.lat");
            EXPECT_TRUE(latitude->loaded);
            EXPECT_FALSE(latitude->samples.empty());
            // The track of this load, and its menu: the logger names several interfaces.
            EXPECT_TRUE(window.gpsTrack);
            EXPECT_TRUE(window.gpsMenu->get_visible());
            return 0;
        });
    EXPECT_EQ(result, 0);
}

} // namespace
} // namespace vistra
