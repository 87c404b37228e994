// The virtual-signal editor as a user reaches it: the program starts on the example log
// with a VSD file of its own, "New signal" from a signal's popup menu opens the editor,
// the user fills in a name, an input and an expression and saves; the group is in the VSD
// file (its comment kept), the signal appears in the list, checked, "Update signals"
// computes it, and the detail plot shows its curve in its colour.
#include "core/signal.h"
#include "editor/method_descriptors.h"
#include "editor/virt_sign_dialog.h"
#include "store/store.h"
#include "views/time_box.h"
#include "window/menu_icon_item.h"
#include "window/window.h"
#include "window_run.h"

#include "pixel_count.h"
#include "test_helpers.h"

#include <gdkmm/rgba.h>
#include <glibmm/fileutils.h>
#include <glibmm/miscutils.h>
#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace vistra {
namespace {

using test::pixelsOfColour;
using test::pumpUntil;

// The signal row's check mark, or nothing when the list has no such row.
std::optional<bool> signalRowMark(LogList& list, const Glib::ustring& iface, const Glib::ustring& msg,
                                  const Glib::ustring& sig)
{
    const ModelColumns& cols = listColumns();
    for (const Gtk::TreeRow& ifaceRow : list.get_model()->children())
        for (const Gtk::TreeRow& msgRow : ifaceRow.children())
            for (const Gtk::TreeRow& sigRow : msgRow.children())
                if (ifaceRow[cols.name] == iface && msgRow[cols.name] == msg && sigRow[cols.name] == sig)
                    return bool(sigRow[cols.active]);
    return std::nullopt;
}

// Types into an entry as the keyboard would, through its typing filter.
void type(Gtk::Entry& entry, const Glib::ustring& text)
{
    entry.set_text("");
    int position = 0;
    entry.insert_text(text, static_cast<int>(text.bytes()), position);
}

TEST(EditorEndToEnd, NewSignalIsSavedListedComputedAndPlotted)
{
    const std::string dir = Glib::build_filename(Glib::get_home_dir(), "editor_e2e");
    g_mkdir_with_parents(dir.c_str(), 0700);
    const std::string vsdPath = Glib::build_filename(dir, "drive_edit.vsd");
    std::ofstream(vsdPath) << "# kept by the editor\n[settings]\nifname_0=Can\ndbcfile_0=" TARNWICK_SOURCE_DIR
                              "/examples/drive.dbc\n";

    Store& store = Store::instance();
    bool plotted = false;
    const std::vector<std::string> args = {"-f", vsdPath, TARNWICK_SOURCE_DIR "/examples/drive.lz4"};
    const int result = test::runInWindow(args, [&](Window& window) {
        EXPECT_TRUE(pumpUntil([&] { return window.get_mapped() && !store.isWorking(); }, 10000));

        // "New signal" on the row of the vehicle speed.
        window.popupTarget = store.findSignal("Can.VehicleDynamics.VehicleSpeed");
        window.popupItem(PopupSignal, PopupNewSignal).activate();
        VirtSignDialog& editor = window.virtSignDialog;
        EXPECT_TRUE(pumpUntil([&] { return editor.get_mapped(); }, 5000));
        EXPECT_EQ(editor.get_title(), "New virtual signal");
        EXPECT_EQ(editor.nameRow.get_text(), "VehicleDynamics.new_signal");
        EXPECT_EQ(editor.methodCombo.get_active_text(), "expression");

        type(editor.nameRow, "Calc.doubleSpeed");
        type(*editor.signalRows[0], "Can.VehicleDynamics.VehicleSpeed");
        auto& expression = dynamic_cast<MethodExpression&>(*editor.methods.at("expression"));
        type(expression.stepRow, "100");
        type(expression.expr, "$01 * 2");
        editor.saveButton.clicked();

        EXPECT_TRUE(pumpUntil([&] { return !editor.get_visible() && !store.isWorking(); }, 10000))
            << "the editor stayed open";
        const std::string saved = test::readFileText(vsdPath);
        EXPECT_EQ(saved.rfind("# kept by the editor\n", 0), 0u) << saved;
        EXPECT_NE(saved.find("[Calc.doubleSpeed]\nmethod=expression\nsignal_01=Can.VehicleDynamics.VehicleSpeed\n"
                             "step=100\nexpr=$01 * 2\nTarnwick="),
                  std::string::npos)
            << saved;
        std::shared_ptr<Signal> made;
        try {
            made = store.findSignal("Virt.Calc.doubleSpeed");
        } catch (const std::exception& e) {
            ADD_FAILURE() << "no signal after the save: " << e.what();
        }
        if (made) {
            EXPECT_TRUE(made->enabled);
            EXPECT_EQ(signalRowMark(window.dataList, "Virt", "Calc", "doubleSpeed"), std::optional<bool>(true));

            window.updateSignals();
            EXPECT_TRUE(pumpUntil([&] { return !store.parsing && made->loaded; }, 20000));
            EXPECT_GT(made->samples.size(), 100u);
            const auto input = store.findSignal("Can.VehicleDynamics.VehicleSpeed");
            if (!made->samples.empty() && !input->samples.empty()) {
                EXPECT_DOUBLE_EQ(made->samples.back().value, input->samples.back().value * 2);
            }
            Gdk::RGBA colour(made->colour);
            Glib::RefPtr<Gdk::Pixbuf> shot;
            plotted = pumpUntil([&] { return pixelsOfColour(window.plot, colour, &shot) > 100; }, 20000);
            if (auto whole = Gdk::Pixbuf::create(window.get_window(), 0, 0, window.get_width(), window.get_height()))
                whole->save("editor_e2e.png", "png");
        }
        return 0;
    });
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(plotted) << "the detail plot shows no pixel of the new signal's colour";
}

} // namespace
} // namespace vistra
