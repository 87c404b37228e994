#include "views/gps_view.h"

#include "views/analysis_range.h"
#include "views/plot_math.h"

#include <algorithm>
#include <cmath>

namespace vistra {

namespace {

struct Rgba {
    double r, g, b, a;
};

constexpr Rgba kViewWindowColour{0.5, 0.5, 0.5, 0.3};
constexpr Rgba kShownColour{0.5, 0.5, 0.5, 1.0};
constexpr Rgba kBetweenRulersColour{1.0, 0.0, 0.0, 0.2};
constexpr Rgba kLeftRulerColour{0.9, 0.1, 0.5, 0.5};
constexpr Rgba kRightRulerColour{0.1, 0.9, 0.5, 0.5};
constexpr Rgba kLastMinuteColour{1.0, 0.0, 0.0, 1.0};

constexpr u64 kLastMinuteMs = 60000;

struct Point {
    double x, y;
};

Point project(const TrackPoint& p, const GpsFit& fit, const GpsZoom& zoom)
{
    return {(p.x - fit.minX) * fit.scale + fit.offsetX - zoom.panX,
            (p.y - fit.minY) * fit.scale + fit.offsetY - zoom.panY};
}

// Cuts the segment a-b to the box [left, right] x [top, bottom] (Liang-Barsky); false when
// nothing of it lies inside. Zoomed far in, projected points lie far outside anything
// Cairo's fixed-point numbers can hold; the cut pieces keep the direction of the segment.
bool clipSegment(Point& a, Point& b, double left, double top, double right, double bottom)
{
    const double dx = b.x - a.x;
    const double dy = b.y - a.y;
    double t0 = 0.0;
    double t1 = 1.0;
    auto edge = [&](double p, double q) {
        if (p == 0.0)
            return q >= 0.0;
        const double t = q / p;
        if (p < 0.0) {
            if (t > t1)
                return false;
            t0 = std::max(t0, t);
        } else {
            if (t < t0)
                return false;
            t1 = std::min(t1, t);
        }
        return true;
    };
    if (!(edge(-dx, a.x - left) && edge(dx, right - a.x) && edge(-dy, a.y - top) && edge(dy, bottom - a.y)))
        return false;
    const Point start{a.x + t0 * dx, a.y + t0 * dy};
    const Point end{a.x + t1 * dx, a.y + t1 * dy};
    a = start;
    b = end;
    return std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(b.x) && std::isfinite(b.y);
}

// Index range of the points with times in [from, to].
std::pair<std::size_t, std::size_t> pointsIn(const std::vector<TrackPoint>& track, u64 from, u64 to)
{
    auto begin = std::lower_bound(track.begin(), track.end(), from,
                                  [](const TrackPoint& p, u64 t) { return p.time < t; });
    auto end = std::upper_bound(begin, track.end(), to, [](u64 t, const TrackPoint& p) { return t < p.time; });
    return {static_cast<std::size_t>(begin - track.begin()), static_cast<std::size_t>(end - track.begin())};
}

void strokePolyline(const Cairo::RefPtr<Cairo::Context>& cr, const std::vector<TrackPoint>& track, u64 from,
                    u64 to, const GpsFit& fit, const GpsZoom& zoom, int width, int height, double lineWidth,
                    Rgba colour)
{
    const auto [begin, end] = pointsIn(track, from, to);
    if (end - begin < 2)
        return;
    // Beyond the picture by more than a line width nothing of a line shows.
    const double margin = 16.0;
    bool joined = false;
    Point last{};
    cr->begin_new_path();
    for (std::size_t k = begin + 1; k < end; ++k) {
        Point a = project(track[k - 1], fit, zoom);
        Point b = project(track[k], fit, zoom);
        if (!clipSegment(a, b, -margin, -margin, width + margin, height + margin)) {
            joined = false;
            continue;
        }
        if (!joined || a.x != last.x || a.y != last.y)
            cr->move_to(a.x, a.y);
        cr->line_to(b.x, b.y);
        last = b;
        joined = true;
    }
    cr->set_line_width(lineWidth);
    cr->set_source_rgba(colour.r, colour.g, colour.b, colour.a);
    cr->stroke();
}

} // namespace

void GpsZoom::pointerMoved(double x, double y)
{
    pointerX = x;
    pointerY = y;
    imagePointerX = x + panX;
    imagePointerY = y + panY;
}

void GpsZoom::wheel(bool up)
{
    if (!up && zoom <= 1.1)
        return;
    const double before = zoom;
    const double f = up ? 1.2 : 0.8333333333333334;
    zoom *= f;
    imagePointerX *= f;
    imagePointerY *= f;
    if (!up && before < 1.32) {
        reset();
        return;
    }
    panX = imagePointerX - pointerX;
    panY = imagePointerY - pointerY;
}

void GpsZoom::reset()
{
    zoom = 1.0;
    panX = 0.0;
    panY = 0.0;
    // Without a pan the picture point under the pointer is the pointer's own position,
    // also for a wheel step that comes before the next pointer motion.
    imagePointerX = pointerX;
    imagePointerY = pointerY;
}

GpsFit fitTrack(const std::vector<TrackPoint>& track, u64 viewStart, u64 viewEnd, double zoomedWidth,
                double zoomedHeight)
{
    GpsFit fit;
    const auto [begin, end] = pointsIn(track, viewStart, viewEnd);
    if (begin == end)
        return fit;
    double minX = track[begin].x, maxX = minX, minY = track[begin].y, maxY = minY;
    for (std::size_t k = begin + 1; k < end; ++k) {
        minX = std::min(minX, track[k].x);
        maxX = std::max(maxX, track[k].x);
        minY = std::min(minY, track[k].y);
        maxY = std::max(maxY, track[k].y);
    }
    fit.empty = false;
    fit.minX = minX;
    fit.minY = minY;
    const double rangeX = maxX - minX;
    const double rangeY = maxY - minY;
    if (rangeX == 0.0 && rangeY == 0.0) {
        fit.offsetX = zoomedWidth * 0.5;
        fit.offsetY = zoomedHeight * 0.5;
        return fit;
    }
    // A track along one axis only has one infinite quotient, which never wins.
    const double sx = zoomedWidth / rangeX;
    const double sy = zoomedHeight / rangeY;
    if (sx > sy) {
        fit.scale = sy;
        fit.offsetX = (zoomedWidth - rangeX * sy) * 0.5;
    } else {
        fit.scale = sx;
        fit.offsetY = (zoomedHeight - rangeY * sx) * 0.5;
    }
    return fit;
}

void drawTrack(const Cairo::RefPtr<Cairo::Context>& cr, const std::vector<TrackPoint>& track, const GpsFit& fit,
               const GpsZoom& zoom, const GpsMarks& marks, int width, int height)
{
    if (fit.empty)
        return;
    cr->save();
    cr->set_antialias(Cairo::ANTIALIAS_SUBPIXEL);
    const u64 start = marks.viewStart;
    const u64 end = marks.viewEnd;
    auto stroke = [&](u64 from, u64 to, double lineWidth, Rgba colour) {
        strokePolyline(cr, track, std::max(start, from), std::min(end, to), fit, zoom, width, height, lineWidth,
                       colour);
    };
    stroke(start, end, 2.0, kViewWindowColour);
    stroke(marks.shownFrom, marks.shownTo, 2.0, kShownColour);
    if (rulerSet(marks.leftRuler) && rulerSet(marks.rightRuler)) {
        stroke(std::min(marks.leftRuler, marks.rightRuler), std::max(marks.leftRuler, marks.rightRuler), 4.0,
               kBetweenRulersColour);
    }
    const u64 lastMinute = marks.lastPointTime > kLastMinuteMs ? marks.lastPointTime - kLastMinuteMs : 0;
    stroke(lastMinute, end, 4.0, kLastMinuteColour);
    cr->restore();
}

void drawRulerCircles(const Cairo::RefPtr<Cairo::Context>& cr, const std::vector<TrackPoint>& track,
                      const GpsFit& fit, const GpsZoom& zoom, u64 leftRuler, u64 rightRuler)
{
    if (fit.empty)
        return;
    auto circle = [&](u64 ruler, Rgba colour) {
        if (!rulerSet(ruler))
            return;
        auto it = std::upper_bound(track.begin(), track.end(), ruler,
                                   [](u64 t, const TrackPoint& p) { return t < p.time; });
        if (it == track.end())
            return;
        const Point c = project(*it, fit, zoom);
        if (!std::isfinite(c.x) || !std::isfinite(c.y))
            return;
        const double limit = kMaxCoordinate;
        cr->begin_new_path();
        cr->arc(std::clamp(c.x, -limit, limit), std::clamp(c.y, -limit, limit), 5.0, 0.0, 2.0 * M_PI);
        cr->set_line_width(3.0);
        cr->set_source_rgba(colour.r, colour.g, colour.b, colour.a);
        cr->stroke();
    };
    circle(rightRuler, kRightRulerColour);
    circle(leftRuler, kLeftRulerColour);
}

} // namespace vistra
