// The main window's menu bar, its popup menus and the commands behind their items.
#include "core/settings.h"
#include "gui_fixture.h"
#include "window/menu_icon_item.h"
#include "window/menu_rules.h"
#include "window/message_dialogs.h"
#include "window/window.h"

#include <gdk/gdkkeysyms.h>
#include <glibmm/fileutils.h>
#include <gtkmm/clipboard.h>
#include <gtkmm/dialog.h>
#include <gtkmm/separatormenuitem.h>

#include <sys/stat.h>

namespace vistra::test {
namespace {

class MenuTest : public StoreFixture {
protected:
    MenuTest()
    {
        Settings::instance()->setVsdFile("./dummy");
        Settings::instance()->setDbFile(dbcPath);
        setDialogRunner([](Gtk::Dialog&) { return int(Gtk::RESPONSE_CANCEL); });
        window.searchEntry.set_text("");
        window.notebook.set_current_page(0);
    }
    ~MenuTest() override
    {
        setDialogRunner(nullptr);
        store.live = false;
        store.legacyGps = false;
        store.multiCanHeader = false;
        Settings::instance()->setVsdFile("./dummy");
        Settings::instance()->setDbFile("./dummy");
    }

    // Loads the example VSD file: real, virtual and statistics signals.
    void loadExample()
    {
        Settings::instance()->setVsdFile(TARNWICK_SOURCE_DIR "/examples/drive.vsd");
        window.reload(true);
        drainLog();
    }

    // The item of a top-level menu by its label.
    MenuIconItem& menuItem(const char* menu, const char* label)
    {
        for (Gtk::Widget* top : window.menuBar.get_children()) {
            auto* topItem = static_cast<Gtk::MenuItem*>(top);
            if (topItem->get_label() != menu)
                continue;
            for (Gtk::Widget* child : topItem->get_submenu()->get_children())
                if (auto* item = dynamic_cast<MenuIconItem*>(child); item && item->label.get_label() == label)
                    return *item;
        }
        throw std::runtime_error(std::string("no menu item ") + label);
    }

    // The shown items of a popup menu, top to bottom: the labels, "-" for a separator.
    static std::vector<std::string> shownItems(Gtk::Menu& menu)
    {
        std::vector<std::string> out;
        for (Gtk::Widget* child : menu.get_children()) {
            if (!child->get_visible())
                continue;
            if (auto* item = dynamic_cast<MenuIconItem*>(child))
                out.push_back(item->label.get_text().raw());
            else
                out.push_back("-");
        }
        return out;
    }

    Window& window = Window::instance();
};

// The shown accelerator as the user reads it; plain keys carry the release modifier.
std::string accelText(MenuIconItem& item)
{
    guint key = 0;
    Gdk::ModifierType mods{};
    item.label.get_accel(key, mods);
    if (!key)
        return "";
    std::string text;
    if ((mods & Gdk::CONTROL_MASK) == Gdk::CONTROL_MASK)
        text += "Ctrl+";
    if ((mods & Gdk::MOD1_MASK) == Gdk::MOD1_MASK)
        text += "Alt+";
    if (text.empty() && (mods & Gdk::RELEASE_MASK) != Gdk::RELEASE_MASK)
        text += "?+"; // a plain key without its display modifier
    return text + gdk_keyval_name(gdk_keyval_to_upper(key));
}

TEST_F(MenuTest, MenuBarHoldsEveryItemInOrder)
{
    struct Row {
        const char* menu;
        const char* label; // nullptr: separator
        bool mnemonic;
        const char* icon;
        const char* accel;
        const char* tooltip;
    };
    const Row rows[] = {
        {"_File", "Load _VSD file", true, "document-open", "Ctrl+L", ""},
        {"_File", "New VSD file", true, "document-new", "", ""},
        {"_File", "Load DB_C file", true, "text-x-generic", "", ""},
        {"_File", nullptr, false, "", "", ""},
        {"_File", "_Reload VSD/DBC file", true, "view-refresh", "Ctrl+R", "Reload current VSD or DBC file."},
        {"_File", "_Edit loaded VSD/DBC", true, "document-properties", "", ""},
        {"_File", nullptr, false, "", "", ""},
        {"_File", "_Open _log file(s)", true, "emblem-documents", "Ctrl+O", "Open a selection of log files."},
        {"_File", "Open log _directory", true, "folder-open", "Ctrl+D", "Open an entire directory with log files."},
        {"_File", "Open _live connection", true, "network-wireless", "Ctrl+N", "Connect to logger and view live data"},
        {"_File", nullptr, false, "", "", ""},
        {"_File", "E_xit", true, "application-exit", "Alt+F4", ""},
        {"_View", "_Update signals", true, "view-refresh", "F5", ""},
        {"_View", nullptr, false, "", "", ""},
        {"_View", "Toggle _full screen", true, "view-fullscreen", "F11", ""},
        {"_View", "Show/_hide signal list", true, "zoom-out", "F12", ""},
        {"_View", nullptr, false, "", "", ""},
        {"_View", "_Split/unsplit signals", true, "object-flip-vertical", "",
         "Toggle between plotting signals on separate rows or plotting all signals together"},
        {"_View", "Toggle _time format", true, "document-open-recent", "T", "Toggle how time is shown on ruler"},
        {"_View", "Toggle delta _value", true, "applications-engineering", "D",
         "Toggle how values are shown on secondary ruler"},
        {"_View", "_Delete rulers", true, "edit-delete", "Escape", ""},
        {"_View", nullptr, false, "", "", ""},
        {"_View", "Cro_p", true, "zoom-fit-best", "Alt+Z", ""},
        {"_View", "_Uncrop", true, "zoom-original", "Alt+X", ""},
        {"_GPS", "Export GPS data", false, "emblem-web", "", "Export GPS track to GPX-file"},
        {"_GPS", "Plot GPS track (beta)", false, "", "", "Show GPS track as a plot in a separate window"},
        {"Signal _list", "_Find signal", true, "edit-find", "Ctrl+F", "Find signals by filtering the signal list"},
        {"Signal _list", nullptr, false, "", "", ""},
        {"Signal _list", "_Collapse all", true, "zoom-out", "", "Collapse all CAN interfaces"},
        {"Signal _list", "Expand _selected", true, "list-add", "", "Expand all messages having selected signals"},
        {"Signal _list", "Expand _all", true, "zoom-in", "", "Expand all signals for all messages"},
        {"Signal _list", "_Uncheck all", true, "edit-clear", "", "Uncheck all signals"},
        {"Signal _list", nullptr, false, "", "", ""},
        {"Signal _list", "_Store selected signals", true, "bookmark-new", "Alt+S",
         "Store currently selected signals in memory"},
        {"Signal _list", "_Restore selected signals", true, "", "Alt+R", "Restore selected signals from memory"},
        {"Signal _list", nullptr, false, "", "", ""},
        {"Signal _list", "Store signals _to file", true, "starred", "", "Store selected signals to file"},
        {"Signal _list", "Restore signals fr_om file", true, "user-bookmarks", "", "Restore selected signals from file"},
        {"_Tools", "_Copy signals (Ctrl-C)", true, "edit-copy", "Ctrl+C", "Copy signals in selected interval to clipboard"},
        {"_Tools", "Export as _ASC", true, "document-send", "Ctrl+A", "Create ASC file of selected time span."},
        {"_Window", "_Change title", true, "tools-check-spelling", "F2", ""},
        {"_Window", "_Preferences", true, "system-run", "", ""},
        {"_Help", "_Commands and controls (F1)", true, "help-about", "F1", ""},
        {"_Help", "_Open quick guide", true, "help-browser", "", ""},
    };

    std::vector<std::string> menus;
    std::size_t next = 0;
    for (Gtk::Widget* top : window.menuBar.get_children()) {
        auto* topItem = dynamic_cast<Gtk::MenuItem*>(top);
        ASSERT_TRUE(topItem);
        EXPECT_TRUE(topItem->get_use_underline());
        menus.push_back(topItem->get_label().raw());
        ASSERT_TRUE(topItem->get_submenu());
        for (Gtk::Widget* child : topItem->get_submenu()->get_children()) {
            ASSERT_LT(next, std::size(rows)) << "extra item in " << menus.back();
            const Row& row = rows[next++];
            SCOPED_TRACE(std::string(row.menu) + " / " + (row.label ? row.label : "separator"));
            EXPECT_EQ(menus.back(), row.menu);
            if (!row.label) {
                EXPECT_TRUE(dynamic_cast<Gtk::SeparatorMenuItem*>(child));
                continue;
            }
            auto* item = dynamic_cast<MenuIconItem*>(child);
            ASSERT_TRUE(item);
            EXPECT_EQ(item->label.get_label(), row.label);
            EXPECT_EQ(item->label.get_use_underline(), row.mnemonic);
            EXPECT_EQ(item->iconName, row.icon);
            if (!*row.icon) {
                EXPECT_FALSE(item->image);
            }
            EXPECT_EQ(accelText(*item), row.accel);
            EXPECT_EQ(item->get_tooltip_markup(), row.tooltip);
        }
    }
    EXPECT_EQ(next, std::size(rows));
    EXPECT_EQ(menus, (std::vector<std::string>{"_File", "_View", "_GPS", "Signal _list", "_Tools", "_Window", "_Help"}));
}

TEST_F(MenuTest, GpsMenuNeedsATrackAndDataThatCanHoldPositions)
{
    for (int bits = 0; bits < 16; ++bits) {
        const bool track = bits & 1, legacy = bits & 2, live = bits & 4, multiCan = bits & 8;
        EXPECT_EQ(gpsMenuVisible(track, legacy, live, multiCan), track && (legacy || live || multiCan)) << bits;
    }

    // The logger's interface gives every load a track.
    Gtk::Widget& gps = *window.menuBar.get_children()[2];
    window.reload(true);
    EXPECT_TRUE(window.gpsTrack);
    EXPECT_FALSE(gps.get_visible());
    store.multiCanHeader = true;
    window.updateGpsMenu();
    EXPECT_TRUE(gps.get_visible());
    const auto track = window.gpsTrack;
    window.updateGpsMenu();
    EXPECT_EQ(window.gpsTrack, track); // one track per load

    store.clearData(); // no logger interface: no track
    window.updateGpsMenu();
    EXPECT_FALSE(window.gpsTrack);
    EXPECT_FALSE(gps.get_visible());

    window.reload(true);
    store.parsing = true;
    menuItem("_GPS", "Export GPS data").activate();
    store.parsing = false;
    EXPECT_EQ(drainLog(), std::vector<std::string>{"Wait for parse to complete"});
}

TEST_F(MenuTest, PopupMenusShowTheItemsThatFitTheTarget)
{
    loadExample();
    const auto real = store.findSignal("Can.EngineData.EngineSpeed");
    const auto virt = store.findSignal("Virt.Dynamics.SpeedMs");
    const auto stat = store.findSignal("ST_Can.MsgRate.EngineData");
    using Items = std::vector<std::string>;
    const Items plotHead = {"-", "Crop", "Uncrop", "Delete rulers", "-", "Find in list", "Copy name", "Change color",
                            "Histogram"};
    const Items listTail = {"Expand selected", "Expand all", "Collapse all", "Uncheck all"};
    const auto join = [](std::initializer_list<Items> parts) {
        Items out;
        for (const Items& part : parts)
            out.insert(out.end(), part.begin(), part.end());
        return out;
    };

    struct Case {
        const char* name;
        std::function<bool()> open;
        Gtk::Menu& menu;
        Items shown;
        std::shared_ptr<Signal> target;
    };
    const Case cases[] = {
        {"plot, real", [&] { return window.preparePlotMenu(real); }, window.plotMenu,
         join({{"EngineSpeed"}, plotHead, {"Message rate", "Show stats", "Hide signal", "-"}}), real},
        {"plot, virtual", [&] { return window.preparePlotMenu(virt); }, window.plotMenu,
         join({{"SpeedMs"}, plotHead, {"Show stats", "Hide signal", "-", "Edit signal"}}), virt},
        {"plot, statistics", [&] { return window.preparePlotMenu(stat); }, window.plotMenu,
         join({{"EngineData"}, plotHead, {"Show stats", "Hide signal", "-"}}), stat},
        {"signal, real", [&] { return window.prepareSignalMenu(real); }, window.signalMenu,
         join({{"Copy name", "Change color", "Histogram", "Message rate", "Show stats", "-"}, listTail,
               {"-", "Store selected", "Restore selected"}}), real},
        {"signal, virtual", [&] { return window.prepareSignalMenu(virt); }, window.signalMenu,
         join({{"Copy name", "Change color", "Histogram", "Show stats", "-"}, listTail,
               {"-", "Store selected", "Restore selected", "Edit signal"}}), virt},
        {"message, real", [&] { return window.prepareMessageMenu(real); }, window.messageMenu,
         join({{"Message rate", "-"}, listTail, {"-", "Store selected", "Restore selected"}}), real},
        {"message, virtual", [&] { return window.prepareMessageMenu(virt); }, window.messageMenu,
         join({{"-"}, listTail, {"Toggle hidden", "-", "Store selected", "Restore selected", "New signal"}}), virt},
        {"interface", [&] { window.prepareListMenu(false); return true; }, window.listMenu,
         join({listTail, {"-", "Store selected", "Restore selected"}}), nullptr},
        {"virtual interface", [&] { window.prepareListMenu(true); return true; }, window.listMenu,
         join({listTail, {"Toggle hidden", "-", "Store selected", "Restore selected", "New signal"}}), nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(c.open());
        const Items shown = shownItems(c.menu);
        EXPECT_EQ(shown, c.shown);
        EXPECT_EQ(window.popupTarget, c.target);
    }

    // No target: nothing opens and the old target stays.
    window.prepareSignalMenu(real);
    EXPECT_FALSE(window.preparePlotMenu(nullptr));
    EXPECT_FALSE(window.prepareMessageMenu(nullptr));
    EXPECT_EQ(window.popupTarget, real);
}

TEST_F(MenuTest, PlotMenuHeaderAndHintsShowLiterally)
{
    window.reload(true);
    ASSERT_TRUE(window.preparePlotMenu(store.findSignal("Can.motor.oil&temp")));
    MenuIconItem& header = window.popupItem(PopupPlot, PopupHeader);
    EXPECT_EQ(header.label.get_text(), "oil&temp");
    EXPECT_EQ(header.label.get_label(), "<b>oil&amp;temp</b>");
    EXPECT_FALSE(header.get_sensitive());
    EXPECT_EQ(window.popupItem(PopupPlot, PopupChangeColor).hint.get_label(),
              " <span color=\"gray\" >C+&lt;left but&gt;</span>");
    EXPECT_FALSE(window.popupItem(PopupSignal, PopupChangeColor).hint.get_parent()); // the plot's click modes only
    EXPECT_EQ(window.popupItem(PopupList, PopupDeleteRulers).hint.get_text(), " Esc");
}

TEST_F(MenuTest, PopupActionsActOnTheTarget)
{
    loadExample();
    const auto speed = store.findSignal("Can.EngineData.EngineSpeed");
    const auto rate = store.findSignal("ST_Can.MsgRate.EngineData");

    // Copy name.
    window.prepareSignalMenu(speed);
    window.popupItem(PopupSignal, PopupCopyName).activate();
    EXPECT_EQ(Gtk::Clipboard::get()->wait_for_text(), "Can.EngineData.EngineSpeed");

    // Message rate: finds the message's rate on the statistics page, clearing the filter.
    window.searchEntry.set_text("Engine");
    window.prepareSignalMenu(speed);
    window.popupItem(PopupSignal, PopupMessageRate).activate();
    EXPECT_EQ(window.searchEntry.get_text(), "");
    EXPECT_EQ(window.popupTarget, rate);
    EXPECT_EQ(window.notebook.get_current_page(), 1);
    // Find in list: back to the data page, the row selected.
    window.findSignalInList(speed);
    EXPECT_EQ(window.notebook.get_current_page(), 0);
    Gtk::TreeIter row;
    ASSERT_TRUE(window.dataList.sigPlotSelected(speed, row));
    EXPECT_TRUE(window.dataList.get_selection()->is_selected(row));

    // Hide signal.
    speed->setEnabled(true);
    window.preparePlotMenu(speed);
    window.popupItem(PopupPlot, PopupHideSignal).activate();
    EXPECT_FALSE(speed->enabled);

    // Toggle hidden rebuilds the data list alone.
    const bool statShown = window.statList.showHidden;
    window.prepareListMenu(true);
    window.popupItem(PopupList, PopupToggleHidden).activate();
    EXPECT_TRUE(window.dataList.showHidden);
    EXPECT_EQ(window.statList.showHidden, statShown);
    window.popupItem(PopupList, PopupToggleHidden).activate();
    EXPECT_FALSE(window.dataList.showHidden);

    // Without a target the edit action warns and opens nothing.
    window.popupTarget.reset();
    testing::internal::CaptureStderr();
    window.onEditSignalItem();
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(drainLog(), std::vector<std::string>{"dropdownSignal is null"});
}

TEST_F(MenuTest, StoredSelectionThroughTheMenus)
{
    window.reload(true);
    std::remove(Settings::instance()->listPath.c_str());
    sig("Can.Body.Speed").setEnabled(true);
    window.restoreSelectedSignals(); // nothing stored yet: nothing changes, no complaint
    EXPECT_EQ(enabledSignals(), std::vector<std::string>{"Can.Body.Speed"});
    EXPECT_TRUE(drainLog().empty());

    menuItem("Signal _list", "_Store selected signals").activate();
    menuItem("Signal _list", "_Uncheck all").activate();
    EXPECT_TRUE(enabledSignals().empty());
    store.parsing = true; // busy: nothing restored
    menuItem("Signal _list", "_Restore selected signals").activate();
    store.parsing = false;
    EXPECT_TRUE(enabledSignals().empty());
    EXPECT_EQ(drainLog(), std::vector<std::string>{"Wait for parse to complete"});
    window.popupItem(PopupMessage, PopupRestoreSelected).activate();
    EXPECT_EQ(enabledSignals(), std::vector<std::string>{"Can.Body.Speed"});
    Gtk::TreeIter row;
    ASSERT_TRUE(window.dataList.sigPlotSelected(store.findSignal("Can.Body.Speed"), row));
    EXPECT_TRUE((*row)[listColumns().active]);
    window.uncheckAll(); // the list's marks carry the selection through the next reload
}

TEST_F(MenuTest, EditorGetsEachPathAsOneArgument)
{
    // The editor and the file both hold blanks, a quote and a backslash.
    const std::string folder = dir + "/it's a \\dir";
    std::filesystem::create_directory(folder);
    const std::string editor = folder + "/my editor";
    const std::string args = dir + "/args";
    std::ofstream(editor) << "#!/bin/sh\nprintf '%s\\n' \"$#\" \"$0\" \"$@\" > '" << args << ".tmp'\nmv '" << args
                          << ".tmp' '" << args << "'\n";
    chmod(editor.c_str(), 0755);
    const std::string file = folder + "/my \"defs\".dbc";
    std::ofstream(file) << "";
    Settings& settings = *Settings::instance();
    settings.setDefaultEditor(editor);
    settings.setDbFile(file);

    menuItem("_File", "_Edit loaded VSD/DBC").activate();
    ASSERT_TRUE(pumpUntil([&] { return std::filesystem::exists(args); }));
    EXPECT_EQ(readFileText(args), "1\n" + editor + "\n" + file + "\n");

    settings.setDefaultEditor(dir); // executable, but no program
    testing::internal::CaptureStderr();
    window.editVsdDbc(file);
    settings.setDbFile("./dummy");
    window.onEditLoadedFile();
    testing::internal::GetCapturedStderr();
    const auto texts = drainLog();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0].rfind("Couldn't execute " + dir + ": ", 0), 0u) << texts[0];
    EXPECT_EQ(texts[1], "Couldn't open VSD/DBC file for editing. None loaded.");
}

} // namespace
} // namespace vistra::test
