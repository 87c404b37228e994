#pragma once
// The main window of the desktop application: the detail and overview plots, the two
// signal lists with their search entry, the progress bar and the live spinner. It wires
// the Store's dispatchers to its handlers and runs the live tick and the message tick.
#include "core/types.h"
#include "editor/virt_sign_dialog.h"
#include "views/full_plot.h"
#include "views/gps_plot.h"
#include "views/sub_plot.h"
#include "views/sub_plot_host.h"
#include "window/live_dialog.h"
#include "window/live_tick.h"
#include "window/log_list.h"
#include "window/popup_kind.h"
#include "window/settings_window.h"
#include "window/window_keys.h"

#include <gdkmm/cursor.h>
#include <glibmm/dispatcher.h>
#include <gtkmm/box.h>
#include <gtkmm/entry.h>
#include <gtkmm/filechooserdialog.h>
#include <gtkmm/grid.h>
#include <gtkmm/menu.h>
#include <gtkmm/menubar.h>
#include <gtkmm/menuitem.h>
#include <gtkmm/notebook.h>
#include <gtkmm/progressbar.h>
#include <gtkmm/scrolledwindow.h>
#include <gtkmm/separator.h>
#include <gtkmm/spinner.h>
#include <gtkmm/window.h>

#include <array>
#include <memory>

namespace vistra {

class GPSTrack;
class MenuIconItem;
class Signal;

class Window : public Gtk::Window, public LogListHost, public SubPlotHost {
public:
    // The one main window, created on the first call (after GTK is initialised) and
    // destroyed at process exit.
    static Window& instance();

    ~Window() override;

    // Rebuilds everything from the settings' VSD or DBC file; does not start a parse.
    void reload(bool resetStore);
    void onReloadActivated();
    void reloadAndSelectSignal(const Glib::ustring& fullName);
    // Starts a parse of the log files for the selected signals.
    void updateSignals();
    void onParseProgress();
    bool onLiveTick();
    bool onMessageTick();
    void closeInTextMode();
    // Runs a file or directory dialog; shows nothing and returns 1 while the Store is busy.
    int makeFileChooser(Gtk::FileChooserDialog& dialog, const Glib::ustring& filterName,
                        const Glib::ustring& pattern, const Glib::ustring& folder);

    Glib::ustring searchText() override;
    void applyFilterToPage(int page);

    // LogListHost: the signal list's popup menus. Each opener sets the popup target,
    // shows the items that fit it and pops the menu up at the pointer.
    void popupListMenu(bool virtualIface) override;
    void popupMessageMenu(std::shared_ptr<Signal> target) override;
    void popupSignalMenu(std::shared_ptr<Signal> target) override;
    void highlightSignal(std::shared_ptr<Signal> signal) override { plot.highlightSignal(signal); }

    // SubPlotHost: the plot's click modes and its popup menu.
    void hideSignal(std::shared_ptr<Signal> signal) override;
    void chooseLineColor(std::shared_ptr<Signal> signal) override;
    void findSignalInList(std::shared_ptr<Signal> signal) override;
    void showStats(std::shared_ptr<Signal> signal) override;
    void popupPlotMenu(std::shared_ptr<Signal> signal) override;

    // The openers without the pop-up: false (and nothing changed) when there is no target.
    bool preparePlotMenu(std::shared_ptr<Signal> signal);
    bool prepareSignalMenu(std::shared_ptr<Signal> signal);
    bool prepareMessageMenu(std::shared_ptr<Signal> signal);
    void prepareListMenu(bool virtualIface);
    MenuIconItem& popupItem(PopupSet set, PopupKind kind);

    // Actions of the popup items on the popup target.
    void findTargetInList();
    void copySignalName();
    void onMessageRateItem();
    void onHideSignalItem();
    void onChangeColorItem();
    void onEditSignalItem();
    void toggleHiddenSignals();

    // Actions of the menu bar and the keys.
    void toggleFullscreen();
    void toggleSignalList();
    void uncheckAll();
    void restoreSelectedSignals();
    void storeSelectedSignals();
    void onEditLoadedFile();
    // Starts the configured text editor on `file` and does not wait for it.
    void editVsdDbc(const Glib::ustring& file);
    void openQuickGuide();
    static Glib::ustring docDir();
    static Glib::ustring quickGuidePath();
    void plotGpsTrack();
    void exportGpsData();
    // Finds the GPS track of the current load and shows the GPS menu when there is one
    // and the data can hold positions.
    void updateGpsMenu();

    // Actions that open a dialog or a window of their own.
    void showHelp();
    void changeTitle();
    void openLogDirectories();
    void openLogFiles();
    void loadVsdFile();
    void loadDbcFile();
    // The chooser of a VSD (or DBC) file, which becomes the one definition file.
    void loadDefinitionFile(bool vsd);
    void createVsdFile();
    void storeSignalListFile();
    void restoreSignalListFile();
    void openLiveDialog();
    void openPreferences();
    void openHistogram(std::shared_ptr<Signal> signal);
    void showGpsPlot();
    // A reload made a new track: the GPS plot lets go of the old one and is hidden.
    void releaseGpsPlotTrack();
    void editSignal(Signal& signal);
    void newSignal(std::shared_ptr<Signal> signal);

    SubPlot plot;
    FullPlot fullPlot;
    LogList dataList;
    LogList statList;
    Gtk::Notebook notebook;
    Gtk::Menu plotMenu;
    Gtk::Menu signalMenu;
    Gtk::Menu messageMenu;
    Gtk::Menu listMenu;
    // Emitted by every reload; the per-signal analysis windows close on it.
    Glib::Dispatcher reloaded;
    Gtk::ScrolledWindow dataScroll;
    Gtk::ScrolledWindow statScroll;
    Gtk::Grid listPane;
    Gtk::Box mainBox{Gtk::ORIENTATION_HORIZONTAL};
    Gtk::Box plotBox{Gtk::ORIENTATION_VERTICAL};
    Gtk::Separator plotSeparator{Gtk::ORIENTATION_HORIZONTAL};
    Gtk::ProgressBar progressBar;
    Gtk::Spinner liveSpinner;
    Gtk::Entry searchEntry;
    // Every popup menu item, kind k of set s; each menu holds some of its set.
    std::array<std::array<std::unique_ptr<Gtk::MenuItem>, kPopupKinds>, kPopupSets> popupItems;
    Gtk::MenuBar menuBar;
    Gtk::MenuItem* gpsMenu = nullptr; // the top-level "_GPS" item
    Glib::RefPtr<Gdk::Cursor> normalCursor;
    Glib::RefPtr<Gdk::Cursor> busyCursor;
    bool isFullscreen = false;
    bool listHidden = false;
    std::shared_ptr<GPSTrack> gpsTrack;
    GPSPlotWin gpsPlotWin;
    // The signal the popup actions act on.
    std::shared_ptr<Signal> popupTarget;
    LiveTick liveTick;
    bool suppressPageFilter = false;
    ConnectLiveDialog connectLiveDialog;
    SettingsWindow settingsWindow;
    VirtSignDialog virtSignDialog;

protected:
    // Closing hides the window, which ends the application; the toolkit's default would
    // destroy the widgets that this object still owns and destroys at exit.
    bool on_delete_event(GdkEventAny* event) override;
    // The function keys and shortcuts; C, F, H and S hold the plot's click modes while down.
    bool on_key_press_event(GdkEventKey* event) override;
    bool on_key_release_event(GdkEventKey* event) override;
    bool on_focus_out_event(GdkEventFocus* event) override;

private:
    Window();

    void onSearchChanged();
    bool onSearchKey(GdkEventKey* event);
    void onNotebookSwitchPage(Gtk::Widget* page, guint pageNumber);
    LogList& listOfPage(int page) { return page == 0 ? dataList : statList; }
    void buildMenuBar();
    void buildPopupMenus();
    Gtk::Menu& popupMenu(PopupSet set);
    void popUp(Gtk::Menu& menu);
    // Runs the action of a matched key; false when there is none.
    void runKeyAction(WindowKey action);

    bool inMessageTick = false;
};

} // namespace vistra
