#pragma once
// The GPS plot: the logger's GPS track drawn north up, with the part inside the visible
// interval, the stretch between the rulers, the last minute and the ruler positions
// marked. The wheel zooms about the pointer and Escape shows the whole track again. The
// track is drawn into an image on every resize and on every change of what it marks; a
// draw only paints that image and the ruler circles.
#include "views/gps_view.h"
#include "virtual/gps_track.h"

#include <cairomm/surface.h>
#include <gtkmm/drawingarea.h>
#include <gtkmm/window.h>

#include <memory>

namespace vistra {

class GPSPlot : public Gtk::DrawingArea {
public:
    GPSPlot();
    ~GPSPlot() override;

    // Shows `track` (once: a plot with a track keeps it): the track gets a user, so that
    // loading computes it, and a parse is requested unless it has data or data arrive live.
    void setSource(std::shared_ptr<GPSTrack> track);
    // Lets go of the track (a reload made a new one).
    void releaseSource();

    const std::shared_ptr<GPSTrack>& track() const { return source; }
    const GpsFit& trackFit() const { return fit; }
    const GpsZoom& zoomState() const { return view; }
    // The last rendered picture of the track, without the ruler circles; empty before the
    // first configure event.
    const Cairo::RefPtr<Cairo::ImageSurface>& image() const { return picture; }

protected:
    bool on_button_press_event(GdkEventButton* event) override;
    bool on_button_release_event(GdkEventButton* event) override;
    bool on_scroll_event(GdkEventScroll* event) override;
    bool on_motion_notify_event(GdkEventMotion* event) override;
    bool on_draw(const Cairo::RefPtr<Cairo::Context>& cr) override;
    bool on_key_press_event(GdkEventKey* event) override;
    bool on_configure_event(GdkEventConfigure* event) override;

private:
    void render(int width, int height);
    void onShownChanged();

    std::shared_ptr<GPSTrack> source;
    // The points the picture was drawn from: the circles of a later draw use the same.
    TrackCopy drawn;
    GpsFit fit;
    GpsZoom view;
    Cairo::RefPtr<Cairo::ImageSurface> picture;
};

class GPSPlotWin : public Gtk::Window {
public:
    GPSPlotWin();
    ~GPSPlotWin() override;

    GPSPlot plot;
    // The main window gave the plot the track of the current load.
    bool trackAttached = false;
};

} // namespace vistra
