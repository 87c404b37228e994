// The program as a user starts it on the example data: "tarnwick examples/drive.lz4 -d
// examples/drive.dbc -s Can.VehicleDynamics.VehicleSpeed" runs its start-up, the main
// window opens with that signal marked, another signal is checked in the list and
// "Update signals" parses the log; the detail plot must then show the curve
// in the signal's colour. A screenshot of the window is kept as window_e2e.png in the
// test's working directory.
#include "core/signal.h"
#include "store/store.h"
#include "window/window.h"
#include "window_run.h"

#include <gdkmm/pixbuf.h>
#include <gdkmm/rgba.h>
#include <glibmm/fileutils.h>
#include "pixel_count.h"
#include "test_helpers.h"

#include <glibmm/main.h>
#include <gtest/gtest.h>

#include <functional>

namespace vistra {
namespace {

using test::pixelsOfColour;
using test::pumpUntil;

// The check box of a signal row, as a click on it reaches the list.
void checkSignalRow(LogList& list, const Glib::ustring& iface, const Glib::ustring& msg, const Glib::ustring& sig)
{
    const ModelColumns& cols = listColumns();
    for (const Gtk::TreeRow& ifaceRow : list.get_model()->children())
        for (const Gtk::TreeRow& msgRow : ifaceRow.children())
            for (const Gtk::TreeRow& sigRow : msgRow.children())
                if (ifaceRow[cols.name] == iface && msgRow[cols.name] == msg && sigRow[cols.name] == sig) {
                    list.onRowToggled(list.get_model()->get_path(sigRow).to_string());
                    return;
                }
    ADD_FAILURE() << "no row for " << sig;
}

bool rowMarked(LogList& list, const Glib::ustring& msg)
{
    for (const Gtk::TreeRow& ifaceRow : list.get_model()->children())
        for (const Gtk::TreeRow& msgRow : ifaceRow.children())
            if (msgRow[listColumns().name] == msg)
                return msgRow[listColumns().active];
    return false;
}

TEST(WindowEndToEnd, CheckedSignalIsLoadedAndPlotted)
{
    Store& store = Store::instance();
    bool plotted = false;
    const int result = test::runInWindow(
        {TARNWICK_SOURCE_DIR "/examples/drive.lz4", "-d", TARNWICK_SOURCE_DIR "/examples/drive.dbc", "-s",
         "Can.VehicleDynamics.VehicleSpeed"},
        [&](Window& window) {
            EXPECT_TRUE(pumpUntil([&] { return window.get_mapped() && !store.isWorking(); }, 10000));
            EXPECT_TRUE(rowMarked(window.dataList, "VehicleDynamics")); // selected with -s
            EXPECT_FALSE(rowMarked(window.dataList, "EngineData"));

            checkSignalRow(window.dataList, "Can", "EngineData", "EngineSpeed");
            auto signal = store.findSignal("Can.EngineData.EngineSpeed");
            EXPECT_TRUE(signal->enabled);
            window.updateSignals();
            EXPECT_TRUE(store.parsing);
            EXPECT_TRUE(pumpUntil([&] { return !store.parsing && signal->loaded; }, 20000));
            // The bar follows the load through the progress dispatcher, a main-loop turn later.
            EXPECT_TRUE(pumpUntil([&] { return window.progressBar.get_fraction() == 1.0; }, 5000));

            Gdk::RGBA colour(signal->colour);
            Glib::RefPtr<Gdk::Pixbuf> shot;
            plotted = pumpUntil([&] { return pixelsOfColour(window.plot, colour, &shot) > 100; }, 20000);
            if (auto whole = Gdk::Pixbuf::create(window.get_window(), 0, 0, window.get_width(), window.get_height()))
                whole->save("window_e2e.png", "png");
            return 0;
        });
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(plotted) << "the detail plot shows no pixel of the signal's colour";
}

} // namespace
} // namespace vistra
