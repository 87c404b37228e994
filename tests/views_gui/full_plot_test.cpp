#include "views/full_plot.h"

#include "plot_fixture.h"

#include <gtkmm/offscreenwindow.h>

namespace vistra::test {
namespace {

constexpr int kStripWidth = 600; // 100 ms per pixel over the view window
constexpr int kStripHeight = 200;

class FullPlotTest : public PlotFixture {
protected:
    void show()
    {
        strip = std::make_unique<FullPlot>();
        strip->set_size_request(kStripWidth, kStripHeight);
        window = std::make_unique<Gtk::OffscreenWindow>();
        window->add(*strip);
        window->show_all();
    }
    void TearDown() override
    {
        if (strip) {
            window->remove();
            strip.reset();
        }
        PlotFixture::TearDown();
    }
    bool shows(Hue h)
    {
        return pumpUntil([&] {
            return settled() && strip->get_realized() && !strip->renderPending() && count(snapshot(*strip), h, 0, kStripHeight) > 0;
        });
    }
    void press(guint button, double x, GdkEventType type = GDK_BUTTON_PRESS)
    {
        GdkEventButton event{};
        event.type = type;
        event.button = button;
        event.x = x;
        event.y = 50;
        if (type == GDK_BUTTON_PRESS)
            EXPECT_FALSE(strip->on_button_press_event(&event));
        else
            EXPECT_FALSE(strip->on_button_release_event(&event));
    }
    void move(double x)
    {
        GdkEventMotion event{};
        event.type = GDK_MOTION_NOTIFY;
        event.x = x;
        event.y = 50;
        EXPECT_FALSE(strip->on_motion_notify_event(&event));
    }
    void wheel(GdkScrollDirection direction, double x)
    {
        GdkEventScroll event{};
        event.type = GDK_SCROLL;
        event.direction = direction;
        event.x = x;
        event.y = 50;
        EXPECT_FALSE(strip->on_scroll_event(&event));
    }
    static std::pair<u64, u64> interval() { return {timeBox().from, timeBox().to}; }
    static std::pair<u64, u64> span(u64 from, u64 to) { return {kT0 + from, kT0 + to}; }

    std::unique_ptr<Gtk::OffscreenWindow> window; // made once a display is known to be there
    std::unique_ptr<FullPlot> strip;
};

TEST_F(FullPlotTest, FirstDataShowWholeRangeInLanesWithTheBand)
{
    plot(threeSignals());
    show();
    Store::instance().dataChanged.emit();
    ASSERT_TRUE(shows(Magenta));
    // The first data set the visible interval to the whole range, not as this copy's own choice.
    EXPECT_EQ(interval(), span(0, kSpan));
    EXPECT_FALSE(timeBox().origin);

    // Three lanes of 66 rows, each signal in its own.
    auto image = snapshot(*strip);
    const Hue lanes[] = {Green, Blue, Magenta};
    for (int lane = 0; lane < 3; ++lane) {
        SCOPED_TRACE(lane);
        for (Hue h : lanes)
            if (h == lanes[lane])
                EXPECT_GT(count(image, h, lane * 66, lane * 66 + 66), 100);
            else
                EXPECT_EQ(count(image, h, lane * 66, lane * 66 + 66), 0);
    }

    // The band over the visible interval follows it without a new render.
    timeBox().setInterval(kT0 + 20000, kT0 + 30000, true); // x 200 to 300
    drain();
    EXPECT_FALSE(strip->renderPending());
    image = snapshot(*strip);
    for (int x : {210, 250, 290})
        EXPECT_EQ(hue(at(image, x, 33)), Grey) << x;
    for (int x : {150, 190, 310, 350})
        EXPECT_EQ(hue(at(image, x, 33)), White) << x;

    // A band narrower than 3 pixels is drawn 3 wide.
    timeBox().setInterval(kT0 + 45010, kT0 + 45020, true); // x 450
    drain();
    image = snapshot(*strip);
    EXPECT_EQ(hue(at(image, 452, 33)), Grey);
    EXPECT_EQ(hue(at(image, 454, 33)), White);
}

TEST_F(FullPlotTest, ClicksDragsAndWheelMoveOrZoomTheVisibleInterval)
{
    plot(threeSignals());
    show();
    // Before the first image a press starts a drag but moves nothing (reset drops any
    // image a fast first render may have made already).
    strip->reset();
    timeBox().setInterval(kT0 + 20000, kT0 + 30000, true);
    press(1, 450);
    move(500);
    EXPECT_EQ(interval(), span(20000, 30000));
    press(1, 450, GDK_BUTTON_RELEASE);

    Store::instance().dataChanged.emit();
    ASSERT_TRUE(shows(Magenta));
    EXPECT_EQ(interval(), span(20000, 30000)); // a set interval stays

    press(1, 450); // centred on 45 s
    EXPECT_EQ(interval(), span(40000, 50000));
    move(120.9); // dragged to 12 s, a whole pixel
    EXPECT_EQ(interval(), span(7000, 17000));
    move(-30); // past the left edge: at the start, span kept
    EXPECT_EQ(interval(), span(0, 10000));
    press(1, 300, GDK_BUTTON_RELEASE);
    move(500);
    EXPECT_EQ(interval(), span(0, 10000));
    press(3, 300); // other buttons do nothing
    EXPECT_EQ(interval(), span(0, 10000));

    timeBox().setInterval(kT0 + 20000, kT0 + 30000, false);
    wheel(GDK_SCROLL_UP, 300); // zoom in about 30 s
    EXPECT_EQ(interval(), span(25833, 34166));
    EXPECT_TRUE(timeBox().origin);
    wheel(GDK_SCROLL_DOWN, 0); // zoom out about the start keeps the new span
    EXPECT_EQ(interval(), span(0, 9999));
    wheel(GDK_SCROLL_LEFT, 300);
    wheel(GDK_SCROLL_SMOOTH, 300);
    EXPECT_EQ(interval(), span(0, 9999));

    timeBox().from = 0; // an empty interval: the wheel does nothing
    timeBox().to = 0;
    wheel(GDK_SCROLL_UP, 300);
    EXPECT_EQ(interval(), std::make_pair(u64{0}, u64{0}));
}

TEST_F(FullPlotTest, ANewRenderDropsTheOldOnesResults)
{
    plot(threeSignals());
    show();
    Store::instance().dataChanged.emit();
    ASSERT_TRUE(shows(Magenta));
    plot({square("B", "#00000000ffff")});
    Store::instance().dataChanged.emit();
    plot({square("A", "#0000ffff0000")});
    Store::instance().dataChanged.emit();
    ASSERT_TRUE(pumpUntil([&] {
        const auto image = snapshot(*strip);
        return !strip->renderPending() && count(image, Magenta, 0, kStripHeight) == 0;
    }));
    const auto image = snapshot(*strip);
    EXPECT_EQ(count(image, Blue, 0, kStripHeight), 0);
    EXPECT_GT(count(image, Green, 150, kStripHeight), 0); // one lane over the whole strip

    // No signals: background and grid only, and no band.
    plot({});
    Store::instance().dataChanged.emit();
    ASSERT_TRUE(pumpUntil([&] { return count(snapshot(*strip), Green, 0, kStripHeight) == 0; }));
    EXPECT_EQ(hue(at(snapshot(*strip), 30, 30)), White);
}

TEST_F(FullPlotTest, LiveDataArmOneRerenderAndRenderNothingAtOnce)
{
    plot(threeSignals());
    show();
    ASSERT_TRUE(shows(Magenta));
    Store::instance().live = true;
    Store::instance().dataChanged.emit();
    Store::instance().dataChanged.emit();
    drain();
    EXPECT_TRUE(strip->rerenderArmed());
    EXPECT_TRUE(timeBox().empty()); // live data never set the interval here
    EXPECT_FALSE(strip->renderPending());
}

} // namespace
} // namespace vistra::test
