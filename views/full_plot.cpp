#include "views/full_plot.h"

#include "core/settings.h"
#include "core/signal.h"
#include "store/store.h"
#include "views/handler_guard.h"
#include "views/lane_compositor.h"
#include "views/plot_colour.h"
#include "views/plot_grid.h"
#include "views/plot_math.h"
#include "views/time_box.h"

#include <gdkmm/general.h>
#include <glibmm/main.h>

#include <vector>

namespace vistra {
namespace {

constexpr int kPainterThreads = 8;
constexpr int kGridStep = 20;
constexpr unsigned kLiveRerenderMs = 10000;

} // namespace

FullPlot::FullPlot() : pool(std::make_unique<PainterThreadPool>(kPainterThreads))
{
    set_size_request(-1, 200);
    add_events(Gdk::SCROLL_MASK | Gdk::POINTER_MOTION_MASK | Gdk::POINTER_MOTION_HINT_MASK |
               Gdk::BUTTON_PRESS_MASK | Gdk::BUTTON_RELEASE_MASK);
    redraw.connect(sigc::mem_fun(*this, &FullPlot::onRedraw));
    Store::instance().dataChanged.connect(sigc::mem_fun(*this, &FullPlot::onStoreData));
    // The band follows the interval; the curves stay as they are.
    timeBox().changed.connect(sigc::mem_fun(*this, &FullPlot::queue_draw));
}

FullPlot::~FullPlot()
{
    {
        std::lock_guard lock(mutex);
        ++generation; // tasks finishing during teardown are dropped
    }
    pool.reset(); // joins the painter threads: nothing below is touched by them any more
    std::lock_guard lock(mutex);
    image.reset();
    laneImage.reset();
    backContext.clear();
    backSurface.clear();
}

void FullPlot::reset()
{
    pool->cancelTasks();
    std::lock_guard lock(mutex);
    ++generation;
    outstanding = 0;
    generationDone = false;
    image.reset();
}

bool FullPlot::renderPending()
{
    std::lock_guard lock(mutex);
    return outstanding != 0;
}

bool FullPlot::rerenderArmed()
{
    std::lock_guard lock(mutex);
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
    std::lock_guard lock(mutex);
    if (rerenderPending)
        return;
    Glib::signal_timeout().connect(sigc::mem_fun(*this, &FullPlot::onRerenderTimeout), kLiveRerenderMs);
    rerenderPending = true;
}

bool FullPlot::onRerenderTimeout()
{
    guardHandler("Rendering the overview", [this] {
        {
            std::lock_guard lock(mutex);
            rerenderPending = false;
        }
        queue_resize();
    });
    return false;
}

// GUI thread, after a painter thread completed a render. The live re-render is armed
// here rather than on the painter thread: Glib sources belong to the GUI thread.
void FullPlot::onRedraw()
{
    guardHandler("Redrawing the overview", [this] {
        queue_draw();
        bool completed;
        {
            std::lock_guard lock(mutex);
            completed = generationDone;
            generationDone = false;
        }
        if (completed && storeHost().live)
            scheduleRerender();
    });
}

bool FullPlot::on_configure_event(GdkEventConfigure* event)
{
    guardHandler("Rendering the overview", [&] { render(event->width, event->height); });
    return true;
}

void FullPlot::render(int width, int height)
{
    const std::vector<std::shared_ptr<Signal>> signals = storeHost().plotSignals();
    const bool split = Settings::instance()->getSplitView();
    const StoreHost& host = storeHost();
    std::vector<std::shared_ptr<PainterTask>> tasks;
    {
        std::lock_guard lock(mutex);
        pendingStart = host.viewStart;
        pendingEnd = host.viewEnd;
        splitLanes = split;
        // Every render starts a generation, also one that submits nothing: late results of
        // the previous one must neither land in the images nor count.
        ++generation;
        outstanding = 0;
        generationDone = false;
        const int n = static_cast<int>(signals.size());
        const int lane = n == 0 ? 0 : splitLanes ? height / n : height;
        if (n == 0 || lane < 1 || width < 1 || pendingEnd <= pendingStart) {
            // No signals, more signals than pixel rows, or no data: nothing to paint.
            image.reset();
        } else {
            backSurface = Cairo::ImageSurface::create(Cairo::FORMAT_ARGB32, width, height);
            backContext = Cairo::Context::create(backSurface);
            laneImage = Gdk::Pixbuf::create(backSurface, 0, 0, width, height);
            int y = 0;
            for (const auto& signal : signals) {
                // Lanes are painted at twice their size and halved when composited, which
                // smooths the curves the painter draws without antialiasing.
                if (splitLanes)
                    tasks.push_back(std::make_shared<PainterTask>(this, generation, signal, pendingStart, pendingEnd,
                                                                  2 * width, 2 * lane, 0, y));
                else
                    tasks.push_back(std::make_shared<PainterTask>(this, generation, signal, pendingStart, pendingEnd,
                                                                  width, height, 0, 0));
                if (splitLanes)
                    y += lane;
            }
        }
        outstanding = static_cast<i32>(tasks.size());
    }
    pool->cancelTasks();
    for (auto& task : tasks)
        pool->addTask(std::move(task));
}

void FullPlot::onTaskFinished(std::shared_ptr<PainterTask> task)
{
    {
        std::lock_guard lock(mutex);
        if (task->generation != generation || outstanding <= 0)
            return; // stale: neither shown nor counted
        addLane(*task, splitLanes, 0.5, laneImage, backContext);
        if (--outstanding != 0)
            return;
        if (splitLanes)
            std::swap(image, laneImage);
        else if (backSurface)
            image = Gdk::Pixbuf::create(backSurface, 0, 0, task->width, task->height);
        wholeStart = pendingStart;
        wholeEnd = pendingEnd;
        generationDone = true;
    }
    redraw.emit();
}

bool FullPlot::on_draw(const Cairo::RefPtr<Cairo::Context>& cr)
{
    return guardHandler("Drawing the overview", true, [&] {
        const int width = get_allocated_width();
        const int height = get_allocated_height();
        std::lock_guard lock(mutex);
        setSourceColour(cr, Settings::instance()->getBgColor(), 1.0);
        cr->paint();
        drawPlotGrid(cr, width, height, kGridStep, 0.2);
        if (image && width > 0 && height > 0) {
            const auto scaled = image->scale_simple(width, height, Gdk::INTERP_BILINEAR);
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
    const auto band = overviewBand(box.from, box.to, wholeStart, wholeEnd, width);
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
        std::lock_guard lock(mutex);
        start = wholeStart;
        end = wholeEnd;
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
