#include "views/plot_math.h"

#include <gtest/gtest.h>

#include <optional>

namespace vistra {
namespace {

TEST(ImageWindowTest, WidensByHalfASpanWithinTheData)
{
    struct Case {
        const char* name;
        u64 shownFrom, shownTo, viewStart, viewEnd;
        int widgetWidth;
        u64 wantFrom, wantTo, wantStart, wantEnd;
        int wantWidth;
    };
    const Case cases[] = {
        {"no data yet", 0, 0, kNoTime, 0, 800, 0, 0, 0, 0, 0},
        {"first render shows the whole view, no margins", 0, 0, 1000, 5000, 800, 1000, 5000, 1000, 5000, 800},
        {"half a span each side", 4000, 6000, 0, 100000, 800, 4000, 6000, 3000, 7000, 1600},
        {"margins limited by the data", 1500, 3500, 1000, 3700, 800, 1500, 3500, 1000, 3700, 1080},
        {"at the data's edges no margin", 1000, 3000, 1000, 3000, 800, 1000, 3000, 1000, 3000, 800},
        {"a share that is no whole number", 4000, 7000, 3000, 100000, 900, 4000, 7000, 3000, 8500, 1650},
        {"empty shown interval", 4000, 4000, 0, 10000, 800, 4000, 4000, 0, 0, 0},
        {"interval reaching before the view window", 500, 2500, 1000, 10000, 800, 500, 2500, 500, 3500, 1200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ImageWindow w = imageWindow(c.shownFrom, c.shownTo, c.viewStart, c.viewEnd, c.widgetWidth);
        EXPECT_EQ(w.width, c.wantWidth);
        EXPECT_EQ(w.shownFrom, c.wantFrom);
        EXPECT_EQ(w.shownTo, c.wantTo);
        if (c.wantWidth > 0) {
            EXPECT_EQ(w.imageStart, c.wantStart);
            EXPECT_EQ(w.imageEnd, c.wantEnd);
        }
    }
}

TEST(TimeToPixelTest, MapsAndClamps)
{
    EXPECT_EQ(timeToPixel(1500, 1000, 2000, 800), 400);
    EXPECT_EQ(timeToPixel(500, 1000, 2000, 800), -400); // before the interval: negative, no wrap
    EXPECT_EQ(timeToPixel(kNoTime, 1000, 2000, 800), -800); // an unset ruler reads as −1
    EXPECT_EQ(timeToPixel(4'000'000'000'000, 1000, 1001, 800), kMaxCoordinate);
    EXPECT_EQ(timeToPixel(1000, 1000, 1000, 800), 0); // empty interval
}

TEST(OverviewBandTest, GeometryAndGuards)
{
    struct Case {
        const char* name;
        u64 from, to, wholeStart, wholeEnd;
        int width;
        std::optional<Band> want;
    };
    const Case cases[] = {
        {"inside", 2000, 4000, 0, 10000, 1000, Band{200, 200}},
        {"narrower than 3 pixels", 5000, 5001, 0, 10000, 1000, Band{500, 3}},
        {"a range of one instant", 5000, 5000, 5000, 5000, 1000, std::nullopt},
        {"no image yet", 1000, 2000, 0, 0, 1000, std::nullopt},
        {"starting before the image's range", 500, 3000, 1000, 11000, 1000, Band{-1, 201}},
        {"ending after the image's range", 9000, 20000, 0, 10000, 1000, Band{900, 101}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto band = overviewBand(c.from, c.to, c.wholeStart, c.wholeEnd, c.width);
        ASSERT_EQ(band.has_value(), c.want.has_value());
        if (band) {
            EXPECT_EQ(band->x, c.want->x);
            EXPECT_EQ(band->width, c.want->width);
        }
    }
}

TEST(OverviewTimeAtTest, PixelToTime)
{
    EXPECT_EQ(overviewTimeAt(250.7, 1000, 10000, 20000), 12500u); // a whole pixel
    EXPECT_EQ(overviewTimeAt(-20, 1000, 10000, 20000), 10000u);   // dragged past the left edge
    EXPECT_EQ(overviewTimeAt(1200, 1000, 10000, 20000), 22000u);  // past the right: centerOn clamps
    EXPECT_EQ(overviewTimeAt(300, 0, 10000, 20000), 10000u);      // no width
}

TEST(OverviewZoomTest, CentresTheNewSpanOnThePointer)
{
    struct Case {
        const char* name;
        double x;
        u64 from, to;
        bool zoomIn;
        u64 wantFrom, wantTo;
    };
    // View window [100000, 200000] over 1000 pixels.
    const Case cases[] = {
        {"zoom in about the middle", 500, 140000, 160000, true, 141666, 158333},
        {"zoom out about a quarter", 250, 140000, 160000, false, 113000, 137000},
        {"near the left edge keeps the new span", 10, 100000, 160000, true, 100000, 150000},
        {"near the right edge stops at the view end", 990, 150000, 200000, false, 169000, 200000},
        {"a span that would vanish gives 1 ms", 500, 150000, 150000, true, 150000, 150001},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto got = overviewZoom(c.x, 1000, 100000, 200000, c.from, c.to, c.zoomIn);
        ASSERT_TRUE(got);
        EXPECT_EQ(got->first, c.wantFrom);
        EXPECT_EQ(got->second, c.wantTo);
    }
    EXPECT_FALSE(overviewZoom(10, 0, 100000, 200000, 140000, 160000, true)); // no width
}

TEST(DetailPlotMathTest, RulerTimeUnderThePointer)
{
    struct Case {
        int x, width;
        u64 want;
    };
    // [10000, 20000] over 1000 pixels: 10 ms a pixel.
    const Case cases[] = {
        {-5, 1000, 10000}, // left of the widget: the shown start
        {0, 1000, 10000},  {333, 1000, 13330},
        {1500, 1000, 25000}, // no clamp at the right edge
        {500, 0, 10000},     // no width yet
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.x);
        EXPECT_EQ(rulerTimeAt(c.x, 10000, 20000, c.width), c.want);
    }
}

TEST(DetailPlotMathTest, WheelAndArrowSteps)
{
    struct Case {
        const char* name;
        PlotMove move;
        double x;
        int width;
        u64 from, to, viewStart, viewEnd;
        i64 wantFrom, wantTo;
    };
    const Case cases[] = {
        {"zoom in at x = 0 is about the middle", PlotMove::ZoomIn, 0, 1000, 10000, 20000, 0, 100000, 10833, 19166},
        {"zoom in keeps the time under the pointer", PlotMove::ZoomIn, 250, 1000, 10000, 20000, 0, 100000, 10416,
         18750},
        {"zoom out at the right edge", PlotMove::ZoomOut, 1000, 1000, 10000, 20000, 0, 100000, 8000, 20000},
        {"zoom out cut to the view window", PlotMove::ZoomOut, 0, 1000, 0, 10000, 0, 100000, 0, 11000},
        {"zoom in on 1 ms keeps 1 ms", PlotMove::ZoomIn, 0, 1000, 1000, 1001, 0, 100000, 1000, 1001},
        {"zoom without a width is about the middle", PlotMove::ZoomIn, 5, 0, 10000, 20000, 0, 100000, 10833, 19166},
        {"pan earlier by a tenth", PlotMove::PanEarlier, 0, 1000, 10000, 20000, 0, 100000, 9000, 19000},
        {"pan earlier at the start stays", PlotMove::PanEarlier, 0, 1000, 0, 10000, 0, 100000, 0, 10000},
        {"pan earlier as far as the data reaches", PlotMove::PanEarlier, 0, 1000, 500, 10500, 0, 100000, 0, 10000},
        {"pan later as far as the data reaches", PlotMove::PanLater, 0, 1000, 89000, 99500, 0, 100000, 89500,
         100000},
        {"smooth scrolling only clamps", PlotMove::None, 0, 1000, 10000, 20000, 0, 100000, 10000, 20000},
        {"outside a cropped view window: no interval", PlotMove::PanLater, 0, 1000, 0, 10000, 20000, 30000, 20000,
         11000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const SignedInterval got = movedInterval(c.move, c.x, c.width, c.from, c.to, c.viewStart, c.viewEnd);
        EXPECT_EQ(got.from, c.wantFrom);
        EXPECT_EQ(got.to, c.wantTo);
    }
}

TEST(DetailPlotMathTest, ExportRangeFromRulersOrTheShownInterval)
{
    const u64 all = 9223372036854775807ULL;
    struct Case {
        const char* name;
        u64 left, right, from, to, wantFrom, wantTo;
    };
    const Case cases[] = {
        {"between the rulers", 3000, 5000, 1000, 9000, 3000, 5000},
        {"rulers in either order", 5000, 3000, 1000, 9000, 3000, 5000},
        {"one ruler unset: the shown interval", 3000, kNoTime, 1000, 9000, 1000, 9000},
        {"nothing shown: everything", kNoTime, kNoTime, 0, 0, 0, all},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TimeRange r = exportRange(c.left, c.right, c.from, c.to);
        EXPECT_EQ(r.from, c.wantFrom);
        EXPECT_EQ(r.to, c.wantTo);
    }
}

} // namespace
} // namespace vistra
