#include "views/plot_renderer.h"

#include "core/store_host.h"
#include "store/store.h"
#include "views/handler_guard.h"
#include "views/lane_compositor.h"

#include <utility>

namespace vistra {
namespace {

constexpr int kPainterThreads = 8;

} // namespace

PlotRenderer::PlotRenderer(Gtk::Widget& widget, PlotRendererOptions options)
    : widget(widget), options(std::move(options)), pool(std::make_unique<PainterThreadPool>(kPainterThreads))
{
    redraw.connect(sigc::mem_fun(*this, &PlotRenderer::onRedraw));
}

PlotRenderer::~PlotRenderer()
{
    {
        std::lock_guard lock(mutex);
        ++generation; // tasks finishing during teardown are dropped
        outstanding = 0;
        releaseBusyMark();
    }
    pool.reset(); // joins the painter threads: nothing below is touched by them any more
    std::lock_guard lock(mutex);
    frontImage.reset();
    backImage.reset();
    backContext.clear();
    backSurface.clear();
}

void PlotRenderer::releaseBusyMark()
{
    if (!busyMarked)
        return;
    busyMarked = false;
    Store::instance().endWork();
}

void PlotRenderer::render(const std::vector<std::shared_ptr<Signal>>& signals, bool splitView,
                          const std::function<std::optional<RenderFrame>()>& plan)
{
    std::vector<std::shared_ptr<PainterTask>> tasks;
    {
        std::lock_guard lock(mutex);
        split = splitView;
        ++generation;
        outstanding = 0;
        generationDone = false;
        if (const std::optional<RenderFrame> frame = plan()) {
            imageStart = frame->start;
            imageEnd = frame->end;
            backSurface = Cairo::ImageSurface::create(Cairo::FORMAT_ARGB32, frame->width, frame->height);
            backContext = Cairo::Context::create(backSurface);
            backImage = Gdk::Pixbuf::create(backSurface, 0, 0, frame->width, frame->height);
            const int scale = split ? options.laneScale : 1;
            int y = 0;
            for (const auto& signal : signals) {
                tasks.push_back(std::make_shared<PainterTask>(this, generation, signal, imageStart, imageEnd,
                                                              scale * frame->width, scale * frame->laneHeight, 0, y));
                if (split)
                    y += frame->laneHeight;
            }
        }
        outstanding = static_cast<u32>(tasks.size());
        if (tasks.empty()) {
            releaseBusyMark(); // nothing pending
        } else if (options.holdsBusyMark && !busyMarked) {
            busyMarked = true;
            Store::instance().beginWork();
        }
    }
    pool->cancelTasks();
    for (auto& task : tasks)
        pool->addTask(std::move(task));
}

void PlotRenderer::reset()
{
    pool->cancelTasks();
    std::lock_guard lock(mutex);
    ++generation;
    outstanding = 0;
    generationDone = false;
    // No image, no interval: a click on the overview must not centre on a dropped image.
    frontImage.reset();
    frontStart = 0;
    frontEnd = 0;
    releaseBusyMark();
}

bool PlotRenderer::renderPending()
{
    std::lock_guard lock(mutex);
    return outstanding != 0;
}

void PlotRenderer::onTaskFinished(std::shared_ptr<PainterTask> task)
{
    {
        std::lock_guard lock(mutex);
        if (task->generation != generation || outstanding == 0)
            return; // stale: neither shown nor counted
        addLane(*task, split, 1.0 / options.laneScale, backImage, backContext);
        if (--outstanding != 0)
            return;
        if (split)
            std::swap(backImage, frontImage);
        else if (backSurface)
            frontImage = Gdk::Pixbuf::create(backSurface, 0, 0, task->width, task->height);
        frontStart = imageStart;
        frontEnd = imageEnd;
        generationDone = true;
    }
    redraw.emit();
}

// GUI thread, after a painter thread completed a generation (or the owner asked for a
// redraw). The owner's timers are armed here rather than on the painter threads: Glib
// sources and sigc slots belong to the GUI thread.
void PlotRenderer::onRedraw()
{
    guardHandler(options.redrawContext, [this] {
        widget.queue_draw();
        bool completed;
        {
            std::lock_guard lock(mutex);
            completed = generationDone;
            generationDone = false;
            if (completed && outstanding == 0)
                releaseBusyMark(); // also when the widget is not drawn at all
        }
        if (completed && storeHost().live && options.followLive)
            options.followLive();
    });
}

} // namespace vistra
