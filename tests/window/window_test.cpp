#include "window/window.h"

#include "core/settings.h"
#include "gui_fixture.h"
#include "window/message_dialogs.h"

#include <gtkmm/dialog.h>
#include <gtkmm/messagedialog.h>

namespace vistra::test {
namespace {

class WindowTest : public StoreFixture {
protected:
    WindowTest()
    {
        Settings::instance()->setVsdFile("./dummy");
        Settings::instance()->setDbFile(dbcPath);
        setDialogRunner([this](Gtk::Dialog& dialog) {
            Glib::ustring text = dialog.get_title();
            if (auto* message = dynamic_cast<Gtk::MessageDialog*>(&dialog))
                text = message->property_text().get_value() + ": " + message->property_secondary_text().get_value();
            dialogs.push_back(text.raw());
            return int(Gtk::RESPONSE_CANCEL);
        });
        // The window outlives every test: its signal must not call into a finished one.
        reloadedConnection = window.reloaded.connect([this] { ++reloads; });
        window.searchEntry.set_text("");
        window.notebook.set_current_page(0);
    }
    ~WindowTest() override
    {
        reloadedConnection.disconnect();
        setDialogRunner(nullptr);
        store.guiRunning = false;
        window.searchEntry.set_text("");
        Settings::instance()->setDbFile("./dummy");
    }

    static std::vector<std::string> topRows(LogList& list)
    {
        std::vector<std::string> out;
        for (const Gtk::TreeRow& row : list.get_model()->children())
            out.push_back(row.get_value(listColumns().name).raw());
        return out;
    }

    void pressKey(GdkEventKey& key)
    {
        gtk_widget_realize(GTK_WIDGET(window.searchEntry.gobj()));
        key.window = window.searchEntry.get_window()->gobj();
        key.send_event = true;
        gboolean handled = false;
        g_signal_emit_by_name(window.searchEntry.gobj(), "key-press-event", &key, &handled);
    }

    Window& window = Window::instance();
    std::vector<std::string> dialogs;
    int reloads = 0;
    sigc::connection reloadedConnection;
};

TEST_F(WindowTest, ReloadRebuildsBothListsAndKeepsMarkedSignals)
{
    window.reload(true);
    pumpUntil([this] { return reloads > 0; }, 2000);
    EXPECT_EQ(reloads, 1);
    EXPECT_EQ(topRows(window.dataList), (std::vector<std::string>{"Can", "Logger"}));
    EXPECT_EQ(topRows(window.statList), (std::vector<std::string>{"ST_Can", "ST_Logger"}));

    sig("Can.motor.rpm").setEnabled(true);
    window.dataList.refreshActiveMarks();
    window.reload(true);
    EXPECT_EQ(enabledSignals(), std::vector<std::string>{"Can.motor.rpm"});
    EXPECT_EQ(store.progress, 0); // selected but not loaded: reload starts no parse
    EXPECT_FALSE(store.parsing);
    EXPECT_TRUE(dialogs.empty());
}

TEST_F(WindowTest, ReloadReadsTheVsdFile)
{
    Settings::instance()->setVsdFile(TARNWICK_SOURCE_DIR "/examples/drive.vsd");
    window.reload(true);
    Settings::instance()->setVsdFile("./dummy");
    EXPECT_EQ(topRows(window.dataList), (std::vector<std::string>{"Can", "Logger", "Virt"}));
    EXPECT_EQ(store.findSignal("Virt.Dynamics.SpeedMs")->name, "SpeedMs");
    EXPECT_TRUE(dialogs.empty());
}

TEST_F(WindowTest, FailedLoadStillLeavesUsableListsAndShowsTheErrors)
{
    std::ofstream(dir + "/bad.dbc") << "BO_ 100 A: 8 X\n SG_ s : 0|8@1+ (1,0) [0|1] \"\" X\nBO_ 100 B: 8 X\n";
    Settings::instance()->setDbFile(dir + "/bad.dbc");
    testing::internal::CaptureStderr();
    window.reload(true);
    testing::internal::GetCapturedStderr();
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0], "Errors and warnings");
    EXPECT_EQ(topRows(window.dataList).back(), "Logger");
    window.dataList.refreshActiveMarks(); // the rows match the model

    dialogs.clear();
    Settings::instance()->setDbFile("./dummy");
    testing::internal::CaptureStderr();
    window.reload(true);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Could not reload, please select VSD/DBC file"),
              std::string::npos);
    EXPECT_TRUE(dialogs.empty()); // information alone opens no dialog
    EXPECT_EQ(topRows(window.dataList), std::vector<std::string>{"Logger"});
}

TEST_F(WindowTest, SearchFiltersTheShownPageAndEnterTogglesItOnly)
{
    window.reload(true);
    window.searchEntry.set_text("speed");
    EXPECT_EQ(window.dataList.get_model(), Glib::RefPtr<Gtk::TreeModel>(window.dataList.filter));
    window.notebook.set_current_page(1); // the other list takes the same filter
    EXPECT_EQ(window.statList.get_model(), Glib::RefPtr<Gtk::TreeModel>(window.statList.filter));
    window.notebook.set_current_page(0);

    GdkEventKey enter{};
    enter.type = GDK_KEY_PRESS;
    enter.keyval = 0xff0d;
    pressKey(enter);
    std::vector<std::string> expected;
    store.forEachSignal([&expected](Signal& s) {
        if (s.fullName.raw().rfind("Can.", 0) == 0 || s.fullName.raw().rfind("Logger.", 0) == 0)
            if (s.name.lowercase().find("speed") != Glib::ustring::npos && !s.internal && !s.hidden)
                expected.push_back(s.fullName.raw());
    });
    std::sort(expected.begin(), expected.end());
    EXPECT_FALSE(expected.empty());
    EXPECT_EQ(enabledSignals(), expected);

    store.deselectAllSignals();
    window.searchEntry.set_text("");
    pressKey(enter);
    EXPECT_TRUE(enabledSignals().empty());
}

TEST_F(WindowTest, UpdateSignalsRefusesInOrder)
{
    window.reload(true);
    struct Case {
        bool live;
        bool files;
        bool selected;
        bool dump;
        const char* info; // null: a parse is requested
    };
    const Case cases[] = {
        {true, true, true, false, ""},
        {false, false, true, true, "No log files selected"},
        {false, true, false, true, "Select at least one signal"},
        {false, true, true, true, "Wait for dump to finish"},
        {false, true, true, false, nullptr},
    };
    for (const Case& c : cases) {
        store.live = c.live;
        store.logFileList.clear();
        if (c.files)
            store.logFileList.push_back("/nowhere/drive.log");
        store.deselectAllSignals();
        if (c.selected)
            sig("Can.motor.rpm").setEnabled(true);
        store.dumpPending = c.dump;
        store.parsing = false;
        drainLog();
        testing::internal::CaptureStderr();
        window.updateSignals();
        testing::internal::GetCapturedStderr();
        const std::vector<std::string> log = drainLog();
        if (c.info) {
            EXPECT_EQ(log, c.info[0] ? std::vector<std::string>{c.info} : std::vector<std::string>{});
            EXPECT_FALSE(store.parsing);
        } else {
            EXPECT_TRUE(store.parsing);
        }
    }
    store.live = false;
    store.logFileList.clear();
}

// The editor knows nothing of the window: the window tells it where the help pages are,
// what they open over and whom to ask for a reload after a save.
TEST_F(WindowTest, TellsTheEditorWhatItNeedsOfTheWindow)
{
    VirtSignDialog& editor = window.virtSignDialog;
    EXPECT_EQ(editor.helpUri("common"), "file://" + Window::docDir() + "/help/method_common_options/index.html");
    EXPECT_EQ(editor.helpParent, &window);
    EXPECT_TRUE(editor.reloadAndSelect);
}

TEST_F(WindowTest, ProgressBarFollowsTheStore)
{
    for (u8 progress : {u8(0), u8(51), u8(255)}) {
        store.progress = progress;
        window.onParseProgress();
        EXPECT_DOUBLE_EQ(window.progressBar.get_fraction(), progress / 255.0);
    }
}

TEST_F(WindowTest, FileChooserRefusedWhileBusy)
{
    store.parsing = true;
    Gtk::FileChooserDialog chooser("Select log files");
    testing::internal::CaptureStderr();
    EXPECT_EQ(window.makeFileChooser(chooser, "Log files", "*.lz4", ""), 1);
    testing::internal::GetCapturedStderr();
    EXPECT_TRUE(dialogs.empty());
    EXPECT_EQ(drainLog(), std::vector<std::string>{"Wait for parse to complete"});
}

TEST_F(WindowTest, MessageTickWaitsForTheGuiThenShowsEachEntry)
{
    drainLog();
    MessageLog::instance().add(Level::Warning, "before the window");
    window.onMessageTick();
    EXPECT_TRUE(dialogs.empty());

    store.guiRunning = true;
    window.onMessageTick(); // the start-up flush: one combined dialog
    MessageLog::instance().add(Level::Info, "one");
    MessageLog::instance().add(Level::Error, "two <b>");
    window.onMessageTick();
    EXPECT_EQ(dialogs, (std::vector<std::string>{"Errors and warnings", "Information: one", "Error: two <b>"}));
}

TEST_F(WindowTest, KeysHoldTheClickModesAndRunTheirActions)
{
    window.show(); // key presses reach only a viewable window
    ASSERT_TRUE(pumpUntil([&] { return window.get_window() && window.get_window()->is_viewable(); }));
    pumpUntil([] { return false; }, 50); // notices of earlier tests' reloads
    reloads = 0;
    auto send = [&](GdkEventType type, guint keyval, guint state = 0) {
        GdkEvent* e = gdk_event_new(type);
        e->key.window = GDK_WINDOW(g_object_ref(window.get_window()->gobj()));
        e->key.send_event = true;
        e->key.keyval = keyval;
        e->key.state = state;
        gdk_event_set_device(e, gdk_seat_get_keyboard(gdk_display_get_default_seat(gdk_display_get_default())));
        const bool handled = gtk_widget_event(GTK_WIDGET(window.gobj()), e);
        gdk_event_free(e);
        return handled;
    };
    SubPlot& plot = window.plot;
    send(GDK_KEY_PRESS, GDK_KEY_c);
    EXPECT_TRUE(plot.colorMode);
    send(GDK_KEY_RELEASE, GDK_KEY_C, GDK_SHIFT_MASK); // released with any modifiers
    EXPECT_FALSE(plot.colorMode);
    send(GDK_KEY_PRESS, GDK_KEY_S, GDK_SHIFT_MASK);
    EXPECT_FALSE(plot.statsMode);
    send(GDK_KEY_PRESS, GDK_KEY_h);
    send(GDK_KEY_PRESS, GDK_KEY_f);
    send(GDK_KEY_PRESS, GDK_KEY_s);
    EXPECT_TRUE(plot.hideMode && plot.findMode && plot.statsMode);
    GdkEvent* out = gdk_event_new(GDK_FOCUS_CHANGE);
    out->focus_change.window = GDK_WINDOW(g_object_ref(window.get_window()->gobj()));
    out->focus_change.in = false;
    gtk_widget_event(GTK_WIDGET(window.gobj()), out);
    gdk_event_free(out);
    EXPECT_FALSE(plot.hideMode || plot.findMode || plot.statsMode); // leaving the window ends them

    EXPECT_TRUE(send(GDK_KEY_PRESS, GDK_KEY_F12));
    EXPECT_FALSE(window.listPane.get_visible());
    EXPECT_TRUE(send(GDK_KEY_PRESS, GDK_KEY_F12, GDK_CONTROL_MASK));
    EXPECT_TRUE(window.listPane.get_visible());
    EXPECT_TRUE(send(GDK_KEY_PRESS, GDK_KEY_f, GDK_CONTROL_MASK));
    EXPECT_TRUE(window.searchEntry.is_focus());

    store.logFileList.clear();
    drainLog();
    EXPECT_TRUE(send(GDK_KEY_PRESS, GDK_KEY_F5));
    store.parsing = true; // Ctrl+R while busy: no reload
    EXPECT_TRUE(send(GDK_KEY_PRESS, GDK_KEY_R, GDK_CONTROL_MASK | GDK_SHIFT_MASK));
    store.parsing = false;
    EXPECT_EQ(drainLog(), (std::vector<std::string>{"No log files selected", "Wait for parse to complete"}));
    pumpUntil([] { return false; }, 50);
    EXPECT_EQ(reloads, 0);
    EXPECT_TRUE(send(GDK_KEY_PRESS, GDK_KEY_r, GDK_CONTROL_MASK));
    pumpUntil([&] { return reloads == 1; }, 2000);
    EXPECT_EQ(reloads, 1);
    window.hide();
}

// Runs last in this program: the window closes.
TEST_F(WindowTest, ZClosesOnNewDataInTextMode)
{
    window.show();
    store.textMode = false;
    store.dataChanged.emit();
    pumpUntil([] { return false; }, 50);
    EXPECT_TRUE(window.get_visible());
    store.textMode = true;
    store.dataChanged.emit();
    EXPECT_TRUE(pumpUntil([this] { return !window.get_visible(); }, 2000));
}

} // namespace
} // namespace vistra::test
