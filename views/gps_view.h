#pragma once
// The GPS plot's picture, without the widget: how the track is fitted into the widget
// (north up, the same scale in x and y), how the wheel zooms about the pointer, and the
// drawing of the track and its marks onto a Cairo context.
#include "core/types.h"
#include "virtual/gps_track.h"

#include <cairomm/context.h>

#include <vector>

namespace vistra {

// Where a track point lands: X = (x - minX) * scale + offsetX - panX, the same with y.
struct GpsFit {
    bool empty = true; // no point in the view window: nothing is drawn
    double minX = 0.0;
    double minY = 0.0;
    double scale = 1.0;
    double offsetX = 0.0;
    double offsetY = 0.0;
};

// The zoom and pan of the plot and the pointer they follow.
struct GpsZoom {
    double zoom = 1.0;
    double pointerX = 0.0; // widget pixels
    double pointerY = 0.0;
    double imagePointerX = 0.0; // the pointer in the zoomed picture: pointer + pan
    double imagePointerY = 0.0;
    double panX = 0.0;
    double panY = 0.0;

    void pointerMoved(double x, double y);
    // One wheel step: up zooms in by 1.2 about the pointer, down zooms out by the same
    // factor and returns to the whole track (zoom 1, no pan) below 1.1.
    void wheel(bool up);
    void reset();
};

// The time-ordered points with times in [viewStart, viewEnd], fitted into a picture of
// zoomedWidth x zoomedHeight pixels keeping the aspect ratio and centred along the shorter
// extent. Points that all share one position land in the middle.
GpsFit fitTrack(const std::vector<TrackPoint>& track, u64 viewStart, u64 viewEnd, double zoomedWidth,
                double zoomedHeight);

// What the picture marks, all times in ms; rulers are kNoTime when unset.
struct GpsMarks {
    u64 viewStart = 0;
    u64 viewEnd = 0;
    u64 shownFrom = 0; // the visible interval of the detail plot
    u64 shownTo = 0;
    u64 leftRuler = kNoTime;
    u64 rightRuler = kNoTime;
    u64 lastPointTime = 0;
};

// The track of the view window in pale grey, its part in the visible interval in grey,
// between the two rulers (both set) in pale red and its last minute in red, clipped to a
// picture of width x height pixels.
void drawTrack(const Cairo::RefPtr<Cairo::Context>& cr, const std::vector<TrackPoint>& track, const GpsFit& fit,
               const GpsZoom& zoom, const GpsMarks& marks, int width, int height);

// A circle around the first point after each set ruler: the right ruler's green, the left
// ruler's pink. None for a ruler at or after the last point.
void drawRulerCircles(const Cairo::RefPtr<Cairo::Context>& cr, const std::vector<TrackPoint>& track,
                      const GpsFit& fit, const GpsZoom& zoom, u64 leftRuler, u64 rightRuler);

} // namespace vistra
