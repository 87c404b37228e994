#include "window/window.h"

#include "core/constants.h"
#include "core/message_log.h"
#include "core/report.h"
#include "core/settings.h"
#include "core/signal.h"
#include "store/store.h"
#include "views/file_chooser.h"
#include "views/time_box.h"
#include "views/handler_guard.h"
#include "window/analysis_windows.h"
#include "window/message_dialogs.h"

#include <glibmm/convert.h>
#include <glibmm/fileutils.h>
#include <gtkmm/cssprovider.h>
#include <gtkmm/stylecontext.h>

#include <stdexcept>

namespace vistra {

namespace {

// Everything logged before the main loop ran is shown once, in one combined dialog.
bool startupFlushPending = true;

} // namespace

Window& Window::instance()
{
    static Window window;
    return window;
}

Window::Window()
    : dataList(0, kStatIfaceOffset - 1), statList(kStatIfaceOffset, kStatIfaceOffset + Store::instance().maxStatIface)
{
    installCallbackExceptionHandler();
    Store& store = Store::instance();
    dataList.setHost(this);
    statList.setHost(this);
    plot.setHost(this);
    // The editor knows nothing of this window: it is told where the help is, what the help
    // opens over, and whom to ask for a reload after a save.
    virtSignDialog.docDir = docDir();
    virtSignDialog.helpParent = this;
    virtSignDialog.reloadAndSelect = [this](const Glib::ustring& fullName) { reloadAndSelectSignal(fullName); };
    set_title(store.title);
    set_default_size(1200, 800);

    normalCursor = Gdk::Cursor::create(get_display(), "default");
    busyCursor = Gdk::Cursor::create(get_display(), "wait");

    for (auto [scroll, list] : {std::pair{&dataScroll, &dataList}, std::pair{&statScroll, &statList}}) {
        scroll->add(*list);
        scroll->set_policy(Gtk::POLICY_NEVER, Gtk::POLICY_ALWAYS);
        scroll->set_vexpand(true);
    }
    notebook.append_page(dataScroll, "Data");
    notebook.append_page(statScroll, "Statistics");

    notebook.set_can_focus(true);
    dataList.set_can_focus(true);
    statList.set_can_focus(true);
    plot.set_can_focus(true);
    listPane.set_can_focus(false);
    dataScroll.set_can_focus(false);
    statScroll.set_can_focus(false);
    fullPlot.set_can_focus(false);
    progressBar.set_can_focus(false);
    liveSpinner.set_can_focus(false);

    progressBar.set_fraction(1.0);
    liveSpinner.stop();
    auto css = Gtk::CssProvider::create();
    try {
        css->load_from_data("progress, trough { min-height: 15px; }");
        Gtk::StyleContext::add_provider_for_screen(Gdk::Screen::get_default(), css,
                                                   GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    } catch (const Glib::Error&) {
        reportWarning("Failed to load css");
    }
    progressBar.set_margin_top(1);

    searchEntry.set_tooltip_markup("Filter out signals using special patterns like:\n\t- *\n\t- /\n\t- [aAe]");
    searchEntry.set_placeholder_text("Search");

    listPane.attach(notebook, 0, 0, 3, 1);
    listPane.attach(searchEntry, 0, 1, 3, 1);
    listPane.attach(progressBar, 0, 2, 3, 1);
    listPane.attach(liveSpinner, 0, 2, 3, 1);

    buildMenuBar();
    buildPopupMenus();

    plotBox.pack_start(menuBar, Gtk::PACK_SHRINK);
    plotBox.pack_start(plot, Gtk::PACK_EXPAND_WIDGET);
    plotBox.pack_start(plotSeparator, false, false);
    plotBox.pack_end(fullPlot, false, false);
    mainBox.pack_start(plotBox, Gtk::PACK_EXPAND_WIDGET);
    mainBox.pack_end(listPane, false, false);
    add(mainBox);

    store.dataChanged.connect([this] { guardHandler("Closing after new data", [this] { closeInTextMode(); }); });
    store.progressChanged.connect([this] { guardHandler("Showing the progress", [this] { onParseProgress(); }); });
    store.reloadRequested.connect([this] { guardHandler("Reloading", [this] { onReloadActivated(); }); });

    Glib::signal_timeout().connect(
        [this] { return guardHandler("Showing the live state", true, [this] { return onLiveTick(); }); }, 1000);
    Glib::signal_timeout().connect(
        [this] { return guardHandler("Showing the messages", true, [this] { return onMessageTick(); }); }, 250);

    searchEntry.signal_changed().connect(
        [this] { guardHandler("Filtering the signal list", [this] { onSearchChanged(); }); });
    searchEntry.signal_key_press_event().connect(
        [this](GdkEventKey* event) {
            return guardHandler("Toggling the found signals", false, [&] { return onSearchKey(event); });
        },
        false);
    notebook.signal_switch_page().connect([this](Gtk::Widget* page, guint number) {
        guardHandler("Switching the list page", [&] { onNotebookSwitchPage(page, number); });
    });

    // Signals selected on the command line are plotted from the start: their rows show it.
    dataList.refreshActiveMarks();
    statList.refreshActiveMarks();

    show_all_children();
    liveSpinner.hide();
    updateGpsMenu();
}

Window::~Window()
{
    // Page switches while the notebook goes must not reach the lists.
    suppressPageFilter = true;
}

bool Window::on_delete_event(GdkEventAny*)
{
    hide();
    return true;
}

bool Window::on_key_press_event(GdkEventKey* event)
{
    return guardHandler("Handling a key", true, [&] {
        const WindowKeyMatch match = windowKeyPress(event->keyval, event->state);
        runKeyAction(match.action);
        // Keys the window leaves alone go to menu mnemonics and the focused widget.
        return match.handled || Gtk::Window::on_key_press_event(event);
    });
}

bool Window::on_key_release_event(GdkEventKey* event)
{
    return guardHandler("Handling a key release", true, [&] {
        switch (windowKeyRelease(event->keyval)) {
        case WindowKey::ColorMode:
            plot.setColorMode(false);
            break;
        case WindowKey::FindMode:
            plot.setFindMode(false);
            break;
        case WindowKey::HideMode:
            plot.setHideMode(false);
            break;
        case WindowKey::StatsMode:
            plot.setStatsMode(false);
            break;
        default:
            break;
        }
        return Gtk::Window::on_key_release_event(event);
    });
}

// A click mode lasts only while its key is held in this window: a release elsewhere would
// never reach us.
bool Window::on_focus_out_event(GdkEventFocus* event)
{
    guardHandler("Leaving the window", [&] {
        plot.setHideMode(false);
        plot.setColorMode(false);
        plot.setFindMode(false);
        plot.setStatsMode(false);
        Gtk::Window::on_focus_out_event(event);
    });
    return false;
}

void Window::runKeyAction(WindowKey action)
{
    switch (action) {
    case WindowKey::None:
        break;
    case WindowKey::ShowHelp:
        showHelp();
        break;
    case WindowKey::ChangeTitle:
        changeTitle();
        break;
    case WindowKey::UpdateSignals:
        updateSignals();
        break;
    case WindowKey::ToggleFullscreen:
        toggleFullscreen();
        break;
    case WindowKey::ToggleListPane:
        toggleSignalList();
        break;
    case WindowKey::OpenLogDirectories:
        openLogDirectories();
        break;
    case WindowKey::FocusSearch:
        searchEntry.grab_focus();
        break;
    case WindowKey::LoadVsdFile:
        loadVsdFile();
        break;
    case WindowKey::ConnectLive:
        openLiveDialog();
        break;
    case WindowKey::OpenLogFiles:
        openLogFiles();
        break;
    case WindowKey::Reload:
        onReloadActivated(); // which does nothing while the Store is busy
        break;
    case WindowKey::RestoreSelection:
        restoreSelectedSignals(); // which does nothing while the Store is busy
        break;
    case WindowKey::StoreSelection:
        storeSelectedSignals();
        break;
    case WindowKey::ColorMode:
        plot.setColorMode(true);
        break;
    case WindowKey::FindMode:
        plot.setFindMode(true);
        break;
    case WindowKey::HideMode:
        plot.setHideMode(true);
        break;
    case WindowKey::StatsMode:
        plot.setStatsMode(true);
        break;
    }
}

Glib::ustring Window::searchText() { return searchEntry.get_text(); }

void Window::closeInTextMode()
{
    if (Store::instance().textMode)
        close();
}

int Window::makeFileChooser(Gtk::FileChooserDialog& dialog, const Glib::ustring& filterName,
                            const Glib::ustring& pattern, const Glib::ustring& folder)
{
    if (Store::instance().isBusy())
        return 1;
    setUpFileChooser(dialog, filterName, {pattern.c_str()}, "all files");
    // A remembered folder that is gone leaves the chooser at its own default.
    if (!folder.empty() && Glib::file_test(Glib::filename_from_utf8(folder), Glib::FILE_TEST_IS_DIR))
        dialog.set_current_folder(Glib::filename_from_utf8(folder));
    dialog.set_transient_for(*this);
    return runDialog(dialog);
}

void Window::onSearchChanged() { applyFilterToPage(notebook.get_current_page()); }

bool Window::onSearchKey(GdkEventKey* event)
{
    if (!searchEntry.get_text().empty() && event->keyval == 0xff0d)
        listOfPage(notebook.get_current_page()).toggleVisibleSignals();
    return false;
}

void Window::onNotebookSwitchPage(Gtk::Widget*, guint pageNumber)
{
    if (!suppressPageFilter)
        applyFilterToPage(static_cast<int>(pageNumber));
}

void Window::applyFilterToPage(int page) { listOfPage(page).setFilter(searchEntry.get_text()); }

void Window::reload(bool resetStore)
{
    Store& store = Store::instance();
    if (resetStore && store.networkMode)
        store.stopLiveStream();
    gpsTrack.reset();
    popupTarget.reset();
    plot.reset();
    fullPlot.reset();
    store.clearData();
    releaseGpsPlotTrack();
    timeBox().reset();
    reloaded.emit();

    // Whatever goes wrong while loading the definitions, the lists are rebuilt from what
    // was loaded: a half-done reload would leave rows of the cleared model behind.
    try {
        store.addLoggerIface();
        Settings& settings = *Settings::instance();
        const Glib::ustring vsd = settings.getVsdFile();
        const Glib::ustring dbc = settings.getDbFile();
        if (vsd != kNoFile) {
            store.loadVsd(vsd);
        } else if (dbc != kNoFile) {
            store.loadDbc(dbc, 0, "Can");
            store.createBuiltinSignals();
        } else {
            reportInfo("Could not reload, please select VSD/DBC file");
        }
    } catch (...) {
        reportCurrentException();
    }

    showMessageLogDialog(this);
    updateGpsMenu();
    dataList.fillList(0, kStatIfaceOffset - 1, false);
    statList.fillList(kStatIfaceOffset, kStatIfaceOffset + store.maxStatIface, false);
    store.emitDataChanged();
    store.refreshPlotSignals();
}

void Window::onReloadActivated()
{
    Store& store = Store::instance();
    if (store.isBusy())
        return;
    // While live data arrive, the connection is made again instead (which reloads too).
    if (store.networkMode && liveTick.receiving)
        connectLiveDialog.connectLive();
    else
        reload(true);
}

void Window::openHistogram(std::shared_ptr<Signal> signal)
{
    if (signal)
        openHistWindows().openWindow(signal);
}

void Window::showStats(std::shared_ptr<Signal> signal)
{
    if (signal)
        openStatWindows().openWindow(signal);
}

void Window::reloadAndSelectSignal(const Glib::ustring& fullName)
{
    Store& store = Store::instance();
    searchEntry.set_text("");
    notebook.set_current_page(0);
    if (!store.isBusy()) {
        if (store.networkMode && liveTick.receiving)
            connectLiveDialog.connectLive();
        else
            reload(true);
    }
    try {
        auto signal = store.findSignal(fullName);
        signal->setEnabled(true);
        dataList.refreshActiveMarks();
        popupTarget = signal;
        findTargetInList();
    } catch (const SignalNotFoundException&) {
        // The reload did not bring the signal back (its definition failed): nothing to select.
    } catch (const std::invalid_argument&) {
        // Not a full signal name: nothing to select.
    }
}

void Window::updateSignals()
{
    Store& store = Store::instance();
    if (store.live)
        return;
    if (!store.hasLogFiles())
        reportInfo("No log files selected");
    else if (store.selectedSignalCount == 0)
        reportInfo("Select at least one signal");
    else if (store.dumpPending)
        reportInfo("Wait for dump to finish");
    else
        store.requestParse();
}

void Window::onParseProgress()
{
    Store& store = Store::instance();
    const u8 progress = store.progress;
    // The dispatcher may fire before the window has a Gdk window, and a display without
    // a cursor theme has no cursors.
    if (auto gdkWindow = get_window()) {
        auto cursor = store.isWorking() ? busyCursor : normalCursor;
        if (cursor)
            gdkWindow->set_cursor(cursor);
    }
    if (store.live)
        return;
    progressBar.set_fraction(progress / double(kProgressDone));
}

bool Window::onLiveTick()
{
    const bool wasReceiving = liveTick.receiving;
    const LiveTick::Display display = liveTick.tick(Store::instance().live, Store::instance().liveBlockCount);
    progressBar.set_visible(display.barShown);
    liveSpinner.set_visible(display.spinnerShown);
    if (display.spinning && !wasReceiving)
        liveSpinner.start();
    else if (!display.spinning && (wasReceiving || !display.spinnerShown))
        liveSpinner.stop();
    if (display.tooltip)
        liveSpinner.set_tooltip_text(display.tooltip);
    return true;
}

bool Window::onMessageTick()
{
    // A message dialog runs its own main loop, in which this timer fires again: the
    // entries are shown one after another, not stacked.
    if (!Store::instance().guiRunning || inMessageTick)
        return true;
    inMessageTick = true;
    guardHandler("Showing the messages", [this] {
        if (startupFlushPending) {
            startupFlushPending = false;
            showMessageLogDialog(this);
        }
        MessageLog& log = MessageLog::instance();
        while (!log.empty())
            showMessageEntry(*this, log.pop());
    });
    inMessageTick = false;
    return true;
}

} // namespace vistra
