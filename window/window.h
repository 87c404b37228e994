#pragma once
// The main window of the desktop application: the detail and overview plots, the two
// signal lists with their search entry, the progress bar and the live spinner. It wires
// the Store's dispatchers to its handlers and runs the live tick and the message tick.
#include "core/types.h"
#include "views/full_plot.h"
#include "views/sub_plot.h"
#include "views/sub_plot_host.h"
#include "window/live_tick.h"
#include "window/log_list.h"
#include "window/window_keys.h"

#include <gdkmm/cursor.h>
#include <glibmm/dispatcher.h>
#include <gtkmm/box.h>
#include <gtkmm/entry.h>
#include <gtkmm/filechooserdialog.h>
#include <gtkmm/grid.h>
#include <gtkmm/menubar.h>
#include <gtkmm/notebook.h>
#include <gtkmm/progressbar.h>
#include <gtkmm/scrolledwindow.h>
#include <gtkmm/separator.h>
#include <gtkmm/spinner.h>
#include <gtkmm/window.h>

#include <memory>

namespace vistra {

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

    // LogListHost. The list's popup menus do not exist yet: each of these says so.
    void popupListMenu(bool virtualIface) override;
    void popupMessageMenu(std::shared_ptr<Signal> target) override;
    void popupSignalMenu(std::shared_ptr<Signal> target) override;
    void highlightSignal(std::shared_ptr<Signal> signal) override { plot.highlightSignal(signal); }

    // SubPlotHost. showStats opens the signal's statistics window; the other signal
    // actions (hide, colour, find, the plot popup) do not exist yet: each of these says so.
    void hideSignal(std::shared_ptr<Signal> signal) override;
    void chooseLineColor(std::shared_ptr<Signal> signal) override;
    void findSignalInList(std::shared_ptr<Signal> signal) override;
    void showStats(std::shared_ptr<Signal> signal) override;
    void popupPlotMenu(std::shared_ptr<Signal> signal) override;

    // Reached from the keys. The dialogs and stored lists they open do not exist yet:
    // each of these says so.
    void showHelp();
    void changeTitle();
    void openLogDirectories();
    void loadVsdFile();
    void openLogFiles();
    void openLiveDialog();
    void restoreSelectedSignals();
    void storeSelectedSignals();

    SubPlot plot;
    FullPlot fullPlot;
    LogList dataList;
    LogList statList;
    Gtk::Notebook notebook;
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
    // Holds no menus yet.
    Gtk::MenuBar menuBar;
    Glib::RefPtr<Gdk::Cursor> normalCursor;
    Glib::RefPtr<Gdk::Cursor> busyCursor;
    bool isFullscreen = false;
    bool listHidden = false;
    std::shared_ptr<Signal> popupTarget;
    LiveTick liveTick;
    bool suppressPageFilter = false;

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
    // Runs the action of a matched key; false when there is none.
    void runKeyAction(WindowKey action);

    bool inMessageTick = false;
};

} // namespace vistra
