#pragma once
// The painter-pool client behind both plots. A render starts a generation and hands one
// task per plotted signal to the renderer's own painter threads; the finished lanes are
// composited into a back image, which becomes the front image once every task of the
// generation has come in; the owner's widget is then redrawn through a dispatcher. Late
// results of an older generation are dropped, so the front image always belongs to one
// generation, and until it is replaced the owner keeps drawing the previous one.
#include "core/types.h"
#include "views/painter_task.h"
#include "views/painter_thread_pool.h"

#include <cairomm/context.h>
#include <cairomm/surface.h>
#include <gdkmm/pixbuf.h>
#include <glibmm/dispatcher.h>
#include <gtkmm/widget.h>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace vistra {

class Signal;

// What one render paints: the time window at the image's edges and its size in pixels.
struct RenderFrame {
    u64 start = 0;
    u64 end = 0;
    i32 width = 0;
    i32 height = 0;
    i32 laneHeight = 0; // one lane in split view; the whole plot overlaid
};

struct PlotRendererOptions {
    // Split lanes are painted at this many times their size and scaled down when
    // composited, which smooths the curves the painter draws without antialiasing.
    int laneScale = 1;
    // A render holds one count of the Store's work counter until its image is drawn.
    bool holdsBusyMark = false;
    // What a failure in the redraw handler is reported as.
    const char* redrawContext = "Redrawing the plot";
    // GUI thread, after a completed generation was handed over while live data arrive.
    std::function<void()> followLive;
};

class PlotRenderer : public PainterThreadPoolUser {
public:
    PlotRenderer(Gtk::Widget& widget, PlotRendererOptions options);
    // Drops what finishes from now on, then stops and joins the painter threads before
    // anything they touch goes.
    ~PlotRenderer() override;

    PlotRenderer(const PlotRenderer&) = delete;
    PlotRenderer& operator=(const PlotRenderer&) = delete;

    // GUI thread. Starts a generation (also one that submits nothing: late results of the
    // previous one must neither land in the images nor count) and, with `mutex` held, asks
    // `plan` what to paint. Without a frame nothing is submitted, and `frontImage` is what
    // the plan left it. Then the old tasks are cancelled and the new ones handed out.
    void render(const std::vector<std::shared_ptr<Signal>>& signals, bool splitView,
                const std::function<std::optional<RenderFrame>()>& plan);
    // Reload: drops the queued and running tasks and the front image.
    void reset();
    // True while tasks of the current generation are out.
    [[nodiscard]] bool renderPending();
    // Redraws the widget from the GUI thread's main loop; any thread.
    void requestRedraw() { redraw.emit(); }
    // Gives the busy mark back, if held. Call with `mutex` held.
    void releaseBusyMark();

    // Painter threads.
    void onTaskFinished(std::shared_ptr<PainterTask> task) override;

    // Guards every field below (the painter threads composite into them) and the owner's
    // fields that go with them: the detail plot's lane geometry, highlight band and redraw
    // timer level, the overview's re-render flag. Taken before a signal's sample mutex;
    // never held while tasks are cancelled or handed out.
    std::mutex mutex;
    bool split = true; // the split_view setting at the last render
    u32 generation = 0;
    u32 outstanding = 0;         // tasks of the current generation not yet in
    bool generationDone = false; // the last task of a generation came in; onRedraw follows up
    bool busyMarked = false;
    // The image being composited: overlaid lanes are painted onto backContext, split ones
    // composited into backImage.
    Cairo::RefPtr<Cairo::ImageSurface> backSurface;
    Cairo::RefPtr<Cairo::Context> backContext;
    Glib::RefPtr<Gdk::Pixbuf> backImage;
    u64 imageStart = 0; // the time window of the render under way
    u64 imageEnd = 0;
    // The last complete image and its time window; empty until the first one.
    Glib::RefPtr<Gdk::Pixbuf> frontImage;
    u64 frontStart = 0;
    u64 frontEnd = 0;

private:
    void onRedraw();

    Gtk::Widget& widget;
    const PlotRendererOptions options;
    Glib::Dispatcher redraw;
    // Stopped and joined first in the destructor, before anything onTaskFinished touches.
    std::unique_ptr<PainterThreadPool> pool;
};

} // namespace vistra
