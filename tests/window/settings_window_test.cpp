// The preferences window: what each row keeps of the typed text, what reaches the
// settings file, and the "Changes saved" notice.
#include "core/settings.h"
#include "store/store.h"
#include "test_helpers.h"
#include "views/dialog_runner.h"
#include "window/menu_icon_item.h"
#include "window/settings_window.h"
#include "window/window.h"

#include <gdk/gdkkeysyms.h>
#include <glibmm/keyfile.h>
#include <gtest/gtest.h>

#include <gtkmm/dialog.h>

#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

namespace vistra::test {
namespace {

class SettingsWindowTest : public testing::Test {
protected:
    SettingsWindowTest()
    {
        setDialogRunner([](Gtk::Dialog&) { return int(Gtk::RESPONSE_CANCEL); });
        storeStartValues();
    }
    ~SettingsWindowTest() override
    {
        setDialogRunner(nullptr);
        drainLog();
    }

    static void storeStartValues()
    {
        Settings& s = *Settings::instance();
        s.setBitrateInterval(250);
        s.setDefaultEditor("/bin/sh");
        s.setFontSize(10);
        s.setRulerTransparency(0.5);
        s.setLineWidth(2.0);
        s.setRulerTxtTransparency(1.0);
        s.setRulerTxtBackgroundTransparency(0.5);
        s.setListFont("10.0");
        drainLog();
    }

    static SettingRow& row(SettingsWindow& window, const std::string& label)
    {
        for (auto* rows : {&window.generalRows, &window.plotRows, &window.listRows})
            for (auto& r : *rows)
                if (r->nameLabel.get_text() == label + ": ")
                    return *r;
        throw std::runtime_error("no row " + label);
    }

    // The value of a key of group "global", as the settings file holds it now.
    static std::string stored(const char* key)
    {
        Glib::KeyFile file;
        file.load_from_file(Settings::instance()->settingsPath);
        return file.get_value("global", key).raw();
    }

    static void pressKey(Gtk::Window& window, guint keyval)
    {
        gtk_widget_realize(GTK_WIDGET(window.gobj()));
        GdkEventKey key{};
        key.type = GDK_KEY_PRESS;
        key.window = window.get_window()->gobj();
        key.send_event = true;
        key.keyval = keyval;
        gboolean handled = false;
        g_signal_emit_by_name(window.gobj(), "key-press-event", &key, &handled);
    }
};

// Each row with accepted, unconvertible, non-finite and out-of-range text: what the row
// shows after the save and what the file holds. Refused text leaves the stored value.
TEST_F(SettingsWindowTest, RowsStoreAcceptedValuesAndRefuseTheRest)
{
    struct Case {
        const char* label;
        const char* key;
        const char* typed;
        const char* shown;
        const char* inFile; // compared as numbers when the row shows a number
        const char* logged = "";
    };
    const Case cases[] = {
        {"Bitrate interval", "bitrate_interval", "500", "500", "500"},
        {"Bitrate interval", "bitrate_interval", "12abc", "12", "12"},
        {"Bitrate interval", "bitrate_interval", "abc", "250", "250"},
        {"Bitrate interval", "bitrate_interval", "-5", "250", "250"},
        {"Bitrate interval", "bitrate_interval", "0", "250", "250"},
        {"Bitrate interval", "bitrate_interval", "3000000000", "250", "250"},
        {"Text editor", "default_editor", "/bin/true", "/bin/true", "/bin/true"},
        {"Text editor", "default_editor", "/etc/passwd", "/bin/sh", "/bin/sh",
         "/etc/passwd is not an executable"},
        {"Ruler font size", "font_size", "14", "14", "14"},
        {"Ruler font size", "font_size", "0", "10", "10"},
        {"Ruler font size", "font_size", "101", "10", "10"},
        {"Ruler font size", "font_size", "inf", "10", "10"},
        {"Ruler transparency", "ruler_transparancy", "0.25", "0.250000", "0.25"},
        {"Ruler transparency", "ruler_transparancy", "nan", "0.500000", "0.5"},
        {"Ruler transparency", "ruler_transparancy", "1.5", "0.500000", "0.5"},
        {"Ruler transparency", "ruler_transparancy", "-0.1", "0.500000", "0.5"},
        {"Line width", "line_width", "3", "3.000000", "3"},
        {"Line width", "line_width", "x", "2.000000", "2"},
        {"Line width", "line_width", "0", "2.000000", "2"},
        {"Line width", "line_width", "inf", "2.000000", "2"},
        {"Line width", "line_width", "nan", "2.000000", "2"},
        {"Line width", "line_width", "1e308", "2.000000", "2"},
        {"Line width", "line_width", "1e400", "2.000000", "2"},
        {"Ruler Text Transparency", "ruler_txt_transparency", "0", "0.000000", "0"},
        {"Ruler Text Transparency", "ruler_txt_transparency", "2", "1.000000", "1"},
        {"Ruler Txt Background transp", "ruler_txt_background_transparency", "1", "1.000000", "1"},
        {"Ruler Txt Background transp", "ruler_txt_background_transparency", "-inf", "0.500000", "0.5"},
        {"Font size", "list_font", "12", "12", "12"},
        {"Font size", "list_font", "Sans Bold 11.5", "Sans Bold 11.5", "Sans Bold 11.5"},
        {"Font size", "list_font", "big", "10.0", "10.0"},
        {"Font size", "list_font", "nan", "10.0", "10.0"},
        {"Font size", "list_font", "0", "10.0", "10.0"},
        {"Font size", "list_font", "1e9", "10.0", "10.0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.label) + " <- " + c.typed);
        storeStartValues();
        SettingsWindow window;
        SettingRow& r = row(window, c.label);
        r.entry.set_text(c.typed);
        window.saveSettings();
        EXPECT_EQ(r.entry.get_text(), c.shown);
        const std::string inFile = stored(c.key);
        if (std::isdigit(static_cast<unsigned char>(c.shown[0])) && std::string(c.key) != "list_font")
            EXPECT_DOUBLE_EQ(std::stod(inFile), std::stod(c.inFile));
        else
            EXPECT_EQ(inFile, c.inFile);
        const auto log = drainLog();
        if (*c.logged)
            EXPECT_EQ(log, std::vector<std::string>{c.logged});
        else
            EXPECT_TRUE(log.empty()) << log.front();
        EXPECT_EQ(window.statusLabel.get_text(), "Changes saved");
    }
}

// A failed write is reported and the notice does not claim it; an earlier notice goes.
TEST_F(SettingsWindowTest, FailedSaveIsReportedAndNotShownAsSaved)
{
    SettingsWindow window;
    window.saveSettings();
    ASSERT_EQ(window.statusLabel.get_text(), "Changes saved");

    // A folder where the file belongs: the write fails for root too.
    const std::string path = Settings::instance()->settingsPath;
    const std::string kept = readFileText(path);
    std::filesystem::remove(path);
    std::filesystem::create_directory(path);
    row(window, "Line width").entry.set_text("4");
    window.saveSettings();
    EXPECT_EQ(window.statusLabel.get_text(), "");
    const auto log = drainLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].rfind("Couldn't save settings: ", 0), 0u) << log[0];
    EXPECT_GT(log[0].size(), std::string("Couldn't save settings: ").size());
    // The value is in use all the same, and written by the next save that works.
    EXPECT_EQ(Settings::instance()->getLineWidth(), 4.0);

    std::filesystem::remove(path);
    std::ofstream(path) << kept;
    window.saveSettings();
    EXPECT_EQ(window.statusLabel.get_text(), "Changes saved");
    EXPECT_DOUBLE_EQ(std::stod(stored("line_width")), 4.0);
}

// A chosen colour is stored, saved and announced without "Save changes".
TEST_F(SettingsWindowTest, ColourTakesEffectAtOnce)
{
    SettingsWindow window;
    int settingsChanged = 0;
    int dataChanged = 0;
    Store& store = Store::instance();
    sigc::connection a = store.settingsChanged.connect([&] { ++settingsChanged; });
    sigc::connection b = store.dataChanged.connect([&] { ++dataChanged; });
    auto& colour = static_cast<SettingRowColor&>(row(window, "Background Color"));
    colour.colorButton.set_rgba(Gdk::RGBA("#102030"));
    g_signal_emit_by_name(colour.colorButton.gobj(), "color-set");
    EXPECT_EQ(stored("bg_color"), "#101020203030");
    EXPECT_TRUE(pumpUntil([&] { return settingsChanged > 0 && dataChanged > 0; }));
    EXPECT_EQ(window.statusLabel.get_text(), "");
    a.disconnect();
    b.disconnect();
}

// Enter saves; the notice goes 3 s after the first of two saves made 2 s apart.
TEST_F(SettingsWindowTest, EnterSavesAndTheNoticeLastsThreeSeconds)
{
    SettingsWindow window;
    row(window, "Ruler font size").entry.set_text("12");
    pressKey(window, GDK_KEY_KP_Enter);
    EXPECT_EQ(stored("font_size"), "12");
    EXPECT_EQ(window.statusLabel.get_text(), "Changes saved");
    const auto start = std::chrono::steady_clock::now();
    pumpUntil([] { return false; }, 2000);
    pressKey(window, GDK_KEY_Return);
    EXPECT_TRUE(pumpUntil([&] { return window.statusLabel.get_text().empty(); }, 2000));
    const auto shown = std::chrono::steady_clock::now() - start;
    EXPECT_GE(shown, std::chrono::milliseconds(2900));
    EXPECT_LT(shown, std::chrono::milliseconds(3900));
}

TEST_F(SettingsWindowTest, MenuItemOpensTheWindow)
{
    Window& main = Window::instance();
    for (Gtk::Widget* top : main.menuBar.get_children()) {
        auto* topItem = static_cast<Gtk::MenuItem*>(top);
        if (topItem->get_label() != "_Window")
            continue;
        for (Gtk::Widget* child : topItem->get_submenu()->get_children())
            if (auto* item = dynamic_cast<MenuIconItem*>(child); item && item->label.get_label() == "_Preferences") {
                EXPECT_TRUE(item->get_sensitive());
                item->activate();
            }
    }
    SettingsWindow& prefs = main.settingsWindow;
    EXPECT_TRUE(prefs.get_visible());
    EXPECT_EQ(prefs.get_title(), "Preferences");

    // Closed by the user, it comes back with what was typed.
    row(prefs, "Line width").entry.set_text("7");
    ASSERT_TRUE(pumpUntil([&] { return prefs.get_window() && prefs.get_window()->is_viewable(); }));
    GdkEvent* close = gdk_event_new(GDK_DELETE);
    close->any.window = GDK_WINDOW(g_object_ref(prefs.get_window()->gobj()));
    gtk_main_do_event(close);
    gdk_event_free(close);
    EXPECT_FALSE(prefs.get_visible());
    main.openPreferences();
    EXPECT_TRUE(prefs.get_visible());
    EXPECT_EQ(row(prefs, "Line width").entry.get_text(), "7");
    prefs.hide();
}

} // namespace
} // namespace vistra::test
