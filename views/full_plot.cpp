#include "views/full_plot.h"

#include "core/settings.h"
#include "core/signal.h"
#include "store/store.h"
#include "views/handler_guard.h"
#include "views/plot_colour.h"
#include "views/plot_grid.h"
#include "views/plot_math.h"
#include "views/time_box.h"

#include <gdkmm/general.h>
#include <glibmm/main.h>

#include <vector>

namespace vistra {
namespace {

constexpr int kOverviewGridStep = 20;
constexpr unsigned kOverviewRerenderMs = 10000;

} // namespace

FullPlot::FullPlot()
    : renderer(*this, {.laneScale = 2, // the lanes are painted at twice their size
                       .holdsBusyMark = false,
                       .redrawContext = "Redrawing the overview",
                       .followLive = [this] { scheduleRerender(); }})
{
    set_size_request(-1, 200);
    add_events(Gdk::SCROLL_MASK | Gdk::POINTER_MOTION_MASK | Gdk::POINTER_MOTION_HINT_MASK |
               Gdk::BUTTON_PRESS_MASK | Gdk::BUTTON_RELEASE_MASK);
    Store::instance().dataChanged.connect(sigc::mem_fun(*this, &FullPlot::onStoreData));
    // The band follows the interval; the curves stay as they are.
    timeBox().changed.connect(sigc::mem_fun(*this, &FullPlot::queue_draw));
}

bool FullPlot::rerenderArmed()
{
    std::lock_guard lock(renderer.mutex);
    return rerenderPending;
}

void FullPlot::onStoreData()
{
    guardHandler("Showing new data", [this] {
        const StoreHost& host = storeHost();
        if (host.live) {
            scheduleRerender();
            return;
        }
        TimeBox& box = timeBox();
        if (box.empty())
            box.setInterval(host.viewStart, host.viewEnd, false);
        queue_resize(); // the new allocation's configure event renders
    });
}

void FullPlot::scheduleRerender()
{
    std::lock_guard lock(renderer.mutex);
    if (rerenderPending)
        return;
    Glib::signal_timeout().connect(sigc::mem_fun(*this, &FullPlot::onRerenderTimeout), kOverviewRerenderMs);
    rerenderPending = true;
}

bool FullPlot::onRerenderTimeout()
{
    guardHandler("Rendering the overview", [this] {
        {
            std::lock_guard lock(renderer.mutex);
            rerenderPending = false;
        }
        queue_resize();
    });
    return false;
}

bool FullPlot::on_configure_event(GdkEventConfigure* event)
{
    guardHandler("Rendering the overview", [&] { render(event->width, event->height); });
    return true;
}

void FullPlot::render(int width, int height)
{
    const std::vector<std::shared_ptr<Signal>> signals = storeHost().plotSignals();
    const StoreHost& host = storeHost();
    // Always the Store's whole view window. Runs with the renderer's mutex held.
    renderer.render(signals, Settings::instance()->getSplitView(), [&]() -> std::optional<RenderFrame> {
        const int n = static_cast<int>(signals.size());
        const int lane = n == 0 ? 0 : renderer.split ? height / n : height;
        if (n == 0 || lane < 1 || width < 1 || host.viewEnd <= host.viewStart) {
            // No signals, more signals than pixel rows, or no data: nothing to paint.
            renderer.frontImage.reset();
            return std::nullopt;
        }
        return RenderFrame{host.viewStart, host.viewEnd, width, height, lane};
    });
}

bool FullPlot::on_draw(const Cairo::RefPtr<Cairo::Context>& cr)
{
    return guardHandler("Drawing the overview", true, [&] {
        const int width = get_allocated_width();
        const int height = get_allocated_height();
        std::lock_guard lock(renderer.mutex);
        setSourceColour(cr, Settings::instance()->getBgColor(), 1.0);
        cr->paint();
        drawPlotGrid(cr, width, height, kOverviewGridStep, 0.2);
        if (renderer.frontImage && width > 0 && height > 0) {
            const auto scaled = renderer.frontImage->scale_simple(width, height, Gdk::INTERP_BILINEAR);
            Gdk::Cairo::set_source_pixbuf(cr, scaled, 0, 0);
            cr->paint();
            if (timeBox().to != 0)
                drawTimeBoxBand(cr, width, height);
        }
        return true;
    });
}

void FullPlot::drawTimeBoxBand(const Cairo::RefPtr<Cairo::Context>& cr, int width, int height)
{
    const TimeBox& box = timeBox();
    const auto band = overviewBand(box.from, box.to, renderer.frontStart, renderer.frontEnd, width);
    if (!band)
        return;
    cr->save();
    cr->set_source_rgba(0.5, 0.5, 0.5, 0.25);
    cr->rectangle(band->x, 0, band->width, height);
    cr->fill();
    cr->restore();
}

void FullPlot::centreOn(double x)
{
    u64 start;
    u64 end;
    {
        std::lock_guard lock(renderer.mutex);
        start = renderer.frontStart;
        end = renderer.frontEnd;
    }
    if (end == 0)
        return; // no image yet
    timeBox().centerOn(overviewTimeAt(x, get_allocated_width(), start, end));
}

bool FullPlot::on_button_press_event(GdkEventButton* event)
{
    guardHandler("Moving the visible interval", [&] {
        if (event->button != 1)
            return;
        dragging = true;
        centreOn(event->x);
    });
    return false;
}

bool FullPlot::on_button_release_event(GdkEventButton* event)
{
    if (event->button == 1)
        dragging = false;
    return false;
}

bool FullPlot::on_motion_notify_event(GdkEventMotion* event)
{
    guardHandler("Moving the visible interval", [&] {
        if (dragging)
            centreOn(event->x);
        if (event->is_hint)
            gdk_event_request_motions(event); // with motion hints, ask for the next one
    });
    return false;
}

bool FullPlot::on_scroll_event(GdkEventScroll* event)
{
    guardHandler("Zooming the visible interval", [&] {
        TimeBox& box = timeBox();
        if (box.to == 0 || (event->direction != GDK_SCROLL_UP && event->direction != GDK_SCROLL_DOWN))
            return;
        const StoreHost& host = storeHost();
        const auto zoomed = overviewZoom(event->x, get_allocated_width(), host.viewStart, host.viewEnd, box.from,
                                         box.to, event->direction == GDK_SCROLL_UP);
        if (zoomed)
            box.setInterval(zoomed->first, zoomed->second, true);
    });
    return false;
}

} // namespace vistra
