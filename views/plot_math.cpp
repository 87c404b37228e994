#include "views/plot_math.h"

#include <algorithm>
#include <cmath>

namespace vistra {
namespace {

int clampToInt(double v, double low, double high)
{
    if (std::isnan(v))
        return 0;
    return static_cast<int>(std::clamp(v, low, high));
}

// Signed difference of two times; times are ms since the epoch, far below the signed range.
double difference(u64 a, u64 b) { return static_cast<double>(static_cast<i64>(a) - static_cast<i64>(b)); }

} // namespace

ImageWindow imageWindow(u64 shownFrom, u64 shownTo, u64 viewStart, u64 viewEnd, int widgetWidth)
{
    ImageWindow w;
    w.shownFrom = shownFrom;
    w.shownTo = shownTo;
    if (shownTo == 0) {
        if (viewEnd == 0 || viewStart > viewEnd)
            return w;
        w.shownFrom = viewStart;
        w.shownTo = viewEnd;
        w.imageStart = viewStart;
        w.imageEnd = viewEnd;
    } else {
        if (shownTo <= shownFrom)
            return w;
        const u64 half = (shownTo - shownFrom) / 2;
        // An interval reaching past the view window (left from before a crop) gets no
        // margin on that side rather than a wrapped one.
        const u64 a = shownFrom > viewStart ? std::min(shownFrom - viewStart, half) : 0;
        const u64 b = viewEnd > shownTo ? std::min(viewEnd - shownTo, half) : 0;
        w.imageStart = shownFrom - a;
        w.imageEnd = shownTo + b;
    }
    const u64 span = w.shownTo - w.shownFrom;
    if (span == 0 || widgetWidth <= 0)
        return w;
    // In doubles: the image's share of the span is rarely a whole number.
    w.width = static_cast<int>(static_cast<double>(w.imageEnd - w.imageStart) / static_cast<double>(span) *
                               widgetWidth);
    return w;
}

int timeToPixel(u64 t, u64 from, u64 to, int width)
{
    if (to == from)
        return 0;
    return clampToInt(width * difference(t, from) / difference(to, from), -kMaxCoordinate, kMaxCoordinate);
}

std::optional<Band> overviewBand(u64 from, u64 to, u64 wholeStart, u64 wholeEnd, int width)
{
    if (wholeEnd <= wholeStart || width <= 0)
        return std::nullopt;
    const double whole = difference(wholeEnd, wholeStart);
    const double low = -1.0;
    const double high = width + 1.0;
    const int x1 = clampToInt(width * difference(from, wholeStart) / whole, low, high);
    const int x2 = clampToInt(width * difference(to, wholeStart) / whole, low, high);
    return Band{x1, std::max(x2 - x1, 3)};
}

u64 overviewTimeAt(double x, int width, u64 wholeStart, u64 wholeEnd)
{
    if (width <= 0 || wholeEnd <= wholeStart || !(x > 0))
        return wholeStart;
    const u64 pixel = static_cast<u64>(std::min(x, static_cast<double>(kMaxCoordinate)));
    return wholeStart + (wholeEnd - wholeStart) * pixel / static_cast<u64>(width);
}

std::optional<std::pair<u64, u64>> overviewZoom(double x, int width, u64 viewStart, u64 viewEnd, u64 from,
                                                u64 to, bool zoomIn)
{
    if (width <= 0 || viewEnd < viewStart || to < from)
        return std::nullopt;
    const i64 start = static_cast<i64>(viewStart);
    const i64 end = static_cast<i64>(viewEnd);
    const double t = start + x / width * difference(viewEnd, viewStart);
    const double span = difference(to, from) * (zoomIn ? 0.8333333333333334 : 1.2);
    i64 newFrom = std::max(static_cast<i64>(t - span / 2), start);
    i64 newTo = static_cast<i64>(t + span / 2);
    newTo = std::max(newTo, newFrom + static_cast<i64>(span));
    newTo = std::min(newTo, end);
    if (newTo == newFrom)
        newTo = newFrom + 1;
    return std::pair<u64, u64>(static_cast<u64>(newFrom), static_cast<u64>(newTo));
}

} // namespace vistra
