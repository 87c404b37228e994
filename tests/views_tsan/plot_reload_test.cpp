// Reloads while both plots render and draw: the worker rebuilds the plotted-signal list at
// the end of every load while the GUI thread reads it. A program of its own, so that the
// test script also runs it under ThreadSanitizer (in a virtual display).
#include "core/signal.h"
#include "store/log_file_writer.h"
#include "store/store.h"
#include "views/full_plot.h"
#include "views/sub_plot.h"
#include "test_helpers.h"

#include <cairomm/context.h>
#include <cairomm/surface.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <gtkmm/box.h>
#include <gtkmm/main.h>
#include <gtkmm/offscreenwindow.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace vistra::test {
namespace {

constexpr const char* kDbc = R"(VERSION ""
BO_ 256 Engine: 8 ECU
 SG_ Speed : 0|16@1+ (1,0) [0|65535] "rpm" Vector__XXX
 SG_ Load : 16|8@1+ (1,0) [0|255] "%" Vector__XXX
)";

constexpr u64 kStartMs = 1'700'000'000'000;
// Enough frames that a load lasts while the GUI thread keeps rendering.
constexpr u32 kFrames = 200'000;

void writeLog(const std::string& path)
{
    LogFileWriter writer;
    ASSERT_TRUE(writer.open(path, kStartMs));
    for (u32 i = 0; i < kFrames; ++i) {
        FrameRecord frame;
        frame.timestamp = i;
        frame.idWord = 256;
        frame.length = 8;
        frame.data[0] = static_cast<u8>(i >> 4);
        frame.data[1] = static_cast<u8>(i >> 12);
        frame.data[2] = static_cast<u8>(i >> 10);
        ASSERT_TRUE(writer.add(frame));
    }
    ASSERT_TRUE(writer.close());
}

// A render as a new size allocation makes it, then a draw as the screen would ask for.
template <class Plot>
void renderAndDraw(Plot& plot)
{
    GdkEventConfigure event{};
    event.type = GDK_CONFIGURE;
    event.width = plot.get_allocated_width();
    event.height = plot.get_allocated_height();
    plot.on_configure_event(&event);
    auto surface = Cairo::ImageSurface::create(Cairo::FORMAT_RGB24, event.width, event.height);
    plot.on_draw(Cairo::Context::create(surface));
}

TEST(PlotReload, PlotsRenderWhileTheWorkerRebuildsThePlottedSignals)
{
    ASSERT_TRUE(gtk_init_check(nullptr, nullptr)) << "GTK cannot open the display";
    Gtk::Main::init_gtkmm_internals();
    char tmpl[] = "/tmp/tarnwick-reload-XXXXXX";
    const std::string dir = mkdtemp(tmpl);
    const std::string dbcPath = dir + "/engine.dbc";
    const std::string logPath = dir + "/engine.log";
    std::ofstream(dbcPath) << kDbc;
    writeLog(logPath);

    Store& store = Store::instance();
    store.addLogFile(logPath.c_str());
    ASSERT_TRUE(store.hasLogFiles());
    {
        SubPlot detail;
        FullPlot overview;
        Gtk::Box box(Gtk::ORIENTATION_VERTICAL);
        box.pack_start(detail);
        box.pack_start(overview);
        detail.set_size_request(400, 300);
        overview.set_size_request(400, 100);
        Gtk::OffscreenWindow window;
        window.add(box);
        window.show_all();

        store.startThread();
        for (int round = 0; round < 3; ++round) {
            // A reload as the main window makes it, then a parse of the chosen signals.
            detail.reset();
            overview.reset();
            store.clearData();
            store.addLoggerIface();
            store.loadDbc(dbcPath, 0, "Can");
            store.createBuiltinSignals();
            store.findSignal("Can.Engine.Speed")->setEnabled(true);
            store.findSignal("Can.Engine.Load")->setEnabled(true);
            store.requestParse();
            ASSERT_TRUE(pumpUntil(
                [&] {
                    renderAndDraw(detail);
                    renderAndDraw(overview);
                    return !store.parsing;
                },
                120000));
        }
        const auto plotted = store.plotSignals();
        ASSERT_EQ(plotted.size(), 2u);
        EXPECT_EQ(plotted[0]->fullName, "Can.Engine.Speed");
        EXPECT_EQ(plotted[1]->fullName, "Can.Engine.Load");
        EXPECT_TRUE(plotted[0]->loaded && plotted[1]->loaded);
        // The plots' painter threads finish before the store lets go of the signals.
        EXPECT_TRUE(pumpUntil([&] { return !detail.renderPending() && !overview.renderPending(); }));
        window.remove();
    }
    store.stop();
    store.clearLogFiles();
    drainLog();
    std::filesystem::remove_all(dir);
}

} // namespace
} // namespace vistra::test
