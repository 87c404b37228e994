// The histogram and statistics windows in a real display, opened through a registry of
// their own whose reload notification the test emits.
#include "core/can_iface.h"
#include "core/message.h"
#include "views/hist_window.h"
#include "views/open_windows.h"
#include "views/stat_window.h"
#include "views/statistics_values.h"

#include "plot_fixture.h"

#include <gtkmm/clipboard.h>
#include <sigc++/signal.h>

#include <algorithm>
#include <sstream>

namespace vistra::test {
namespace {

class AnalysisWindowsTest : public PlotFixture {
protected:
    void SetUp() override
    {
        PlotFixture::SetUp();
        if (IsSkipped())
            return;
        Store::instance().title = "Test drive";
        timeBox().from = kT0;
        timeBox().to = kT0 + kSpan;
        speed = signalIn("Body");
    }
    void TearDown() override
    {
        if (displayReady) {
            hists.closeAllWindows();
            stats.closeAllWindows();
            drain();
            Store::instance().title = "";
        }
        PlotFixture::TearDown();
    }

    // "Can.<message>.Speed" in km/h, one sample a second over the view window: 0, 1, ..., 9, 0, 1, ...
    static std::shared_ptr<Signal> signalIn(const char* message)
    {
        auto s = std::make_shared<Signal>(std::make_shared<Message>(200, message, CanIface::create("Can", 0)), "Speed");
        s->unit = "km/h";
        s->colour = "#0000ffff0000";
        s->hasData = true;
        for (u64 k = 0; k <= kSpan / 1000; ++k)
            s->samples.push_back({kT0 + k * 1000, double(k % 10)});
        return s;
    }

    static void setRulers(u64 left, u64 right)
    {
        Store& store = Store::instance();
        store.leftRuler = left;
        store.rightRuler = right;
        store.markersChanged.emit();
    }

    static std::string clipboardAfter(Gtk::Button& copy)
    {
        auto clipboard = Gtk::Clipboard::get(GDK_SELECTION_CLIPBOARD);
        clipboard->set_text("untouched");
        copy.clicked();
        return clipboard->wait_for_text().raw();
    }

    // The user drags the bin scale to v.
    static void drag(Gtk::Scale& s, double v)
    {
        gboolean handled = FALSE;
        g_signal_emit_by_name(s.gobj(), "change-value", GTK_SCROLL_JUMP, v, &handled);
        EXPECT_TRUE(handled);
    }

    sigc::signal<void()> reload;
    OpenWindows<HistWindow> hists{[this](const sigc::slot<void()>& slot) { return reload.connect(slot); }};
    OpenWindows<StatWindow> stats{[this](const sigc::slot<void()>& slot) { return reload.connect(slot); }};
    std::shared_ptr<Signal> speed;
};

TEST_F(AnalysisWindowsTest, HistogramFollowsTheBinScaleAndTheRulersAndCopiesItsTable)
{
    HistWindow& window = hists.openWindow(speed);
    EXPECT_EQ(window.get_title(), "Body.Speed");
    EXPECT_TRUE(window.get_visible());
    EXPECT_EQ(linesOf(window.histogram.tableText()).size(), 11u);

    drag(window.binsScale, 5.7);
    EXPECT_EQ(window.binsScale.get_value(), 5.0);
    EXPECT_EQ(linesOf(window.histogram.tableText()).size(), 6u);
    EXPECT_EQ(clipboardAfter(window.copyButton), window.histogram.tableText());

    // The keys can take the scale below its lowest mark: 0 bins count and draw nothing.
    drag(window.binsScale, -3);
    EXPECT_EQ(window.histogram.bins(), 0u);
    EXPECT_EQ(window.histogram.tableText(), "From (km/h)\tTo (km/h)\tFrom/To (km/h)\t%\n");
    EXPECT_TRUE(pumpUntil(settled));
    snapshot(window.histogram);
    drag(window.binsScale, 1000);
    EXPECT_EQ(window.histogram.bins(), 100u);

    // Both rulers, in either order, bound the range; the visible interval no longer does.
    drag(window.binsScale, 10);
    setRulers(kT0 + 25000, kT0 + 10000);
    EXPECT_TRUE(pumpUntil([&] { return window.histogram.counts().totalTime == 16000; }));
    // Values 0..9, then 0..5, in bins of 0.9 each; each sample adds the second before it.
    const std::vector<u64> expected = {2000, 2000, 2000, 2000, 2000, 2000, 1000, 1000, 1000, 1000};
    EXPECT_EQ(window.histogram.counts().bins, expected);
    setRulers(kT0 + 25000, kNoTime); // one ruler: the visible interval
    EXPECT_TRUE(pumpUntil([&] { return window.histogram.counts().totalTime == kSpan; }));

    // Bars in the signal's colour, none with a NaN height when nothing is counted.
    EXPECT_TRUE(pumpUntil([&] { return settled() && count(snapshot(window.histogram), Green, 0, 400) > 1000; }));
    timeBox().from = kT0 + 2 * kSpan;
    timeBox().to = kT0 + 3 * kSpan;
    timeBox().changed.emit();
    EXPECT_TRUE(pumpUntil([&] { return window.histogram.counts().totalTime == 0; }));
    EXPECT_TRUE(pumpUntil([&] { return settled() && count(snapshot(window.histogram), Green, 0, 400) == 0; }));
}

TEST_F(AnalysisWindowsTest, StatisticsShowTheComputedRowsCopyFourteenLinesAndStepTheUnit)
{
    StatWindow& window = stats.openWindow(speed);
    EXPECT_EQ(window.get_title(), "Body.Speed Statistics");
    auto value = [&](int row) { return window.labels[row][1].get_text().raw(); };
    auto row = [&](int r) {
        return window.labels[r][0].get_text().raw() + "|" + value(r) + "|" + window.labels[r][2].get_text().raw();
    };
    EXPECT_EQ(row(0), "Left ruler time|-|(-)");
    EXPECT_EQ(row(2), "Time span|60|s");
    EXPECT_EQ(row(6), "Min value|0.000000|km/h");
    EXPECT_EQ(row(7), "Max value|9.000000|km/h");
    EXPECT_EQ(row(8), "Average|4.500000|km/h");
    EXPECT_EQ(row(10), "Integral [h]|0.075000|km/h\u00b7h"); // 4.5 x 60 s

    const std::vector<std::string> lines = linesOf(clipboardAfter(window.copyButton));
    ASSERT_EQ(lines.size(), 14u);
    EXPECT_EQ(lines[0], "Name\tValue\tUnit");
    EXPECT_EQ(lines[1], "Window\tTest drive");
    EXPECT_EQ(lines[2], "Signal\tBody.Speed");
    EXPECT_EQ(lines[3], "Left ruler time\t-\t(-)");
    EXPECT_EQ(lines[13], "Integral [h]\t0.075000\tkm/h\u00b7h");
    for (std::size_t k = 3; k < lines.size(); ++k) // the grid rows: caption, value, unit
        EXPECT_EQ(std::count(lines[k].begin(), lines[k].end(), '\t'), 2) << lines[k];
    EXPECT_EQ(window.statisticsTable().back(), '\n');

    window.unitButton.clicked();
    EXPECT_EQ(row(10), "Integral [s]|270.000000|km/h\u00b7s");
    window.unitButton.clicked();
    EXPECT_EQ(row(10), "Integral [min]|4.500000|km/h\u00b7min");
    window.unitButton.clicked();
    EXPECT_EQ(row(10), "Integral [h]|0.075000|km/h\u00b7h");

    // A right ruler beyond the visible interval: its own value, not the scan's last one.
    timeBox().to = kT0 + 20000;
    timeBox().changed.emit();
    setRulers(kNoTime, kT0 + 45500);
    EXPECT_TRUE(pumpUntil([&] { return value(4) == "5.000000"; }));
    EXPECT_EQ(value(2), "20");
    EXPECT_EQ(value(3), "-");
    char text[64];
    EXPECT_EQ(value(1), Store::instance().formatTime(i64(kT0 + 45500), text, sizeof text, true, true));
}

TEST_F(AnalysisWindowsTest, OneWindowOfEachKindPerSignalUntilHiddenOrReloaded)
{
    StatWindow& stat = stats.openWindow(speed);
    EXPECT_EQ(&stats.openWindow(speed), &stat);
    HistWindow& hist = hists.openWindow(speed);
    auto other = signalIn("Engine"); // the same name in another message
    stats.openWindow(other);
    EXPECT_EQ(stats.size(), 2u);
    EXPECT_EQ(hists.size(), 1u);

    // Closed by its close button: destroyed once its hide handling is over; opened
    // again it starts afresh.
    drag(hist.binsScale, 40);
    stat.unitButton.clicked();
    hist.hide();
    stat.hide();
    EXPECT_TRUE(pumpUntil([&] { return hists.size() == 0 && stats.size() == 1; }));
    EXPECT_EQ(hists.openWindow(speed).histogram.bins(), 10u);
    EXPECT_EQ(stats.openWindow(speed).timeUnit, 2u);

    // Hidden and opened again before its close ran: the window stays.
    StatWindow& kept = stats.openWindow(other);
    kept.hide();
    stats.openWindow(other);
    drain();
    EXPECT_EQ(stats.find(other->fullName), &kept);
    EXPECT_TRUE(kept.get_visible());

    reload.emit();
    EXPECT_EQ(stats.size() + hists.size(), 0u);
}

} // namespace
} // namespace vistra
