#include "views/plot_math.h"

#include <algorithm>
#include <cmath>
#include <limits>

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


u64 rulerTimeAt(int x, u64 shownFrom, u64 shownTo, int width)
{
    if (x < 0 || width <= 0)
        return shownFrom;
    const double t = static_cast<double>(shownFrom) +
                     static_cast<double>(static_cast<i64>(shownTo) - static_cast<i64>(shownFrom)) * x / width;
    return t > 0 ? static_cast<u64>(t) : 0;
}

SignedInterval movedInterval(PlotMove move, double x, int width, u64 shownFrom, u64 shownTo, u64 viewStart,
                             u64 viewEnd)
{
    const i64 from0 = static_cast<i64>(shownFrom);
    const i64 to0 = static_cast<i64>(shownTo);
    const i64 start = static_cast<i64>(viewStart);
    const i64 end = static_cast<i64>(viewEnd);
    const i64 span = to0 - from0;
    const i64 step = span / 10;
    i64 from = from0;
    i64 to = to0;
    switch (move) {
    case PlotMove::PanEarlier: {
        // An interval already reaching past the view window does not move back further.
        const i64 d = std::max<i64>(0, std::min(step, from0 - start));
        from -= d;
        to -= d;
        break;
    }
    case PlotMove::PanLater: {
        const i64 d = std::max<i64>(0, std::min(step, end - to0));
        from += d;
        to += d;
        break;
    }
    case PlotMove::ZoomIn:
    case PlotMove::ZoomOut: {
        const double factor = move == PlotMove::ZoomIn ? 0.8333333333333334 : 1.2;
        const double f = x == 0.0 || width <= 0 ? 0.5 : x / width;
        const double c = static_cast<double>(from0) + f * static_cast<double>(span);
        const double s = static_cast<double>(span) * factor;
        from = static_cast<i64>(c - f * s);
        to = static_cast<i64>(c + (1 - f) * s);
        break;
    }
    case PlotMove::None:
        break;
    }
    if (from == to)
        to = from + 1;
    to = std::min(to, end);
    from = std::max(from, start);
    return {from, to};
}

TimeRange exportRange(u64 leftRuler, u64 rightRuler, u64 shownFrom, u64 shownTo)
{
    TimeRange range{shownFrom, shownTo};
    if (leftRuler != kNoTime && rightRuler != kNoTime) {
        const i64 a = static_cast<i64>(leftRuler);
        const i64 b = static_cast<i64>(rightRuler);
        range = {static_cast<u64>(std::min(a, b)), static_cast<u64>(std::max(a, b))};
    }
    if (range.to == 0)
        range = {0, static_cast<u64>(std::numeric_limits<i64>::max())};
    return range;
}

} // namespace vistra
