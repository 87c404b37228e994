#include "views/signal_painter.h"

#include "core/signal.h"
#include "core/store_host.h"
#include "views/painter_thread_context.h"

#include <gtest/gtest.h>
#include <gtkmm/main.h>

#include <cmath>
#include <limits>
#include <vector>

namespace vistra {
namespace {

// A 100 × 101 image over 100 s, 1000 ms per pixel column. Values 0..99 with a line
// width of 2 map to row 100 − v; a horizontal line at row r covers rows r − 1 and r, a
// vertical stroke at column c from row a to row b covers columns c − 1 and c, rows a .. b − 1.
constexpr u64 kStart = 1'700'000'000'000;
constexpr u64 kEnd = kStart + 100'000;
constexpr int kWidth = 100;
constexpr int kHeight = 101;

u64 at(double seconds) { return kStart + static_cast<u64>(std::llround(seconds * 1000)); }

class SignalPainterTest : public testing::Test {
protected:
    void SetUp() override
    {
        Gtk::Main::init_gtkmm_internals(); // wraps the Gdk::Pixbuf made on this thread
        storeHost().viewStart = kStart - 1'000'000;
        storeHost().viewEnd = kEnd + 1'000'000;
        storeHost().lineWidth = 2.0;
        signal = std::make_shared<Signal>(nullptr, "S");
        signal->colour = "#33336666cccc";
        signal->setViewRange({0, 99});
    }
    void TearDown() override
    {
        storeHost().viewStart = kNoTime;
        storeHost().viewEnd = 0;
        storeHost().lineWidth = 2.0;
    }

    std::shared_ptr<PainterTask> paint(u64 start = kStart, u64 end = kEnd, int width = kWidth, int height = kHeight,
                                       bool abort = false)
    {
        auto task = std::make_shared<PainterTask>(nullptr, 1, signal, start, end, width, height);
        std::atomic<bool> aborted{abort};
        paintSignal(task, aborted);
        image = task->image;
        return task;
    }
    void samples(std::vector<Sample> list) { signal->samples = std::move(list); }

    const guint8* pixel(int x, int y) const
    {
        return image->get_pixels() + y * image->get_rowstride() + x * image->get_n_channels();
    }
    bool painted(int x, int y) const { return pixel(x, y)[3] != 0; }
    // Painted rows of column x.
    std::vector<int> column(int x) const
    {
        std::vector<int> rows;
        for (int y = 0; y < image->get_height(); ++y)
            if (painted(x, y))
                rows.push_back(y);
        return rows;
    }
    int paintedCount() const
    {
        int n = 0;
        for (int y = 0; y < image->get_height(); ++y)
            for (int x = 0; x < image->get_width(); ++x)
                n += painted(x, y);
        return n;
    }

    std::shared_ptr<Signal> signal;
    Glib::RefPtr<Gdk::Pixbuf> image;
};

TEST_F(SignalPainterTest, StepLineInTheSignalColour)
{
    // A sample every 5 s, 10 until 53 s, then 60; joined across both edges.
    std::vector<Sample> list;
    for (double s = -2; s < 105; s += 5)
        list.push_back({at(s), s < 50 ? 10.0 : 60.0});
    samples(list);
    paint();
    ASSERT_TRUE(image);
    ASSERT_EQ(image->get_width(), kWidth);
    EXPECT_EQ(column(0), (std::vector<int>{89, 90}));  // entered through the left edge
    EXPECT_EQ(column(30), (std::vector<int>{89, 90}));
    EXPECT_EQ(column(80), (std::vector<int>{39, 40}));
    EXPECT_EQ(column(99), (std::vector<int>{39, 40})); // left through the right edge
    EXPECT_EQ(column(53).size(), 51u);                  // the step at 53 s: rows 39 .. 89
    const guint8* p = pixel(30, 90);
    EXPECT_EQ(std::vector<int>(p, p + 4), (std::vector<int>{0x33, 0x66, 0xcc, 0xff}));
}

TEST_F(SignalPainterTest, DenseSamplesInOneColumnFoldIntoOneVerticalStroke)
{
    // 10 every 100 ms; inside column 40 ten thousand samples (several per ms) climb to
    // 90 and come back down to 10.
    std::vector<Sample> list;
    for (u64 t = kStart; t < kStart + 40'000; t += 100)
        list.push_back({t, 10.0});
    for (int i = 0; i < 10000; ++i)
        list.push_back({kStart + 40'000 + u64(i) / 10, 10.0 + 80.0 * (i < 5000 ? i : 9999 - i) / 4999});
    for (u64 t = kStart + 41'000; t < kEnd + 100; t += 100)
        list.push_back({t, 10.0});
    samples(list);
    paint();
    ASSERT_TRUE(image);
    std::vector<int> stroke;
    for (int y = 10; y <= 90; ++y)
        stroke.push_back(y);
    EXPECT_EQ(column(39), stroke); // rows y(90) .. y(10), the last one of the line
    EXPECT_EQ(column(40), stroke);
    EXPECT_EQ(column(38), (std::vector<int>{89, 90}));
    EXPECT_EQ(column(42), (std::vector<int>{89, 90}));
}

TEST_F(SignalPainterTest, GapsAndEdges)
{
    struct Case {
        const char* name;
        std::vector<Sample> samples;
        int x;          // a column that tells the cases apart
        bool wantLine;  // holds the row of value 10 there
    };
    const Case cases[] = {
        {"10000 ms apart are joined", {{at(20), 10}, {at(30), 10}, {at(30.5), 10}}, 25, true},
        {"10001 ms apart leave a gap", {{at(20), 10}, {at(30.001), 10}, {at(30.5), 10}}, 25, false},
        {"previous sample 9999 ms before: starts at x = 0", {{at(-4.999), 10}, {at(5), 10}}, 2, true},
        {"previous sample 10000 ms before: starts at the sample", {{at(-5), 10}, {at(5), 10}}, 2, false},
        {"next sample 9999 ms after: ends at x = width", {{at(95), 10}, {at(104.999), 10}}, 98, true},
        {"next sample 10000 ms after: ends at the sample", {{at(95), 10}, {at(105), 10}}, 98, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        samples(c.samples);
        paint();
        ASSERT_TRUE(image);
        EXPECT_EQ(painted(c.x, 90), c.wantLine);
    }
}

TEST_F(SignalPainterTest, NothingToDraw)
{
    struct Case {
        const char* name;
        std::vector<Sample> samples;
        u64 start, end;
        int width, height;
        bool abort;
        bool wantImage; // a transparent one when true
    };
    const std::vector<Sample> before = {{at(-30), 10}, {at(-20), 20}};
    const std::vector<Sample> inside = {{at(10), 10}, {at(20), 20}};
    const Case cases[] = {
        {"all samples before the window", before, kStart, kEnd, kWidth, kHeight, false, true},
        {"no samples", {}, kStart, kEnd, kWidth, kHeight, false, false},
        {"window after the view window", inside, kEnd + 2'000'000, kEnd + 3'000'000, kWidth, kHeight, false, false},
        {"window before the view window", inside, kStart - 3'000'000, kStart - 2'000'000, kWidth, kHeight, false,
         false},
        {"aborted", inside, kStart, kEnd, kWidth, kHeight, true, false},
        {"zero-length window", inside, kStart, kStart, kWidth, kHeight, false, false},
        {"lane without height", inside, kStart, kEnd, kWidth, 0, false, false},
        {"no width", inside, kStart, kEnd, 0, kHeight, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        samples(c.samples);
        paint(c.start, c.end, c.width, c.height, c.abort);
        ASSERT_EQ(bool(image), c.wantImage);
        if (image) {
            EXPECT_EQ(paintedCount(), 0);
        }
    }
}

TEST_F(SignalPainterTest, SingleSampleIsAStrokeFromZero)
{
    samples({{at(50), 60}});
    paint();
    ASSERT_TRUE(image);
    std::vector<int> stroke;
    for (int y = 40; y <= 99; ++y)
        stroke.push_back(y);
    EXPECT_EQ(column(50), stroke); // rows y(60) .. y(0) − 1
    EXPECT_TRUE(column(55).empty());
}

// Values far outside the view range (beyond the limits, a constant signal's view range,
// a NaN) stay inside the lane: no stray lines across the image.
TEST_F(SignalPainterTest, RowsAreClampedToTheLane)
{
    signal->setViewRange({5, 5});
    samples({{at(20), 5}, {at(30), 1e12}, {at(40), -1e300}, {at(50), std::nan("")}, {at(60), 5}});
    paint();
    ASSERT_TRUE(image);
    for (int x = 0; x < kWidth; ++x) {
        const bool stroke = (x >= 19 && x <= 20) || (x >= 29 && x <= 30) || (x >= 39 && x <= 40) ||
                            (x >= 49 && x <= 50) || (x >= 59 && x <= 60);
        if (stroke)
            continue;
        for (int y : column(x))
            EXPECT_TRUE(y <= 1 || y == kHeight - 1) << x << "," << y;
    }
    EXPECT_TRUE(painted(35, 0));           // 1e12 at the top
    EXPECT_TRUE(painted(45, kHeight - 1)); // −1e300 at the bottom
    EXPECT_TRUE(painted(25, 1));           // viewMin == viewMax: half the margin from the top
}

TEST_F(SignalPainterTest, TimeToXKeepsOffImagePointsOffTheImage)
{
    samples({{at(10), 10}});
    auto task = paint();
    PainterThreadContext cr(task, signal->viewRange());
    struct Case {
        u64 t;
        double x;
    } const cases[] = {
        {kStart, 0.0}, {at(25.5), 25.5}, {kEnd, 100.0}, {kEnd + 1, 101.0}, {kStart - 1, -0.001}, {kStart - 5000, -1.0},
        {0, -1.0},     {std::numeric_limits<u64>::max(), 101.0},
    };
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(cr.timeToX(c.t), c.x) << c.t - kStart;

    auto empty = std::make_shared<PainterTask>(nullptr, 1, signal, kStart, kStart, kWidth, kHeight);
    PainterThreadContext flat(empty, signal->viewRange());
    EXPECT_EQ(flat.timeToX(kStart - 1), -1.0);
    EXPECT_EQ(flat.timeToX(kStart), 0.0);
    EXPECT_EQ(flat.timeToX(kStart + 1), 101.0);
}

} // namespace
} // namespace vistra
