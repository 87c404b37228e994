// The main window's menu bar and popup menus, and the commands behind their items.
#include "window/window.h"

#include "core/constants.h"
#include "core/message.h"
#include "core/report.h"
#include "core/settings.h"
#include "core/signal.h"
#include "store/store.h"
#include "views/handler_guard.h"
#include "virtual/gps_track.h"
#include "window/gps_export.h"
#include "window/menu_icon_item.h"
#include "window/menu_rules.h"

#include <glibmm/markup.h>
#include <glibmm/spawn.h>
#include <gtkmm/clipboard.h>
#include <gtkmm/separatormenuitem.h>

#include <functional>
#include <string>
#include <vector>

namespace vistra {
namespace {

constexpr auto kCtrl = Gdk::CONTROL_MASK;
constexpr auto kAlt = Gdk::MOD1_MASK;
// Shows as the bare key.
constexpr auto kPlain = Gdk::RELEASE_MASK;

// One row of a menu; an item without label is a separator.
struct MenuRow {
    const char* label = nullptr;
    const char* icon = "";
    guint key = 0;
    Gdk::ModifierType modifiers{};
    const char* tooltip = nullptr;
    std::function<void()> action;
    bool mnemonic = true;
};

void runGuarded(const std::function<void()>& action) { guardHandler("A menu command", [&] { action(); }); }

Gtk::MenuItem* appendMenu(Gtk::MenuBar& bar, const char* title, const std::vector<MenuRow>& rows)
{
    auto* top = Gtk::manage(new Gtk::MenuItem(title, true));
    auto* menu = Gtk::manage(new Gtk::Menu);
    top->set_submenu(*menu);
    bar.append(*top);
    for (const MenuRow& row : rows) {
        if (!row.label) {
            menu->append(*Gtk::manage(new Gtk::SeparatorMenuItem));
            continue;
        }
        auto* item = Gtk::manage(new MenuIconItem(row.icon, row.label, row.mnemonic));
        if (row.key)
            item->setAccel(row.key, row.modifiers);
        if (row.tooltip)
            item->set_tooltip_markup(row.tooltip);
        item->signal_activate().connect([action = row.action] { runGuarded(action); });
        menu->append(*item);
    }
    return top;
}

} // namespace

void Window::buildMenuBar()
{
    Store& store = Store::instance();
    const auto onBothLists = [this](void (LogList::*f)()) {
        return [this, f] {
            (dataList.*f)();
            (statList.*f)();
        };
    };
    const MenuRow separator;

    appendMenu(menuBar, "_File",
               {
                   {"Load _VSD file", "document-open", GDK_KEY_l, kCtrl, nullptr, [this] { loadVsdFile(); }},
                   {"New VSD file", "document-new", 0, {}, nullptr, [this] { createVsdFile(); }},
                   {"Load DB_C file", "text-x-generic", 0, {}, nullptr, [this] { loadDbcFile(); }},
                   separator,
                   {"_Reload VSD/DBC file", "view-refresh", GDK_KEY_r, kCtrl, "Reload current VSD or DBC file.",
                    [this] { onReloadActivated(); }},
                   {"_Edit loaded VSD/DBC", "document-properties", 0, {}, nullptr, [this] { onEditLoadedFile(); }},
                   separator,
                   {"_Open _log file(s)", "emblem-documents", GDK_KEY_o, kCtrl, "Open a selection of log files.",
                    [this] { openLogFiles(); }},
                   {"Open log _directory", "folder-open", GDK_KEY_d, kCtrl, "Open an entire directory with log files.",
                    [this] { openLogDirectories(); }},
                   {"Open _live connection", "network-wireless", GDK_KEY_n, kCtrl,
                    "Connect to logger and view live data", [this] { openLiveDialog(); }},
                   separator,
                   {"E_xit", "application-exit", GDK_KEY_F4, kAlt, nullptr, [this] { hide(); }},
               });
    appendMenu(menuBar, "_View",
               {
                   {"_Update signals", "view-refresh", GDK_KEY_F5, kPlain, nullptr, [this] { updateSignals(); }},
                   separator,
                   {"Toggle _full screen", "view-fullscreen", GDK_KEY_F11, kPlain, nullptr,
                    [this] { toggleFullscreen(); }},
                   {"Show/_hide signal list", "zoom-out", GDK_KEY_F12, kPlain, nullptr, [this] { toggleSignalList(); }},
                   separator,
                   {"_Split/unsplit signals", "object-flip-vertical", 0, {},
                    "Toggle between plotting signals on separate rows or plotting all signals together",
                    [this] { plot.toggleSplitView(); }},
                   {"Toggle _time format", "document-open-recent", GDK_KEY_t, kPlain,
                    "Toggle how time is shown on ruler", [this] { plot.togglePrettyTime(); }},
                   {"Toggle delta _value", "applications-engineering", GDK_KEY_d, kPlain,
                    "Toggle how values are shown on secondary ruler", [this] { plot.toggleShowDelta(); }},
                   {"_Delete rulers", "edit-delete", GDK_KEY_Escape, kPlain, nullptr, [this] { plot.deleteRulers(); }},
                   separator,
                   {"Cro_p", "zoom-fit-best", GDK_KEY_Z, kAlt, nullptr, [this] { plot.crop(); }},
                   {"_Uncrop", "zoom-original", GDK_KEY_X, kAlt, nullptr,
                    [&store] { store.resetViewWindowAndNotify(); }},
               });
    gpsMenu = appendMenu(menuBar, "_GPS",
                         {
                             {"Export GPS data", "emblem-web", 0, {}, "Export GPS track to GPX-file",
                              [this] { exportGpsData(); }, false},
                             {"Plot GPS track (beta)", "", 0, {}, "Show GPS track as a plot in a separate window",
                              [this] { plotGpsTrack(); }, false},
                         });
    appendMenu(menuBar, "Signal _list",
               {
                   {"_Find signal", "edit-find", GDK_KEY_f, kCtrl, "Find signals by filtering the signal list",
                    [this] { searchEntry.grab_focus(); }},
                   separator,
                   {"_Collapse all", "zoom-out", 0, {}, "Collapse all CAN interfaces",
                    onBothLists(&Gtk::TreeView::collapse_all)},
                   {"Expand _selected", "list-add", 0, {}, "Expand all messages having selected signals",
                    onBothLists(&LogList::expandSelected)},
                   {"Expand _all", "zoom-in", 0, {}, "Expand all signals for all messages",
                    onBothLists(&LogList::expandAll)},
                   {"_Uncheck all", "edit-clear", 0, {}, "Uncheck all signals", [this] { uncheckAll(); }},
                   separator,
                   {"_Store selected signals", "bookmark-new", GDK_KEY_s, kAlt,
                    "Store currently selected signals in memory", [this] { storeSelectedSignals(); }},
                   {"_Restore selected signals", "", GDK_KEY_r, kAlt, "Restore selected signals from memory",
                    [this] { restoreSelectedSignals(); }},
                   separator,
                   {"Store signals _to file", "starred", 0, {}, "Store selected signals to file",
                    [this] { storeSignalListFile(); }},
                   {"Restore signals fr_om file", "user-bookmarks", 0, {}, "Restore selected signals from file",
                    [this] { restoreSignalListFile(); }},
               });
    appendMenu(menuBar, "_Tools",
               {
                   {"_Copy signals (Ctrl-C)", "edit-copy", GDK_KEY_c, kCtrl,
                    "Copy signals in selected interval to clipboard", [this] { plot.copyToClipboard(); }},
                   {"Export as _ASC", "document-send", GDK_KEY_a, kCtrl, "Create ASC file of selected time span.",
                    [this] { plot.dumpVisibleRangeAsc(); }},
               });
    appendMenu(menuBar, "_Window",
               {
                   {"_Change title", "tools-check-spelling", GDK_KEY_F2, kPlain, nullptr, [this] { changeTitle(); }},
                   {"_Preferences", "system-run", 0, {}, nullptr, [this] { openPreferences(); }},
               });
    appendMenu(menuBar, "_Help",
               {
                   {"_Commands and controls (F1)", "help-about", GDK_KEY_F1, kPlain, nullptr, [this] { showHelp(); }},
                   {"_Open quick guide", "help-browser", 0, {}, nullptr, [this] { openQuickGuide(); }},
               });
}

void Window::buildPopupMenus()
{
    struct Kind {
        const char* label;
        const char* icon;
        std::function<void()> action;
    };
    const auto onBothLists = [this](void (LogList::*f)()) {
        return [this, f] {
            (dataList.*f)();
            (statList.*f)();
        };
    };
    const Kind kinds[PopupSeparator1] = {
        {"", "", nullptr},
        {"Find in list", "edit-find", [this] { findTargetInList(); }},
        {"Copy name", "edit-copy", [this] { copySignalName(); }},
        {"Change color", "applications-graphics", [this] { onChangeColorItem(); }},
        {"Histogram", "", [this] { openHistogram(popupTarget); }},
        {"Message rate", "", [this] { onMessageRateItem(); }},
        {"Show stats", "document-page-setup", [this] { showStats(popupTarget); }},
        {"Hide signal", "list-remove", [this] { onHideSignalItem(); }},
        {"Expand selected", "list-add", onBothLists(&LogList::expandSelected)},
        {"Expand all", "zoom-in", onBothLists(&LogList::expandAll)},
        {"Collapse all", "zoom-out", onBothLists(&Gtk::TreeView::collapse_all)},
        {"Uncheck all", "edit-clear", [this] { uncheckAll(); }},
        {"Store selected", "bookmark-new", [this] { storeSelectedSignals(); }},
        {"Restore selected", "", [this] { restoreSelectedSignals(); }},
        {"Crop", "zoom-fit-best", [this] { plot.crop(); }},
        {"Uncrop", "zoom-original", [] { Store::instance().resetViewWindowAndNotify(); }},
        {"Edit signal", "document-properties", [this] { onEditSignalItem(); }},
        {"New signal", "document-new", [this] { newSignal(popupTarget); }},
        {"Toggle hidden", "changes-allow", [this] { toggleHiddenSignals(); }},
        {"Delete rulers", "edit-delete", [this] { plot.deleteRulers(); }},
    };
    const auto hint = [](const char* keys) { return Glib::ustring(" <span color=\"gray\" >") + keys + "</span>"; };

    for (int set = 0; set < kPopupSets; ++set) {
        for (int k = 0; k < PopupSeparator1; ++k) {
            auto item = std::make_unique<MenuIconItem>(kinds[k].icon, kinds[k].label, false);
            if (kinds[k].action)
                item->signal_activate().connect([action = kinds[k].action] { runGuarded(action); });
            item->set_sensitive(k != PopupHeader);
            popupItems[set][k] = std::move(item);
        }
        // The click modes reach these actions from the plot alone.
        if (set == PopupPlot) {
            popupItem(PopupPlot, PopupChangeColor).setHint(hint("C+&lt;left but&gt;"));
            popupItem(PopupPlot, PopupHideSignal).setHint(hint("H+&lt;left but&gt;"));
            popupItem(PopupPlot, PopupFindInList).setHint(hint("F+&lt;left but&gt;"));
            popupItem(PopupPlot, PopupShowStats).setHint(hint("S+&lt;left but&gt;"));
        }
        const auto here = static_cast<PopupSet>(set);
        popupItem(here, PopupStoreSelected).setHint(hint("Alt+S"));
        popupItem(here, PopupRestoreSelected).setHint(hint("Alt+R"));
        popupItem(here, PopupCrop).setHint(hint("Alt+Z"));
        popupItem(here, PopupUncrop).setHint(hint("Alt+X"));
        popupItem(here, PopupDeleteRulers).setHint(hint("Esc"));
        for (int k = PopupSeparator1; k < kPopupKinds; ++k) {
            auto separator = std::make_unique<Gtk::SeparatorMenuItem>();
            separator->set_margin_top(10);
            popupItems[set][k] = std::move(separator);
        }
    }

    const std::vector<PopupKind> contents[kPopupSets] = {
        {PopupHeader, PopupSeparator1, PopupCrop, PopupUncrop, PopupDeleteRulers, PopupSeparator2, PopupFindInList,
         PopupCopyName, PopupChangeColor, PopupHistogram, PopupMessageRate, PopupShowStats, PopupHideSignal,
         PopupSeparator3, PopupEditSignal},
        {PopupCopyName, PopupChangeColor, PopupHistogram, PopupMessageRate, PopupShowStats, PopupSeparator1,
         PopupExpandSelected, PopupExpandAll, PopupCollapseAll, PopupUncheckAll, PopupSeparator2, PopupStoreSelected,
         PopupRestoreSelected, PopupEditSignal},
        {PopupMessageRate, PopupSeparator1, PopupExpandSelected, PopupExpandAll, PopupCollapseAll, PopupUncheckAll,
         PopupToggleHidden, PopupSeparator2, PopupStoreSelected, PopupRestoreSelected, PopupNewSignal},
        {PopupExpandSelected, PopupExpandAll, PopupCollapseAll, PopupUncheckAll, PopupToggleHidden, PopupSeparator2,
         PopupStoreSelected, PopupRestoreSelected, PopupNewSignal},
    };
    for (int set = 0; set < kPopupSets; ++set) {
        Gtk::Menu& menu = popupMenu(static_cast<PopupSet>(set));
        for (PopupKind k : contents[set])
            menu.append(*popupItems[set][k]);
        menu.attach_to_widget(*this);
    }
}

Gtk::Menu& Window::popupMenu(PopupSet set)
{
    switch (set) {
    case PopupPlot:
        return plotMenu;
    case PopupSignal:
        return signalMenu;
    case PopupMessage:
        return messageMenu;
    default:
        return listMenu;
    }
}

MenuIconItem& Window::popupItem(PopupSet set, PopupKind kind)
{
    return static_cast<MenuIconItem&>(*popupItems[set][kind]);
}

namespace {

void showAllItems(Gtk::Menu& menu)
{
    for (Gtk::Widget* item : menu.get_children())
        item->show();
}

bool messageRateShown(const Signal& signal) { return signal.parent && canShowMessageRate(*signal.parent); }

} // namespace

bool Window::preparePlotMenu(std::shared_ptr<Signal> signal)
{
    if (!signal)
        return false;
    popupTarget = signal;
    showAllItems(plotMenu);
    popupItem(PopupPlot, PopupHeader).label.set_markup("<b>" + Glib::Markup::escape_text(signal->name) + "</b>");
    popupItem(PopupPlot, PopupMessageRate).set_visible(messageRateShown(*signal));
    popupItem(PopupPlot, PopupEditSignal).set_visible(isVirtualSignal(*signal));
    return true;
}

bool Window::prepareSignalMenu(std::shared_ptr<Signal> signal)
{
    if (!signal)
        return false;
    popupTarget = signal;
    showAllItems(signalMenu);
    popupItem(PopupSignal, PopupMessageRate).set_visible(messageRateShown(*signal));
    popupItem(PopupSignal, PopupEditSignal).set_visible(isVirtualSignal(*signal));
    return true;
}

bool Window::prepareMessageMenu(std::shared_ptr<Signal> signal)
{
    if (!signal)
        return false;
    popupTarget = signal;
    showAllItems(messageMenu);
    popupItem(PopupMessage, PopupMessageRate).set_visible(messageRateShown(*signal));
    const bool virtualIface = isVirtualSignal(*signal);
    popupItem(PopupMessage, PopupNewSignal).set_visible(virtualIface);
    popupItem(PopupMessage, PopupToggleHidden).set_visible(virtualIface);
    return true;
}

void Window::prepareListMenu(bool virtualIface)
{
    popupTarget.reset();
    showAllItems(listMenu);
    popupItem(PopupList, PopupNewSignal).set_visible(virtualIface);
    popupItem(PopupList, PopupToggleHidden).set_visible(virtualIface);
}

void Window::popUp(Gtk::Menu& menu) { menu.popup_at_pointer(nullptr); }

void Window::popupPlotMenu(std::shared_ptr<Signal> signal)
{
    if (preparePlotMenu(signal))
        popUp(plotMenu);
}

void Window::popupSignalMenu(std::shared_ptr<Signal> signal)
{
    if (prepareSignalMenu(signal))
        popUp(signalMenu);
}

void Window::popupMessageMenu(std::shared_ptr<Signal> signal)
{
    if (prepareMessageMenu(signal))
        popUp(messageMenu);
}

void Window::popupListMenu(bool virtualIface)
{
    prepareListMenu(virtualIface);
    popUp(listMenu);
}

void Window::findTargetInList()
{
    if (!popupTarget)
        return;
    searchEntry.set_text(""); // which shows the current page's list unfiltered
    // The other list may still show the filter it had when its page was left: a row
    // selected there would be lost when the page switch takes the filter away.
    for (LogList* list : {&dataList, &statList})
        if (list->get_model() != Glib::RefPtr<Gtk::TreeModel>(list->store))
            list->setFilter("");
    if (dataList.selectSignal(popupTarget))
        notebook.set_current_page(0);
    else if (statList.selectSignal(popupTarget))
        notebook.set_current_page(1);
}

void Window::findSignalInList(std::shared_ptr<Signal> signal)
{
    popupTarget = signal;
    findTargetInList();
}

void Window::copySignalName()
{
    if (popupTarget)
        Gtk::Clipboard::get()->set_text(popupTarget->fullName);
}

void Window::onMessageRateItem()
{
    if (!popupTarget || !popupTarget->parent || !popupTarget->parent->msgRate)
        return;
    searchEntry.set_text("");
    popupTarget = popupTarget->parent->msgRate;
    findTargetInList();
}

void Window::hideSignal(std::shared_ptr<Signal> signal)
{
    if (!signal || Store::instance().isBusy())
        return;
    signal->setEnabled(false);
    dataList.refreshActiveMarks();
    statList.refreshActiveMarks();
}

void Window::onHideSignalItem() { hideSignal(popupTarget); }

void Window::onChangeColorItem()
{
    if (popupTarget)
        chooseLineColor(popupTarget);
}

void Window::onEditSignalItem()
{
    if (!popupTarget) {
        reportWarning("dropdownSignal is null");
        return;
    }
    editSignal(*popupTarget);
}

void Window::toggleHiddenSignals()
{
    if (Store::instance().isBusy())
        return;
    dataList.showHidden = !dataList.showHidden;
    dataList.fillList(0, kStatIfaceOffset - 1, false);
}

void Window::toggleFullscreen()
{
    if (isFullscreen)
        unfullscreen();
    else
        fullscreen();
    isFullscreen = !isFullscreen;
}

void Window::toggleSignalList()
{
    if (listHidden)
        listPane.show();
    else
        listPane.hide();
    listHidden = !listHidden;
}

void Window::uncheckAll()
{
    Store& store = Store::instance();
    if (store.isBusy())
        return;
    store.deselectAllSignals();
    dataList.refreshActiveMarks();
    statList.refreshActiveMarks();
}

void Window::restoreSelectedSignals()
{
    if (Store::instance().isBusy())
        return;
    if (Settings::instance()->restoreSelectedSignals()) {
        dataList.refreshActiveMarks();
        statList.refreshActiveMarks();
    }
}

void Window::storeSelectedSignals() { Settings::instance()->storeSelectedSignals(); }

void Window::onEditLoadedFile()
{
    Settings& settings = *Settings::instance();
    Glib::ustring file = settings.getVsdFile();
    if (file == kNoFile)
        file = settings.getDbFile();
    if (file == kNoFile) {
        reportInfo("Couldn't open VSD/DBC file for editing. None loaded.");
        return;
    }
    editVsdDbc(file);
}

void Window::editVsdDbc(const Glib::ustring& file)
{
    const Glib::ustring editor = Settings::instance()->getDefaultEditor();
    // Each path is one argument as it stands: blanks, quotes and backslashes in it mean
    // nothing, as no command line is parsed.
    try {
        Glib::spawn_async("", std::vector<std::string>{editor.raw(), file.raw()}, Glib::SPAWN_SEARCH_PATH);
    } catch (const Glib::Error& e) {
        reportInfo("Couldn't execute %s: %s", editor.c_str(), e.what().c_str());
    }
}

Glib::ustring Window::docDir() { return TARNWICK_DOC_DIR; }

Glib::ustring Window::quickGuidePath() { return docDir() + "/help/tarnwick_quick_guide/index.html"; }

void Window::openQuickGuide()
{
    const Glib::ustring uri = "file://" + quickGuidePath();
    gtk_show_uri_on_window(gobj(), uri.c_str(), 0, nullptr);
}

void Window::plotGpsTrack()
{
    if (!gpsTrack)
        return;
    if (Store::instance().parsing) {
        reportInfo("Wait for parse to complete");
        return;
    }
    showGpsPlot();
}

void Window::exportGpsData()
{
    if (!gpsTrack)
        return;
    if (Store::instance().parsing) {
        reportInfo("Wait for parse to complete");
        return;
    }
    exportGpsTrack(gpsTrack);
}

void Window::updateGpsMenu()
{
    gpsTrack = GPSTrack::create();
    const Store& store = Store::instance();
    gpsMenu->set_visible(gpsMenuVisible(gpsTrack != nullptr, store.legacyGps, store.live, store.multiCanHeader));
}

void Window::openLiveDialog()
{
    // Over the main window, like the file dialogs it opens.
    connectLiveDialog.set_transient_for(*this);
    connectLiveDialog.open();
}
void Window::openPreferences() { settingsWindow.open(); }
void Window::editSignal(Signal& signal) { virtSignDialog.editSignal(signal.shared_from_this()); }
void Window::newSignal(std::shared_ptr<Signal> signal) { virtSignDialog.newSignal(std::move(signal)); }

} // namespace vistra
