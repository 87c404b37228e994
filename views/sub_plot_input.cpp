// The detail plot's mouse, wheel and keys, crop, copy and the ASC export.
#include "views/sub_plot.h"

#include "core/report.h"
#include "core/settings.h"
#include "core/signal.h"
#include "store/store.h"
#include "views/dialog_runner.h"
#include "views/file_chooser.h"
#include "views/handler_guard.h"
#include "views/ipc.h"
#include "views/plot_keys.h"
#include "views/time_box.h"

#include <gdkmm/cursor.h>
#include <gdkmm/display.h>
#include <glibmm/miscutils.h>
#include <gtkmm/filechooserdialog.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <string>

namespace vistra {
namespace {

int pixel(double x) { return static_cast<int>(std::clamp(std::trunc(x), double{INT_MIN}, double{INT_MAX})); }

bool isSet(u64 ruler) { return ruler != kNoTime; }

} // namespace

bool SubPlot::on_button_press_event(GdkEventButton* event)
{
    return guardHandler("Handling a click on the plot", true, [&] {
        // A double or triple click also delivers its single presses: acting on the extra
        // event would hide a second signal or open the popup twice.
        if (event->type != GDK_BUTTON_PRESS)
            return true;
        const int x = pixel(event->x);
        const bool control = (event->state & GDK_CONTROL_MASK) != 0;
        if ((event->button == 3 && control) || event->button == 2) {
            if (Settings::instance()->getSplitView() && !storeHost().plotSignals().empty())
                showPopupMenu(event->y);
            moveRuler(x);
            return true;
        }
        if (event->button == 3) {
            heldSecondary = true;
            moveRuler(x);
            return true;
        }
        if (event->button != 1)
            return false;
        if (clickModeOn())
            clickModeAction(event->y);
        else
            heldMain = true;
        moveRuler(x); // with a click mode on: only while a ruler button is still held
        return true;
    });
}

void SubPlot::clickModeAction(double y)
{
    const std::shared_ptr<Signal> signal = signalAtY(y);
    if (!signal || !host)
        return;
    if (hideMode) {
        if (!Store::instance().isBusy()) // which reports why not
            host->hideSignal(signal);
    } else if (colorMode) {
        host->chooseLineColor(signal);
    } else if (findMode) {
        host->findSignalInList(signal);
    } else if (statsMode) {
        host->showStats(signal);
    }
}

bool SubPlot::on_button_release_event(GdkEventButton* event)
{
    if (event->button == 3)
        heldSecondary = false;
    else if (event->button == 1)
        heldMain = false;
    return false;
}

bool SubPlot::on_motion_notify_event(GdkEventMotion* event)
{
    return guardHandler("Following the pointer over the plot", true, [&] {
        grab_focus(); // the plot's keys work as soon as the pointer is over it
        bool handled = false;
        if (clickModeOn()) {
            highlightSignal(signalAtY(event->y));
            moveRuler(pixel(event->x));
            handled = true;
        } else if (heldMain || heldSecondary) {
            moveRuler(pixel(event->x));
            handled = true;
        }
        // With the motion hint mask the next motion event comes only when asked for: one
        // event per pass of the main loop, however fast the pointer moves.
        gdk_event_request_motions(event);
        return handled;
    });
}

void SubPlot::moveRuler(int x)
{
    const u64 t = rulerTimeAt(x, shownFrom, shownTo, get_allocated_width());
    Store& store = Store::instance();
    if (heldMain)
        store.leftRuler = t;
    else if (heldSecondary)
        store.rightRuler = t;
    else
        return;
    rulersMoved();
}

void SubPlot::deleteRulers()
{
    Store& store = Store::instance();
    store.leftRuler = kNoTime;
    store.rightRuler = kNoTime;
    rulersMoved();
}

// Only a redraw: the image stays as it is, and GTK draws once per frame however many
// times this runs in between.
void SubPlot::rulersMoved()
{
    Store& store = Store::instance();
    IPC::instance().setRulers(store.leftRuler, store.rightRuler);
    store.markersChanged.emit();
    queue_draw();
}

bool SubPlot::on_scroll_event(GdkEventScroll* event)
{
    return guardHandler("Zooming the plot", true, [&] {
        if (shownTo == 0)
            return true;
        const bool shift = (event->state & GDK_SHIFT_MASK) != 0;
        PlotMove step = PlotMove::None;
        switch (event->direction) {
        case GDK_SCROLL_UP:
            step = shift ? PlotMove::PanEarlier : PlotMove::ZoomIn;
            break;
        case GDK_SCROLL_DOWN:
            step = shift ? PlotMove::PanLater : PlotMove::ZoomOut;
            break;
        case GDK_SCROLL_LEFT:
            step = PlotMove::PanLater;
            break;
        case GDK_SCROLL_RIGHT:
            step = PlotMove::PanEarlier;
            break;
        default:
            break;
        }
        move(step, event->x);
        return true;
    });
}

void SubPlot::zoomOrPan(bool zoomIn, bool zoomOut, bool panLeft, bool panRight, double x)
{
    if (shownTo == 0)
        return;
    PlotMove step = PlotMove::None;
    if (panLeft)
        step = PlotMove::PanEarlier;
    else if (panRight)
        step = PlotMove::PanLater;
    else if (zoomIn)
        step = PlotMove::ZoomIn;
    else if (zoomOut)
        step = PlotMove::ZoomOut;
    move(step, x);
}

void SubPlot::move(PlotMove step, double x)
{
    const StoreHost& host = storeHost();
    publishInterval(movedInterval(step, x, get_allocated_width(), shownFrom, shownTo, host.viewStart, host.viewEnd));
}

void SubPlot::publishInterval(SignedInterval interval)
{
    if (interval.from < 0 || interval.to < interval.from)
        return; // no interval: TimeBox would read the negative end as a huge one
    const u64 from = static_cast<u64>(interval.from);
    const u64 to = static_cast<u64>(interval.to);
    TimeBox& box = timeBox();
    box.setInterval(from, to, true);
    // The plot shows what every other view shows: when TimeBox refuses the pair, the plot
    // keeps its interval too.
    if (box.from == from && box.to == to) {
        shownFrom = from;
        shownTo = to;
    }
}

bool SubPlot::on_key_press_event(GdkEventKey* event)
{
    return guardHandler("Handling a key on the plot", true, [&] {
        switch (plotKeyAction(event->keyval, event->state)) {
        case PlotKey::None:
            return false;
        case PlotKey::ExportAsc:
            dumpVisibleRangeAsc();
            break;
        case PlotKey::Copy:
            copyToClipboard();
            break;
        case PlotKey::ToggleDelta:
            toggleShowDelta();
            break;
        case PlotKey::TogglePrettyTime:
            togglePrettyTime();
            break;
        case PlotKey::Uncrop:
            Store::instance().resetViewWindowAndNotify();
            break;
        case PlotKey::Crop:
            crop();
            break;
        case PlotKey::DeleteRulers:
            deleteRulers();
            break;
        case PlotKey::PanEarlier:
            zoomOrPan(false, false, true, false, 0);
            break;
        case PlotKey::PanLater:
            zoomOrPan(false, false, false, true, 0);
            break;
        case PlotKey::ZoomIn:
            zoomOrPan(true, false, false, false, 0);
            break;
        case PlotKey::ZoomOut:
            zoomOrPan(false, true, false, false, 0);
            break;
        }
        return true;
    });
}

void SubPlot::crop()
{
    Store& store = Store::instance();
    TimeBox& box = timeBox();
    const u64 r1 = store.leftRuler;
    const u64 r2 = store.rightRuler;
    if (isSet(r1) && isSet(r2)) {
        const i64 a = static_cast<i64>(r1);
        const i64 b = static_cast<i64>(r2);
        box.setInterval(static_cast<u64>(std::min(a, b)), static_cast<u64>(std::max(a, b)), true);
    }
    // Nothing shown yet: a view window of [0, 0] would hide all data until an uncrop.
    if (box.empty())
        return;
    store.setViewWindow(box.from, box.to);
}

void SubPlot::copyToClipboard()
{
    Store& store = Store::instance();
    if (store.isBusy())
        return;
    const u64 r1 = store.leftRuler;
    const u64 r2 = store.rightRuler;
    if (isSet(r1) && isSet(r2))
        sampleRateDialogue.setInterval(r1, r2);
    else
        sampleRateDialogue.setInterval(timeBox().from, timeBox().to);
}

void SubPlot::dumpVisibleRangeAsc()
{
    static std::string folder = Glib::get_home_dir(); // remembered across exports
    Store& store = Store::instance();
    if (store.isBusy())
        return;
    if (store.live) {
        reportInfo("CAN dump is only possible when viewing data from log files");
        return;
    }
    if (!store.hasLogFiles()) {
        reportInfo("Couldn't dump data, no log files selected");
        return;
    }
    Gtk::FileChooserDialog dialog("Select file to write ASC data to", Gtk::FILE_CHOOSER_ACTION_SAVE);
    if (auto* top = dynamic_cast<Gtk::Window*>(get_toplevel()); top && top->get_is_toplevel())
        dialog.set_transient_for(*top);
    setUpFileChooser(dialog, "ASC-files", {"*.asc", "*.ASC"}, "ALL");
    dialog.set_current_name("trace.asc");
    dialog.set_current_folder(folder);
    if (runDialog(dialog) != Gtk::RESPONSE_OK)
        return;
    const std::string path = dialog.get_filename();
    if (path.empty())
        return;
    folder = Glib::path_get_dirname(path);
    const TimeRange range = exportRange(store.leftRuler, store.rightRuler, timeBox().from, timeBox().to);
    // The bytes of the file name as they are: the Store opens it with fopen.
    store.requestDump(Glib::ustring(path), range.from, range.to);
}

void SubPlot::toggleSplitView()
{
    Settings& settings = *Settings::instance();
    settings.setSplitView(!settings.getSplitView());
    Store::instance().emitDataChanged();
}

void SubPlot::togglePrettyTime()
{
    Settings& settings = *Settings::instance();
    settings.setPrettyTime(!settings.getPrettyTime());
    queue_draw();
}

void SubPlot::toggleShowDelta()
{
    Settings& settings = *Settings::instance();
    settings.setShowDelta(!settings.getShowDelta());
    queue_draw();
}

void SubPlot::setHideMode(bool on) { setClickMode(hideMode, on); }
void SubPlot::setColorMode(bool on) { setClickMode(colorMode, on); }
void SubPlot::setFindMode(bool on) { setClickMode(findMode, on); }
void SubPlot::setStatsMode(bool on) { setClickMode(statsMode, on); }

void SubPlot::setClickMode(bool& mode, bool on)
{
    mode = on;
    // Before the widget is realised it has no window to carry a cursor.
    const Glib::RefPtr<Gdk::Window> window = get_window();
    if (!window)
        return;
    if (on)
        window->set_cursor(Gdk::Cursor::create(Gdk::Display::get_default(), "crosshair"));
    else
        window->set_cursor(); // the default, also while another mode is still on
}

void SubPlot::showPopupMenu(double y)
{
    const std::shared_ptr<Signal> signal = signalAtY(y);
    if (signal && host)
        host->popupPlotMenu(signal);
}

} // namespace vistra
