#include "sub_plot_fixture.h"

namespace vistra::test {
namespace {

class SubPlotTest : public SubPlotFixture {};

TEST_F(SubPlotTest, SplitViewGivesEachSignalItsLaneInListOrder)
{
    plot(threeSignals());
    show();
    ASSERT_TRUE(shows(Magenta));
    EXPECT_EQ(plotWidget->shownFrom, kT0); // the first render shows the whole view window
    EXPECT_EQ(plotWidget->shownTo, kT0 + kSpan);
    const auto image = snapshot(*plotWidget);
    const Hue lanes[] = {Green, Blue, Magenta};
    for (int lane = 0; lane < 3; ++lane) {
        SCOPED_TRACE(lane);
        for (Hue h : lanes)
            if (h == lanes[lane])
                EXPECT_GT(count(image, h, lane * 100, lane * 100 + 100), 100);
            else
                EXPECT_EQ(count(image, h, lane * 100, lane * 100 + 100), 0);
    }
    EXPECT_EQ(hue(at(image, 150, 50)), White); // background between the lines
    EXPECT_NE(hue(at(image, 100, 50)), White); // grid line at x = 100
    EXPECT_EQ(hue(at(image, 150, 308)), White); // text row, no rulers
    EXPECT_FALSE(Store::instance().isWorking());
}

TEST_F(SubPlotTest, OverlayDrawsEverySignalOverTheWholeHeight)
{
    Settings::instance()->setSplitView(false);
    // Low values 0, 0.5 and 1 of one view range: three lines at the bottom, middle and top.
    auto signals = threeSignals();
    signals[1]->samples.clear();
    signals[2]->samples.clear();
    for (u64 k = 0; k <= kSpan / 1000; ++k) {
        signals[1]->samples.push_back({kT0 + k * 1000, 0.5});
        signals[2]->samples.push_back({kT0 + k * 1000, 1.0});
    }
    plot(signals);
    show();
    ASSERT_TRUE(shows(Magenta));
    const auto image = snapshot(*plotWidget);
    EXPECT_GT(count(image, Green, 280, 300, 0, 90), 0); // first ten seconds at 0
    EXPECT_EQ(count(image, Green, 0, 280, 0, 90), 0);
    EXPECT_GT(count(image, Blue, 140, 160, 0, 90), 0);
    EXPECT_GT(count(image, Magenta, 0, 20, 0, 90), 0);
}

TEST_F(SubPlotTest, RulersFollowTheShownIntervalWithValueTexts)
{
    auto signals = threeSignals();
    signals[1]->setViewRange({0.5, 1.0}); // B's value 0 at the rulers lies below its range
    signals[0]->colour = "#00000000ffff";
    plot(signals);
    show();
    ASSERT_TRUE(shows(Blue));
    int renders = 0;
    plotWidget->signal_configure_event().connect(
        [&](GdkEventConfigure*) {
            ++renders;
            return false;
        },
        false);
    timeBox().setInterval(kT0 + 10000, kT0 + 50000, true);
    Store::instance().leftRuler = kT0 + 20000;  // x = 150
    Store::instance().rightRuler = kT0 + 40000; // x = 450
    // The new interval is rendered anew.
    ASSERT_TRUE(pumpUntil([&] { return renders == 1 && !plotWidget->renderPending(); }));
    EXPECT_EQ(plotWidget->shownFrom, kT0 + 10000);
    EXPECT_EQ(plotWidget->shownTo, kT0 + 50000);
    EXPECT_EQ(plotWidget->timeToX(kT0 + 20000), 150);
    drain();
    const auto image = snapshot(*plotWidget);
    for (int y : {30, 130, 230}) {
        SCOPED_TRACE(y);
        EXPECT_LT(at(image, 150, y).g, 40); // both ruler lines, through every lane
        EXPECT_LT(at(image, 450, y).g, 40);
        EXPECT_EQ(hue(at(image, 375, y + 5)), White);
    }
    // B's value texts are red, in boxes that end a text row above the bottom of its lane
    // and are as high as the font makes them; A's and C's are not red.
    const int boxTop = 200 - 16;
    const int boxBottom = boxTop + textHeight("0.00 B ()");
    EXPECT_GT(count(image, Red, boxTop, boxBottom, 0, kWidth), 20);
    EXPECT_EQ(count(image, Red, 0, boxTop, 0, kWidth), 0);
    EXPECT_EQ(count(image, Red, boxBottom, 300, 0, kWidth), 0);
    // Ruler times in the text row beside each line.
    EXPECT_GT(count(image, Other, 300, kHeight, 100, 200) + count(image, Grey, 300, kHeight, 100, 200), 10);
}

TEST_F(SubPlotTest, RulerDeltaTextSignsAndFormats)
{
    struct Case {
        bool pretty;
        i64 dt;
        const char* want;
    };
    const Case cases[] = {
        {false, -250, " 0.250s"},   // the secondary ruler 250 ms after the main one
        {false, 61001, "-61.001s"}, // before it
        {true, -(86400000LL * 32 + 3723004), "  0000-01-01 01:02:03.004"},
    };
    for (const Case& c : cases) {
        Settings::instance()->setPrettyTime(c.pretty);
        EXPECT_STREQ(SubPlot::rulerDeltaText(c.dt), c.want);
    }
}

TEST_F(SubPlotTest, EveryRenderPathGivesBackTheBusyMark)
{
    Store& store = Store::instance();
    plot(threeSignals());
    show();
    ASSERT_TRUE(shows(Green));

    // All signals deselected while a render is out: the render ends with no image.
    configure();
    EXPECT_TRUE(store.isWorking());
    plot({});
    configure();
    EXPECT_FALSE(store.isWorking());
    EXPECT_FALSE(plotWidget->renderPending());
    ASSERT_TRUE(pumpUntil([&] { return count(snapshot(*plotWidget), Green, 0, kHeight) == 0; }));

    // A reload in the middle of a render.
    plot(threeSignals());
    configure();
    EXPECT_TRUE(store.isWorking());
    plotWidget->reset();
    EXPECT_FALSE(store.isWorking());

    // A new signal set before the old render is in: only the new one shows.
    configure();
    plot({square("C", "#ffff0000ffff")});
    configure();
    ASSERT_TRUE(shows(Magenta));
    drain();
    const auto image = snapshot(*plotWidget);
    EXPECT_EQ(count(image, Green, 0, kHeight), 0);
    EXPECT_EQ(count(image, Blue, 0, kHeight), 0);
    EXPECT_GT(count(image, Magenta, 250, 300), 0); // one lane over the whole plot height
    EXPECT_FALSE(store.isWorking());

    // More signals than pixel rows: no lane to paint, nothing held.
    std::vector<std::shared_ptr<Signal>> many(400, square("M", "#00000000ffff"));
    plot(many);
    configure();
    EXPECT_FALSE(plotWidget->renderPending());
    EXPECT_FALSE(store.isWorking());
    drain();
    EXPECT_EQ(count(snapshot(*plotWidget), Blue, 0, kHeight), 0);
}

TEST_F(SubPlotTest, LiveDataRenderAgainASecondAfterEachRender)
{
    plot(threeSignals());
    show();
    ASSERT_TRUE(shows(Magenta));
    // Let every render and notice of the set-up settle first (a loaded machine delivers
    // them late), so that only the live re-render is counted.
    ASSERT_TRUE(pumpUntil([&] { return !plotWidget->renderPending(); }, 3000));
    pumpUntil([] { return false; }, 300);
    int renders = 0;
    plotWidget->signal_configure_event().connect(
        [&](GdkEventConfigure*) {
            ++renders;
            return false;
        },
        false);
    Store::instance().live = true;
    const auto started = std::chrono::steady_clock::now();
    Store::instance().dataChanged.emit();
    ASSERT_TRUE(pumpUntil([&] { return renders == 1; }, 3000));
    // Not at once: a second after the new data (measured from the emit, so a slow
    // machine cannot make it look early).
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(900));
    // The completed render arms the next one.
    ASSERT_TRUE(pumpUntil([&] { return renders == 2; }, 3000));
    Store::instance().live = false;
}

TEST_F(SubPlotTest, HighlightBandFadesOutInSplitViewOnly)
{
    auto signals = threeSignals();
    plot(signals);
    show();
    ASSERT_TRUE(shows(Magenta));
    plotWidget->highlightSignal(signals[1]);
    drain();
    const Pixel band = at(snapshot(*plotWidget), 150, 150); // a blank spot of B's lane
    EXPECT_EQ(hue(band), Blue);
    EXPECT_NEAR(band.r, 128, 30); // about half of blue over white
    EXPECT_EQ(hue(at(snapshot(*plotWidget), 150, 50)), White);
    EXPECT_TRUE(pumpUntil([&] { return hue(at(snapshot(*plotWidget), 150, 150)) == White; }, 2000));

    Settings::instance()->setSplitView(false);
    plotWidget->highlightSignal(signals[1]);
    drain();
    EXPECT_EQ(hue(at(snapshot(*plotWidget), 150, 150)), White);
}

} // namespace
} // namespace vistra::test
