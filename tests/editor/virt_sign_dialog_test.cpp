// The editor dialog's own behaviour: the method choice and the number of input rows, the
// collapsible common options, the help pages, the height rule, the completion list and
// Ctrl+S.
#include "editor/virt_sign_dialog.h"

#include "core/can_iface.h"
#include "core/message.h"
#include "core/signal.h"
#include "editor/method_descriptors.h"
#include "store/store.h"
#include "test_helpers.h"

#include <gdkmm/display.h>
#include <gdkmm/monitor.h>
#include <glibmm/main.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace vistra {
namespace {

std::vector<int> visibleInputs(VirtSignDialog& dialog)
{
    std::vector<int> shown;
    for (std::size_t i = 0; i < dialog.signalRows.size(); ++i)
        if (dialog.signalRows[i]->get_visible()) {
            EXPECT_TRUE(dialog.signalRows[i]->getLabel()->get_visible());
            shown.push_back(static_cast<int>(i) + 1);
        }
    return shown;
}

std::vector<std::string> visibleCommonKeys(VirtSignDialog& dialog)
{
    std::vector<std::string> keys;
    for (auto* rows : {&dialog.commonRows, &dialog.gapRows})
        for (InputRow* row : *rows)
            if (row->getWidget()->get_visible())
                keys.push_back(row->key());
    return keys;
}

// The method whose rows are shown, or "" when none or more than one are.
std::string shownMethod(VirtSignDialog& dialog)
{
    std::string shown;
    for (auto& [keyword, method] : dialog.methods)
        for (InputRow* row : method->rows)
            if (row->getWidget()->get_visible()) {
                if (!shown.empty() && shown != keyword.raw())
                    return "";
                shown = keyword;
            }
    return shown;
}

void pump()
{
    auto context = Glib::MainContext::get_default();
    while (context->pending())
        context->iteration(false);
}

TEST(VirtSignDialog, StartsWithOneExpressionInputAndCollapsedOptions)
{
    VirtSignDialog dialog;
    EXPECT_FALSE(dialog.get_visible());
    EXPECT_EQ(dialog.mode, EditMode::Unused);
    EXPECT_EQ(dialog.methodCombo.get_active_text(), "expression");
    EXPECT_EQ(dialog.currentMethod, dialog.methods["expression"]);
    EXPECT_EQ(dialog.methodNames.size(), 16u);
    EXPECT_TRUE(dialog.inputCountSpin.get_visible());
    EXPECT_TRUE(dialog.inputsLabel.get_visible());
    double low = 0, high = 0;
    dialog.inputCountSpin.get_range(low, high);
    EXPECT_EQ(low, 1);
    EXPECT_EQ(high, 50);
    EXPECT_EQ(dialog.inputCountSpin.get_value_as_int(), 1);
    EXPECT_EQ(dialog.inputCount, 1);
    EXPECT_EQ(visibleInputs(dialog), std::vector<int>{1});
    EXPECT_EQ(dialog.signalRows[49]->key(), "signal_50");
    EXPECT_EQ(shownMethod(dialog), "expression");

    EXPECT_TRUE(dialog.commonHidden);
    EXPECT_EQ(dialog.commonToggleLabel.get_text(), "Show common options");
    EXPECT_TRUE(dialog.arrowDown.get_visible());
    EXPECT_FALSE(dialog.arrowUp.get_visible());
    EXPECT_TRUE(visibleCommonKeys(dialog).empty());
    EXPECT_EQ(dialog.commonRows.size(), 9u);
    EXPECT_EQ(dialog.gapRows.size(), 3u);
    EXPECT_EQ(dialog.avgWindowRow->key(), "avgWindow");
    EXPECT_EQ(dialog.saveButton.get_label(), "Save changes (Ctrl + S)");
}

TEST(VirtSignDialog, MethodChoiceSetsTheInputRows)
{
    VirtSignDialog dialog;
    dialog.inputCountSpin.set_value(5);
    EXPECT_EQ(visibleInputs(dialog), (std::vector<int>{1, 2, 3, 4, 5}));

    ASSERT_TRUE(dialog.selectMethod("average"));
    EXPECT_FALSE(dialog.inputCountSpin.get_visible());
    EXPECT_FALSE(dialog.inputsLabel.get_visible());
    EXPECT_EQ(dialog.inputCount, 1);
    EXPECT_EQ(visibleInputs(dialog), std::vector<int>{1});
    EXPECT_EQ(shownMethod(dialog), "average");

    ASSERT_TRUE(dialog.selectMethod("expression"));
    EXPECT_TRUE(dialog.inputCountSpin.get_visible());
    double low = 0, high = 0;
    dialog.inputCountSpin.get_range(low, high);
    EXPECT_EQ(high, 50);
    EXPECT_EQ(dialog.inputCountSpin.get_value_as_int(), 1);
    EXPECT_EQ(visibleInputs(dialog), std::vector<int>{1});

    dialog.inputCountSpin.set_value(7);
    EXPECT_EQ(visibleInputs(dialog), (std::vector<int>{1, 2, 3, 4, 5, 6, 7}));
    ASSERT_TRUE(dialog.selectMethod("geofence"));
    EXPECT_FALSE(dialog.inputCountSpin.get_visible());
    EXPECT_FALSE(dialog.inputsLabel.get_visible());
    EXPECT_EQ(dialog.inputCount, 0);
    EXPECT_TRUE(visibleInputs(dialog).empty());
    EXPECT_EQ(shownMethod(dialog), "geofence");

    // Back from no inputs: one row, and the spin says so.
    ASSERT_TRUE(dialog.selectMethod("lookuptable"));
    EXPECT_EQ(visibleInputs(dialog), std::vector<int>{1});
    EXPECT_EQ(dialog.inputCountSpin.get_value_as_int(), 1);
    EXPECT_FALSE(dialog.selectMethod("sum"));
    EXPECT_EQ(dialog.methodCombo.get_active_text(), "lookuptable");
}

TEST(VirtSignDialog, CommonOptionsExpandWithoutTheAveragingWindowWhenThereIsNoStep)
{
    VirtSignDialog dialog;
    dialog.show(); // the averaging window's row is settled when the dialog is fitted
    pump();
    const std::vector<std::string> all = {"fact",    "offs",      "minLim", "maxLim",    "absInput",     "absOutput",
                                          "avgWindow", "comment", "hidden", "fillEmpty", "valWhenEmpty", "pauseIfZero"};
    std::vector<std::string> withoutWindow = all;
    withoutWindow.erase(withoutWindow.begin() + 6);

    dialog.selectMethod("integrate");
    dialog.toggleCommonOptions();
    EXPECT_FALSE(dialog.commonHidden);
    EXPECT_EQ(dialog.commonToggleLabel.get_text(), "Hide common options");
    EXPECT_FALSE(dialog.arrowDown.get_visible());
    EXPECT_TRUE(dialog.arrowUp.get_visible());
    EXPECT_EQ(visibleCommonKeys(dialog), withoutWindow);
    EXPECT_FALSE(dialog.avgWindowRow->getLabel()->get_visible());

    dialog.selectMethod("average");
    EXPECT_EQ(visibleCommonKeys(dialog), all);

    dialog.toggleCommonOptions();
    EXPECT_TRUE(visibleCommonKeys(dialog).empty());
    EXPECT_EQ(dialog.commonToggleLabel.get_text(), "Show common options");
    EXPECT_TRUE(dialog.arrowDown.get_visible());
    EXPECT_FALSE(dialog.arrowUp.get_visible());
    dialog.hide();
}

TEST(VirtSignDialog, HelpPagesFollowTheChosenMethod)
{
    VirtSignDialog dialog;
    dialog.docDir = "/opt/tarnwick/share/doc/tarnwick";
    dialog.selectMethod("IIR");
    EXPECT_EQ(dialog.helpUri("method"), "file:///opt/tarnwick/share/doc/tarnwick/help/method_iir/index.html");
    EXPECT_EQ(dialog.helpUri("common"),
              "file:///opt/tarnwick/share/doc/tarnwick/help/method_common_options/index.html");
}

TEST(VirtSignDialog, HeightFitsTheGridUpToNineTenthsOfTheWorkArea)
{
    VirtSignDialog dialog;
    dialog.fitToWorkArea(400); // not realised: nothing happens, nothing breaks
    dialog.show();
    pump();
    Gdk::Rectangle area;
    dialog.get_display()->get_monitor_at_window(dialog.get_window())->get_workarea(area);
    const int limit = area.get_height() * 9 / 10;

    // The size arrives through the X server: wait for it.
    int width = 0, height = 0;
    auto sizeReaches = [&](const std::function<bool()>& done) {
        return test::pumpUntil([&] {
            dialog.get_size(width, height);
            return done();
        }, 3000);
    };
    dialog.inputCountSpin.set_value(50);
    dialog.toggleCommonOptions();
    dialog.fitToWorkArea(400);
    EXPECT_TRUE(sizeReaches([&] { return width == 400 && height == limit; }))
        << width << "x" << height << ", limit " << limit;

    dialog.selectMethod("derive");
    dialog.toggleCommonOptions();
    dialog.fitToWorkArea(400);
    int minimum = 0, natural = 0;
    dialog.grid.get_preferred_height(minimum, natural);
    // Short enough to show the whole grid, no taller than that needs.
    EXPECT_TRUE(sizeReaches([&] { return height < limit && height >= natural; }))
        << height << ", grid " << natural << ", limit " << limit;
    dialog.hide();
}

TEST(VirtSignDialog, CompletionOffersListedSignalsOfCanLoggerAndVirtualInterfaces)
{
    Store& store = Store::instance();
    std::shared_ptr<Signal> edited;
    auto add = [&](u32 number, const char* ifaceName, const char* msgName,
                   std::vector<std::pair<const char*, bool>> signals) {
        auto iface = CanIface::create(ifaceName, number);
        auto msg = std::make_shared<Message>(1, msgName, iface);
        for (auto [name, internal] : signals) {
            auto signal = std::make_shared<Signal>(msg, name);
            signal->internal = internal;
            msg->addSignal(name, signal);
            if (std::string(name) == "edited")
                edited = signal;
        }
        iface->addMessage(msg);
        store.interfaces[number] = iface;
    };
    add(1024, "Virt", "Calc", {{"speed", false}, {"edited", false}, {"inner", true}});
    add(0, "CAN0", "MsgA", {{"Signal0", false}, {"Rate", true}, {"Signal1", false}});
    add(255, "ST_Logger", "MsgRate", {{"Temp", false}});
    add(0x10000, "CAN0_stat", "Error", {{"busOff", false}});

    VirtSignDialog dialog;
    dialog.editedSignal = edited;
    dialog.buildSignalListModel();
    std::vector<std::string> names;
    for (const auto& row : dialog.signalListModel->children())
        names.push_back(Glib::ustring(row[sigListModCols().name]));
    EXPECT_EQ(names, (std::vector<std::string>{"CAN0.MsgA.Signal0", "CAN0.MsgA.Signal1", "ST_Logger.MsgRate.Temp",
                                               "Virt.Calc.speed"}));
    EXPECT_EQ(dialog.signalRows[49]->completion->get_model(), Glib::RefPtr<Gtk::TreeModel>(dialog.signalListModel));
    auto* integrate = dynamic_cast<MethodIntegrate*>(dialog.methods["integrate"]);
    EXPECT_EQ(integrate->resetSig.completion->get_model(), Glib::RefPtr<Gtk::TreeModel>(dialog.signalListModel));

    for (auto& [number, iface] : store.interfaces)
        iface->clear();
    store.interfaces.clear();
}

// Ctrl+S saves, with or without Shift; a plain S is typing.
TEST(VirtSignDialog, ControlSSaves)
{
    VirtSignDialog dialog;
    dialog.show();
    pump();
    dialog.nameRow.grab_focus();
    auto press = [&](guint keyval, guint state) {
        GdkEvent* event = gdk_event_new(GDK_KEY_PRESS);
        event->key.window = GDK_WINDOW(g_object_ref(dialog.get_window()->gobj()));
        event->key.keyval = keyval;
        event->key.state = state;
        event->key.send_event = TRUE;
        gdk_event_set_device(event, gdk_seat_get_keyboard(gdk_display_get_default_seat(gdk_display_get_default())));
        gtk_widget_event(GTK_WIDGET(dialog.gobj()), event);
        gdk_event_free(event);
    };
    // With an empty name every save ends at the name check, with its warning.
    const std::string refusal = "Signal name must have form <msgName>.<signalName>";
    test::drainLog();
    press(GDK_KEY_s, GDK_CONTROL_MASK);
    EXPECT_EQ(test::drainLog(), std::vector<std::string>{refusal});
    press(GDK_KEY_S, GDK_CONTROL_MASK | GDK_SHIFT_MASK);
    EXPECT_EQ(test::drainLog(), std::vector<std::string>{refusal});
    press(GDK_KEY_s, 0);
    EXPECT_TRUE(test::drainLog().empty());
    EXPECT_EQ(dialog.nameRow.get_text(), "s");
    dialog.hide();
}

} // namespace
} // namespace vistra
