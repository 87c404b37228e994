#include "views/gps_view.h"

#include <cairomm/context.h>
#include <cairomm/surface.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>

namespace vistra {
namespace {

constexpr u64 T0 = 1'700'000'000'000;

TrackPoint at(u64 time, double x, double y) { return {time, 0.0, 0.0, x, y, 0.0, 0.0}; }

TEST(GpsFitTest, KeepsTheAspectRatioAndCentresTheShorterExtent)
{
    const std::vector<TrackPoint> wide = {at(T0, 0, 0), at(T0 + 1000, 200, 100), at(T0 + 2000, 100, 50)};
    GpsFit fit = fitTrack(wide, T0, T0 + 2000, 400, 400);
    EXPECT_FALSE(fit.empty);
    EXPECT_DOUBLE_EQ(fit.scale, 2.0);
    EXPECT_DOUBLE_EQ(fit.offsetX, 0.0);
    EXPECT_DOUBLE_EQ(fit.offsetY, 100.0);

    // Only the points of the view window count: here the first two, a tall box.
    fit = fitTrack(wide, T0, T0 + 1500, 400, 100);
    EXPECT_DOUBLE_EQ(fit.scale, 1.0);
    EXPECT_DOUBLE_EQ(fit.offsetX, 100.0);
    EXPECT_DOUBLE_EQ(fit.offsetY, 0.0);

    // A track along one axis: centred across it.
    fit = fitTrack({at(T0, 5, 7), at(T0 + 1000, 105, 7)}, T0, T0 + 1000, 400, 300);
    EXPECT_DOUBLE_EQ(fit.scale, 4.0);
    EXPECT_DOUBLE_EQ(fit.offsetY, 150.0);

    // One position: in the middle, no division by its extent.
    fit = fitTrack({at(T0, 3, 4), at(T0 + 1000, 3, 4)}, T0, T0 + 1000, 400, 300);
    EXPECT_FALSE(fit.empty);
    EXPECT_EQ(fit.minX, 3.0);
    EXPECT_EQ(fit.offsetX, 200.0);
    EXPECT_EQ(fit.offsetY, 150.0);
    EXPECT_TRUE(std::isfinite(fit.scale));

    EXPECT_TRUE(fitTrack(wide, T0 + 5000, T0 + 9000, 400, 400).empty);
    EXPECT_TRUE(fitTrack({}, 0, kNoTime, 400, 400).empty);
}

// Where a track point lands with this fit and zoom.
std::pair<double, double> project(double x, double y, const GpsFit& fit, const GpsZoom& zoom)
{
    return {(x - fit.minX) * fit.scale + fit.offsetX - zoom.panX, (y - fit.minY) * fit.scale + fit.offsetY - zoom.panY};
}

TEST(GpsZoomTest, TheWheelZoomsAboutThePointerAndComesBackToTheWholeTrack)
{
    const std::vector<TrackPoint> square = {at(T0, 0, 0), at(T0 + 1000, 100, 100)};
    GpsZoom zoom;
    GpsFit fit = fitTrack(square, T0, T0 + 1000, 400, 400);
    zoom.pointerMoved(100, 300);
    const double x = (100 - fit.offsetX) / fit.scale; // the track point under the pointer
    const double y = (300 - fit.offsetY) / fit.scale;

    zoom.wheel(true);
    zoom.wheel(true);
    EXPECT_DOUBLE_EQ(zoom.zoom, 1.44);
    fit = fitTrack(square, T0, T0 + 1000, 400 * zoom.zoom, 400 * zoom.zoom);
    auto [px, py] = project(x, y, fit, zoom);
    EXPECT_NEAR(px, 100, 1e-9);
    EXPECT_NEAR(py, 300, 1e-9);

    zoom.wheel(false); // 1.2
    EXPECT_DOUBLE_EQ(zoom.zoom, 1.2);
    zoom.wheel(false); // from below 1.32: the whole track
    EXPECT_EQ(zoom.zoom, 1.0);
    EXPECT_EQ(zoom.panX, 0.0);
    EXPECT_EQ(zoom.panY, 0.0);
    zoom.wheel(false); // at 1.0 nothing changes
    EXPECT_EQ(zoom.zoom, 1.0);

    // Escape, then a wheel step before the pointer moves: still about the pointer.
    zoom.wheel(true);
    zoom.pointerMoved(50, 60);
    zoom.wheel(true);
    zoom.reset();
    EXPECT_EQ(zoom.zoom, 1.0);
    EXPECT_EQ(zoom.panX, 0.0);
    fit = fitTrack(square, T0, T0 + 1000, 400, 400);
    const double ux = (50 - fit.offsetX) / fit.scale;
    zoom.wheel(true);
    fit = fitTrack(square, T0, T0 + 1000, 400 * zoom.zoom, 400 * zoom.zoom);
    EXPECT_NEAR(project(ux, 0, fit, zoom).first, 50, 1e-9);
}

bool near(std::array<int, 3> a, std::array<int, 3> b)
{
    return std::abs(a[0] - b[0]) <= 3 && std::abs(a[1] - b[1]) <= 3 && std::abs(a[2] - b[2]) <= 3;
}

// The picture of a track along one line, over white: what colour lands where.
class GpsPictureTest : public testing::Test {
protected:
    static constexpr int W = 400;
    static constexpr int H = 100;

    GpsPictureTest()
    {
        for (u64 k = 0; k < 200; ++k) // one unit east a second, 200 s
            track.push_back(at(T0 + k * 1000, double(k), 0.0));
        marks.viewStart = T0;
        marks.viewEnd = T0 + 199000;
        marks.shownFrom = T0 + 20000;
        marks.shownTo = T0 + 100000;
        marks.lastPointTime = T0 + 199000;
    }

    void render(const GpsZoom& zoom = {})
    {
        surface = Cairo::ImageSurface::create(Cairo::FORMAT_ARGB32, W, H);
        auto cr = Cairo::Context::create(surface);
        cr->set_source_rgb(1, 1, 1);
        cr->paint();
        fit = fitTrack(track, marks.viewStart, marks.viewEnd, W * zoom.zoom, H * zoom.zoom);
        drawTrack(cr, track, fit, zoom, marks, W, H);
        drawRulerCircles(cr, track, fit, zoom, marks.leftRuler, marks.rightRuler);
        ASSERT_EQ(cr->get_target()->get_type(), Cairo::SURFACE_TYPE_IMAGE);
        ASSERT_EQ(cairo_status(cr->cobj()), CAIRO_STATUS_SUCCESS);
        surface->flush();
    }

    // Red, green and blue of a pixel of the white picture.
    std::array<int, 3> rgb(int x, int y) const
    {
        const unsigned char* p = surface->get_data() + y * surface->get_stride() + x * 4;
        return {p[2], p[1], p[0]};
    }
    // The pixel of the track at time T0 + k s.
    std::array<int, 3> trackAt(u64 k) const { return rgb(int((double(k) - fit.minX) * fit.scale + fit.offsetX), H / 2); }

    bool anyPixel(const std::function<bool(std::array<int, 3>)>& match) const
    {
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                if (match(rgb(x, y)))
                    return true;
        return false;
    }

    std::vector<TrackPoint> track;
    GpsMarks marks;
    GpsFit fit;
    Cairo::RefPtr<Cairo::ImageSurface> surface;
};

constexpr std::array<int, 3> kPaleGrey{217, 217, 217}; // 0.5 grey at 0.3 over white
constexpr std::array<int, 3> kGrey{128, 128, 128};
constexpr std::array<int, 3> kRedOverGrey{153, 102, 102}; // red at 0.2 over grey
constexpr std::array<int, 3> kRed{255, 0, 0};
constexpr std::array<int, 3> kLeftCircle{242, 140, 191}; // (0.9, 0.1, 0.5) at 0.5 over white
constexpr std::array<int, 3> kRightCircle{140, 242, 191};

bool pinkish(std::array<int, 3> p) { return near(p, kLeftCircle); }
bool greenish(std::array<int, 3> p) { return p[1] > p[0] + 60 && p[1] > p[2] + 30; }

TEST_F(GpsPictureTest, ColoursTheViewTheShownIntervalTheRulersAndTheLastMinute)
{
    marks.leftRuler = T0 + 80000; // in either order
    marks.rightRuler = T0 + 60000;
    render();
    EXPECT_TRUE(near(trackAt(10), kPaleGrey));
    EXPECT_TRUE(near(trackAt(40), kGrey));
    EXPECT_TRUE(near(trackAt(70), kRedOverGrey));
    EXPECT_TRUE(near(trackAt(120), kPaleGrey));
    EXPECT_TRUE(near(trackAt(138), kPaleGrey));
    EXPECT_TRUE(near(trackAt(141), kRed)); // within 60 s of the last point
    EXPECT_TRUE(near(trackAt(198), kRed));
    EXPECT_EQ(rgb(W / 2, 10), (std::array<int, 3>{255, 255, 255}));
    // A circle around the first point after each ruler: left (80 s) pink, right (60 s) green.
    EXPECT_TRUE(pinkish(rgb(int((81 - fit.minX) * fit.scale + fit.offsetX), H / 2 - 5)));
    EXPECT_TRUE(greenish(rgb(int((61 - fit.minX) * fit.scale + fit.offsetX), H / 2 - 5)));

    // The view window bounds every line, the last minute too.
    marks.viewEnd = T0 + 150000;
    render();
    EXPECT_TRUE(near(trackAt(145), kRed));
    EXPECT_EQ(trackAt(170), (std::array<int, 3>{255, 255, 255}));
}

TEST_F(GpsPictureTest, RulersMarkOnlyWhatTheySpan)
{
    render(); // none set: no pale red, no circles
    EXPECT_TRUE(near(trackAt(70), kGrey));
    EXPECT_FALSE(anyPixel(pinkish));
    EXPECT_FALSE(anyPixel(greenish));

    marks.leftRuler = T0 + 50000; // one ruler: its circle, no pale red
    render();
    EXPECT_TRUE(near(trackAt(70), kGrey));
    EXPECT_TRUE(anyPixel(pinkish));
    EXPECT_FALSE(anyPixel(greenish));

    marks.leftRuler = T0 + 199000; // at or after the last point: no circle
    marks.rightRuler = T0 + 500000;
    render();
    EXPECT_FALSE(anyPixel(pinkish));
    EXPECT_FALSE(anyPixel(greenish));
}

TEST_F(GpsPictureTest, NothingInViewGivesAnEmptyPictureAndAFarZoomStaysOnTheTrack)
{
    marks.viewStart = T0 + 500000;
    marks.viewEnd = T0 + 600000;
    marks.leftRuler = T0;
    render();
    EXPECT_FALSE(anyPixel([](std::array<int, 3> p) { return p != std::array<int, 3>{255, 255, 255}; }));

    // Zoomed by 1.2^150 (about 10^12) about a point of the line inside the shown interval:
    // the projected points lie far beyond what Cairo's coordinates hold, and the line
    // under the pointer still crosses the picture.
    marks.viewStart = T0;
    marks.viewEnd = T0 + 199000;
    GpsZoom zoom;
    zoom.pointerMoved(W / 2 + 0.5, H / 2);
    for (int k = 0; k < 150; ++k)
        zoom.wheel(true);
    render(zoom);
    EXPECT_TRUE(near(rgb(W / 2, H / 2), kGrey));
    EXPECT_TRUE(near(rgb(10, H / 2), kGrey));
    EXPECT_EQ(rgb(W / 2, 10), (std::array<int, 3>{255, 255, 255}));

    // Past the largest double the fit has no finite scale: nothing reaches Cairo, nothing
    // is drawn, and Escape brings the whole track back.
    for (int k = 0; k < 4000; ++k)
        zoom.wheel(true);
    ASSERT_TRUE(std::isinf(zoom.zoom));
    marks.leftRuler = T0 + 50000;
    render(zoom);
    EXPECT_FALSE(anyPixel([](std::array<int, 3> p) { return p != std::array<int, 3>{255, 255, 255}; }));
    zoom.reset();
    render(zoom);
    EXPECT_TRUE(near(trackAt(60), kGrey));
}

} // namespace
} // namespace vistra
