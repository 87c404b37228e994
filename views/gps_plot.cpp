#include "views/gps_plot.h"

#include "store/store.h"
#include "views/handler_guard.h"
#include "views/ipc.h"
#include "views/time_box.h"

#include <gdk/gdkkeysyms.h>

namespace vistra {

GPSPlot::GPSPlot()
{
    set_size_request(400, 400);
    add_events(Gdk::SCROLL_MASK | Gdk::KEY_PRESS_MASK | Gdk::POINTER_MOTION_MASK | Gdk::POINTER_MOTION_HINT_MASK);
    set_can_focus(true);
    // Each of these leads to a configure event, which renders. Widgets are trackable: the
    // connections end with the widget.
    Store& store = Store::instance();
    store.dataChanged.connect(sigc::mem_fun(*this, &GPSPlot::onShownChanged));
    store.markersChanged.connect(sigc::mem_fun(*this, &GPSPlot::onShownChanged));
    timeBox().changed.connect(sigc::mem_fun(*this, &GPSPlot::onShownChanged));
    // Rulers moved in another linked copy (the detail plot has taken them into the Store).
    IPC::instance().rulersChanged.connect(sigc::mem_fun(*this, &GPSPlot::onShownChanged));
}

GPSPlot::~GPSPlot() = default;

void GPSPlot::onShownChanged() { queue_resize(); }

void GPSPlot::setSource(std::shared_ptr<GPSTrack> track)
{
    if (source || !track)
        return;
    source = std::move(track);
    source->addUser(nullptr);
    Store& store = Store::instance();
    store.refreshPlotSignals();
    if (!source->hasData && !store.live)
        store.requestParse();
    queue_resize();
}

void GPSPlot::releaseSource()
{
    source.reset();
    drawn = TrackCopy{};
    fit = GpsFit{};
    queue_resize();
}

void GPSPlot::render(int width, int height)
{
    drawn = source ? source->copy() : TrackCopy{};
    const Store& store = Store::instance();
    const TimeBox& box = timeBox();
    GpsMarks marks;
    marks.viewStart = store.viewStart;
    marks.viewEnd = store.viewEnd;
    marks.shownFrom = box.from;
    marks.shownTo = box.to;
    marks.leftRuler = store.leftRuler;
    marks.rightRuler = store.rightRuler;
    marks.lastPointTime = drawn.lastPointTime;
    fit = fitTrack(drawn.track, marks.viewStart, marks.viewEnd, width * view.zoom, height * view.zoom);
    picture = Cairo::ImageSurface::create(Cairo::FORMAT_ARGB32, std::max(width, 0), std::max(height, 0));
    drawTrack(Cairo::Context::create(picture), drawn.track, fit, view, marks, width, height);
    queue_draw();
}

bool GPSPlot::on_configure_event(GdkEventConfigure* event)
{
    guardHandler("Drawing the GPS track", [&] { render(event->width, event->height); });
    return true;
}

bool GPSPlot::on_draw(const Cairo::RefPtr<Cairo::Context>& cr)
{
    if (!picture)
        return false;
    cr->set_source(picture, 0.0, 0.0);
    cr->paint();
    const Store& store = Store::instance();
    drawRulerCircles(cr, drawn.track, fit, view, store.leftRuler, store.rightRuler);
    return true;
}

bool GPSPlot::on_button_press_event(GdkEventButton*) { return false; }

bool GPSPlot::on_button_release_event(GdkEventButton*) { return false; }

bool GPSPlot::on_scroll_event(GdkEventScroll* event)
{
    if (event->direction != GDK_SCROLL_UP && event->direction != GDK_SCROLL_DOWN)
        return false;
    view.wheel(event->direction == GDK_SCROLL_UP);
    queue_resize();
    return true;
}

bool GPSPlot::on_motion_notify_event(GdkEventMotion* event)
{
    view.pointerMoved(event->x, event->y);
    gdk_event_request_motions(event); // pointer-motion hints: ask for the next one
    return false;
}

bool GPSPlot::on_key_press_event(GdkEventKey* event)
{
    if (event->keyval != GDK_KEY_Escape)
        return false;
    view.reset();
    queue_resize();
    return true;
}

GPSPlotWin::GPSPlotWin()
{
    set_title("GPS Plot");
    add(plot);
    show_all_children();
}

GPSPlotWin::~GPSPlotWin() = default;

} // namespace vistra
