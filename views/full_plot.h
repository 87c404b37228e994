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
#include "views/plot_renderer.h"

#include <cairomm/context.h>
#include <gtkmm/drawingarea.h>

namespace vistra {

class FullPlot : public Gtk::DrawingArea {
public:
    FullPlot();

    FullPlot(const FullPlot&) = delete;
    FullPlot& operator=(const FullPlot&) = delete;

    // Reload: drops the queued and running tasks and the image.
    void reset() { renderer.reset(); }

    // True while tasks of the current render are out.
    bool renderPending() { return renderer.renderPending(); }
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
    void scheduleRerender();
    bool onRerenderTimeout();
    void drawTimeBoxBand(const Cairo::RefPtr<Cairo::Context>& cr, int width, int height);
    void centreOn(double x);

    PlotRenderer renderer;
    bool rerenderPending = false; // guarded by the renderer's mutex
    bool dragging = false;
};

} // namespace vistra
