#pragma once
// The overview strip under the detail plot: every plotted signal over the Store's whole
// view window, with a translucent band over the visible interval. A click or drag with
// button 1 centres the visible interval on the pointer's time; the wheel zooms it about
// the pointer.
//
// Curves are painted by the widget's own painter pool and composited here. Listens to
// Store::dataChanged (re-render; in live mode at most every 10 s; the first data set the
// visible interval to the whole range) and TimeBox::changed (the band follows, without a
// new render).
#include "core/types.h"
#include "views/painter_task.h"
#include "views/painter_thread_pool.h"

#include <cairomm/context.h>
#include <cairomm/surface.h>
#include <gdkmm/pixbuf.h>
#include <glibmm/dispatcher.h>
#include <gtkmm/drawingarea.h>

#include <memory>
#include <mutex>

namespace vistra {

class FullPlot : public Gtk::DrawingArea, public PainterThreadPoolUser {
public:
    FullPlot();
    ~FullPlot() override;

    FullPlot(const FullPlot&) = delete;
    FullPlot& operator=(const FullPlot&) = delete;

    // Reload: drops the queued and running tasks and the image.
    void reset();

    // Painter threads.
    void onTaskFinished(std::shared_ptr<PainterTask> task) override;

    // True while tasks of the current render are out.
    bool renderPending();
    // A live-mode re-render is armed.
    bool rerenderArmed();

    bool on_configure_event(GdkEventConfigure* event) override;
    bool on_draw(const Cairo::RefPtr<Cairo::Context>& cr) override;
    // Each returns false: the event also reaches the parent.
    bool on_button_press_event(GdkEventButton* event) override;
    bool on_button_release_event(GdkEventButton* event) override;
    bool on_motion_notify_event(GdkEventMotion* event) override;
    bool on_scroll_event(GdkEventScroll* event) override;

private:
    void render(int width, int height);
    void onStoreData();
    void onRedraw();
    void scheduleRerender();
    bool onRerenderTimeout();
    void drawTimeBoxBand(const Cairo::RefPtr<Cairo::Context>& cr, int width, int height);
    void centreOn(double x);

    std::mutex mutex;
    // Stopped and joined first in the destructor, before anything onTaskFinished touches.
    std::unique_ptr<PainterThreadPool> pool;
    Glib::Dispatcher redraw;
    u32 generation = 0;
    i32 outstanding = 0;
    bool generationDone = false; // the last task of a render came in; onRedraw follows up
    bool rerenderPending = false;
    bool splitLanes = true;
    Cairo::RefPtr<Cairo::ImageSurface> backSurface;
    Cairo::RefPtr<Cairo::Context> backContext;
    Glib::RefPtr<Gdk::Pixbuf> laneImage;
    u64 pendingStart = 0;
    u64 pendingEnd = 0;
    Glib::RefPtr<Gdk::Pixbuf> image;
    u64 wholeStart = 0;
    u64 wholeEnd = 0;
    bool dragging = false;
};

} // namespace vistra
