#pragma once
// The arithmetic of the two plot widgets, kept apart from the widgets so that it can be
// checked without a display: which time range the detail plot's image covers, where a
// time lands in pixels, the band of the visible interval in the overview strip, how the
// overview's clicks and wheel and the detail plot's wheel and arrow keys move and zoom the
// visible interval, where a ruler lands, and which range an export writes.
#include "core/types.h"

#include <optional>
#include <utility>

namespace vistra {

// Beyond this a coordinate no longer fits Cairo's 24.8 fixed-point numbers.
inline constexpr int kMaxCoordinate = 4194303;

// The latest time (ms since the epoch, some 285000 years) that the plots place: the
// difference of two times up to it neither overflows nor loses a millisecond in a double.
// Times from outside the program (the link to other copies) are checked against it.
inline constexpr u64 kLatestPlotTime = u64{1} << 53;

// The detail plot's image: the shown interval widened by up to half a span on each side,
// as far as the view window reaches, at the widget's milliseconds per pixel.
struct ImageWindow {
    u64 shownFrom = 0; // the shown interval; the whole view window on the first render
    u64 shownTo = 0;
    u64 imageStart = 0; // times at the image's left and right edge
    u64 imageEnd = 0;
    int width = 0; // 0: nothing to render (no data, or an empty shown interval)
};

// shownTo = 0 means nothing is shown yet: the shown interval becomes the view window
// [viewStart, viewEnd], without margins. viewEnd = 0 means no data.
ImageWindow imageWindow(u64 shownFrom, u64 shownTo, u64 viewStart, u64 viewEnd, int widgetWidth);

// x of t in `width` pixels showing [from, to], clamped to ±kMaxCoordinate; 0 for an empty
// interval.
int timeToPixel(u64 t, u64 from, u64 to, int width);

// The band of [from, to] in an overview image of `width` pixels covering
// [wholeStart, wholeEnd]: its left edge and its width (at least 3 pixels). None when the
// image covers no time. Ends outside the image's range stay just outside the strip.
struct Band {
    int x = 0;
    int width = 0;
};
std::optional<Band> overviewBand(u64 from, u64 to, u64 wholeStart, u64 wholeEnd, int width);

// The time under pixel x (truncated to a whole pixel, at least 0) of an overview strip of
// `width` pixels covering [wholeStart, wholeEnd].
u64 overviewTimeAt(double x, int width, u64 wholeStart, u64 wholeEnd);

// The visible interval after one wheel step over pixel x of the overview strip: the span
// shrinks by 1/1.2 (zoom in) or grows by 1.2 about the pointer's time in the view window,
// centred on it and kept inside the view window; never shorter than 1 ms. None when the
// strip has no width or the view window is empty.
std::optional<std::pair<u64, u64>> overviewZoom(double x, int width, u64 viewStart, u64 viewEnd, u64 from,
                                                u64 to, bool zoomIn);


// The time under pixel x of the detail plot showing [shownFrom, shownTo] in `width`
// pixels. Left of the widget it is shownFrom; right of it the time goes on past shownTo.
u64 rulerTimeAt(int x, u64 shownFrom, u64 shownTo, int width);

// One step of the detail plot's wheel or arrow keys.
enum class PlotMove { None, ZoomIn, ZoomOut, PanEarlier, PanLater };

// The detail plot's interval after one step over pixel x: a zoom keeps the time under the
// pointer in place (x = 0 zooms about the middle), a pan moves by a tenth of the span but
// no further than the data reaches. Never shorter than 1 ms; cut to the view window.
// Signed: a result with to < from is no interval at all.
struct SignedInterval {
    i64 from = 0;
    i64 to = 0;
};
SignedInterval movedInterval(PlotMove move, double x, int width, u64 shownFrom, u64 shownTo, u64 viewStart,
                             u64 viewEnd);

// The range an export writes: between the rulers when both are set (either order), else
// the visible interval; everything when nothing is shown.
struct TimeRange {
    u64 from = 0;
    u64 to = 0;
};
TimeRange exportRange(u64 leftRuler, u64 rightRuler, u64 shownFrom, u64 shownTo);

} // namespace vistra
