// The program started as a user starts it, on a log with GPS positions written by a logger
// that names several CAN interfaces: the main window is built (it makes the GPS track,
// which joins a message of the model) and the worker loads the log. A program of its own,
// so that the test script also runs it under ThreadSanitizer, which reports any access of
// the two threads to the model that nothing orders.
#include "core/byte_layout.h"
#include "core/constants.h"
#include "core/signal.h"
#include "store/log_file_writer.h"
#include "store/store.h"
#include "window/window.h"
#include "window_gui/window_run.h"
#include "test_helpers.h"

#include <gtest/gtest.h>
#include <gtkmm/menuitem.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace vistra {
namespace {

constexpr const char* kDbc = R"(VERSION ""
BO_ 256 Engine: 8 ECU
 SG_ Speed : 0|16@1+ (1,0) [0|65535] "rpm" Vector__XXX
)";

constexpr u64 kStartMs = 1'700'000'000'000;
// Long enough that the first load still runs while the window is built.
constexpr u32 kSeconds = 6000;

// Engine frames every 10 ms and one GPS position and motion report a second,
// as the logger sends them (degrees × 10^7 + minutes × 10^5).
void writeLog(const std::string& path)
{
    LogFileWriter writer;
    ASSERT_TRUE(writer.open(path, kStartMs, "multiCAN"));
    for (u32 t = 0; t < kSeconds * 1000; t += 10) {
        FrameRecord engine{t, 256, 8, {static_cast<u8>(t), static_cast<u8>(t >> 8)}, 0};
        ASSERT_TRUE(writer.add(engine));
        if (t % 1000 == 0) {
            FrameRecord pos{t + 1, 10, 8, {}, kLoggerIface};
            storeLe32(pos.data, 570000000u + 4253000u + t / 100); // 57° 42.53' N and north
            storeLe32(pos.data + 4, 110000000u + 5847000u + t / 100); // 11° 58.47' E and east
            ASSERT_TRUE(writer.add(pos));
            FrameRecord mot{t + 2, 11, 8, {}, kLoggerIface};
            storeLe32(mot.data, 1200); // 120.0 m
            ASSERT_TRUE(writer.add(mot));
        }
    }
    ASSERT_TRUE(writer.close());
}

TEST(WindowStart, TheWindowIsBuiltWithoutRacingTheFirstLoad)
{
    char tmpl[] = "/tmp/tarnwick-start-XXXXXX";
    const std::string dir = mkdtemp(tmpl);
    const std::string dbcPath = dir + "/engine.dbc";
    const std::string logPath = dir + "/drive.lz4";
    std::ofstream(dbcPath) << kDbc;
    writeLog(logPath);

    Store& store = Store::instance();
    const int result = test::runInWindow(
        {logPath, "-d", dbcPath, "-s", "Can.Engine.Speed", "-s", "Logger.GPS_POS.lat"}, [&](Window& window) {
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
    std::filesystem::remove_all(dir);
}

} // namespace
} // namespace vistra
