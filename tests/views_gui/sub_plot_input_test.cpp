// The detail plot under synthesised mouse, wheel and key events.
#include "core/frame_record.h"
#include "store/log_file_writer.h"
#include "sub_plot_fixture.h"
#include "views/dialog_runner.h"
#include "views/ipc.h"
#include "views/sub_plot_host.h"

#include <gdk/gdkkeysyms.h>
#include <gtkmm/filechooserdialog.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace vistra::test {
namespace {

namespace fs = std::filesystem;

struct FakeHost : SubPlotHost {
    void hideSignal(std::shared_ptr<Signal> s) override { record("hide", s); }
    void chooseLineColor(std::shared_ptr<Signal> s) override { record("colour", s); }
    void findSignalInList(std::shared_ptr<Signal> s) override { record("find", s); }
    void showStats(std::shared_ptr<Signal> s) override { record("stats", s); }
    void popupPlotMenu(std::shared_ptr<Signal> s) override { record("popup", s); }
    void record(const char* what, const std::shared_ptr<Signal>& s) { calls.push_back(what + (" " + s->fullName)); }
    std::vector<std::string> take() { return std::exchange(calls, {}); }
    std::vector<std::string> calls;
};

// Counts the emissions of a dispatcher for the life of the counter.
struct EmitCounter {
    explicit EmitCounter(Glib::Dispatcher& d) : connection(d.connect([this] { ++count; })) {}
    ~EmitCounter() { connection.disconnect(); }
    int count = 0;
    sigc::connection connection;
};

class SubPlotInputTest : public SubPlotFixture {
protected:
    // Three signals over the whole minute, as the overview would set it: 100 ms a pixel.
    void showThree()
    {
        plot(threeSignals());
        show();
        ASSERT_TRUE(shows(Magenta));
        timeBox().from = kT0;
        timeBox().to = kT0 + kSpan;
        ASSERT_TRUE(pumpUntil(settled));
        plotWidget->signal_configure_event().connect(
            [this](GdkEventConfigure*) {
                ++renders;
                return false;
            },
            false);
    }
    void TearDown() override
    {
        Store::instance().resetViewWindow();
        setDialogRunner(nullptr);
        SubPlotFixture::TearDown();
    }
    bool cursorSet() { return gdk_window_get_cursor(plotWidget->get_window()->gobj()) != nullptr; }
    u64 timeAtPixel(int x) { return rulerTimeAt(x, plotWidget->shownFrom, plotWidget->shownTo, kWidth); }
    void expectShown(u64 from, u64 to)
    {
        EXPECT_EQ(plotWidget->shownFrom, from);
        EXPECT_EQ(plotWidget->shownTo, to);
        EXPECT_EQ(timeBox().from, from); // every other view shows the same
        EXPECT_EQ(timeBox().to, to);
    }

    int renders = 0;
};

TEST_F(SubPlotInputTest, RulerDragMovesTheHeldRulersAndOnlyRedraws)
{
    showThree();
    Store& store = Store::instance();
    EmitCounter markers(store.markersChanged);
    press(1, 150);
    EXPECT_EQ(store.leftRuler, kT0 + 15000);
    motion(300.7);
    EXPECT_EQ(store.leftRuler, kT0 + 30000);
    press(3, 310); // both held: the main ruler goes on moving
    EXPECT_TRUE(plotWidget->heldMain && plotWidget->heldSecondary);
    EXPECT_EQ(store.leftRuler, kT0 + 31000);
    EXPECT_EQ(store.rightRuler, kNoTime);
    motion(400);
    release(1);
    motion(450);
    EXPECT_EQ(store.leftRuler, kT0 + 40000);
    EXPECT_EQ(store.rightRuler, kT0 + 45000);
    motion(700); // past the right edge: after the shown interval
    EXPECT_EQ(store.rightRuler, kT0 + 70000);
    motion(-20);
    EXPECT_EQ(store.rightRuler, kT0);
    motion(450);
    release(3);
    motion(500);
    EXPECT_EQ(store.rightRuler, kT0 + 45000);
    EXPECT_EQ(IPC::instance().leftRuler(), kT0 + 40000);
    EXPECT_EQ(IPC::instance().rightRuler(), kT0 + 45000);
    EXPECT_TRUE(plotWidget->is_focus()); // taken on motion, so the keys work at once

    drain();
    EXPECT_GT(markers.count, 0);
    EXPECT_EQ(renders, 0); // the image stays: a drag only redraws
    auto image = snapshot(*plotWidget);
    EXPECT_LT(at(image, 400, 30).g, 40);
    EXPECT_LT(at(image, 450, 30).g, 40);

    EXPECT_TRUE(key(GDK_KEY_Escape));
    EXPECT_EQ(store.leftRuler, kNoTime);
    EXPECT_EQ(store.rightRuler, kNoTime);
    EXPECT_EQ(IPC::instance().leftRuler(), kNoTime);
    image = snapshot(*plotWidget);
    EXPECT_EQ(hue(at(image, 450, 30)), White);
}

TEST_F(SubPlotInputTest, WheelZoomKeepsTheTimeUnderThePointerAndPansStopAtTheData)
{
    showThree();
    EmitCounter changes(timeBox().changed);
    ASSERT_EQ(timeAtPixel(150), kT0 + 15000);
    scroll(GDK_SCROLL_UP, 150);
    expectShown(kT0 + 2500, kT0 + 52500);
    EXPECT_EQ(timeAtPixel(150), kT0 + 15000);
    EXPECT_TRUE(timeBox().origin);
    ASSERT_TRUE(pumpUntil([&] { return changes.count == 1 && renders == 1 && !plotWidget->renderPending(); }));

    scroll(GDK_SCROLL_UP, 0, GDK_SHIFT_MASK); // earlier by a tenth, but only as far as the data
    expectShown(kT0, kT0 + 50000);
    scroll(GDK_SCROLL_UP, 0, GDK_SHIFT_MASK);
    expectShown(kT0, kT0 + 50000);
    scroll(GDK_SCROLL_LEFT, 0); // horizontal scrolling left: later
    expectShown(kT0 + 5000, kT0 + 55000);
    scroll(GDK_SCROLL_DOWN, 0); // out, about the middle
    expectShown(kT0, kT0 + 60000);

    EXPECT_TRUE(key(GDK_KEY_Up));
    expectShown(kT0 + 5000, kT0 + 55000);
    EXPECT_TRUE(key(GDK_KEY_Left));
    expectShown(kT0, kT0 + 50000);
    EXPECT_FALSE(key(GDK_KEY_Left, GDK_SHIFT_MASK)); // not plain: the main window's
    ASSERT_TRUE(pumpUntil([&] { return settled() && !plotWidget->renderPending(); }));
    EXPECT_EQ(changes.count, 6); // the pan at the start of the data changed nothing
}

// A pair that TimeBox refuses (here: the view window moved away from the shown interval)
// leaves the plot showing what every other view shows.
TEST_F(SubPlotInputTest, ARefusedIntervalLeavesThePlotAsItWas)
{
    showThree();
    timeBox().setInterval(kT0, kT0 + 10000, true);
    ASSERT_TRUE(pumpUntil([&] { return plotWidget->shownTo == kT0 + 10000 && settled() && renders == 1; }));
    ASSERT_TRUE(pumpUntil([&] { return !plotWidget->renderPending(); }));
    Store::instance().viewStart = kT0 + 30000;
    scroll(GDK_SCROLL_DOWN, 0, GDK_SHIFT_MASK);
    scroll(GDK_SCROLL_UP, 300);
    expectShown(kT0, kT0 + 10000);
    EXPECT_GT(count(snapshot(*plotWidget), Green, 0, 100), 0);
}

TEST_F(SubPlotInputTest, CropToTheRulersInEitherOrderOrToTheShownIntervalAndUncrop)
{
    showThree();
    Store& store = Store::instance();
    store.lastTime = kT0 + kSpan;
    store.leftRuler = kT0 + 40000;
    store.rightRuler = kT0 + 20000;
    EXPECT_TRUE(key(GDK_KEY_z, GDK_MOD1_MASK));
    EXPECT_EQ(store.viewStart, kT0 + 20000);
    EXPECT_EQ(store.viewEnd, kT0 + 40000);
    EXPECT_EQ(timeBox().from, kT0 + 20000);
    EXPECT_EQ(timeBox().to, kT0 + 40000);
    ASSERT_TRUE(pumpUntil([&] { return plotWidget->shownFrom == kT0 + 20000 && renders > 0; }));

    EXPECT_TRUE(key(GDK_KEY_X, GDK_MOD1_MASK | GDK_SHIFT_MASK));
    EXPECT_EQ(store.viewStart, kT0);
    EXPECT_EQ(store.viewEnd, kT0 + kSpan);

    // Copy opens its dialog; while the Store is busy the key is taken but nothing opens.
    store.parsing = true;
    EXPECT_TRUE(key(GDK_KEY_c, GDK_CONTROL_MASK));
    EXPECT_FALSE(plotWidget->sampleRateDialogue.get_visible());
    store.parsing = false;
    drainLog();
    EXPECT_TRUE(key(GDK_KEY_C, GDK_CONTROL_MASK | GDK_SHIFT_MASK));
    EXPECT_TRUE(plotWidget->sampleRateDialogue.get_visible());
    plotWidget->sampleRateDialogue.hide();

    store.leftRuler = kNoTime; // one ruler: crop keeps what is shown
    timeBox().setInterval(kT0 + 25000, kT0 + 35000, true);
    plotWidget->crop();
    EXPECT_EQ(store.viewStart, kT0 + 25000);
    EXPECT_EQ(store.viewEnd, kT0 + 35000);
    EXPECT_FALSE(key(GDK_KEY_z)); // plain Z is not the plot's
}

TEST_F(SubPlotInputTest, ClickModesAndThePopupActOnTheSignalUnderThePointer)
{
    {
        SubPlot unrealised; // no window to carry a cursor yet
        unrealised.setHideMode(true);
        EXPECT_TRUE(unrealised.hideMode);
        unrealised.setHideMode(false);
    }
    showThree();
    FakeHost host;
    plotWidget->setHost(&host);
    Store& store = Store::instance();

    plotWidget->setStatsMode(true);
    EXPECT_TRUE(cursorSet());
    press(1, 100, 150);
    EXPECT_EQ(host.take(), std::vector<std::string>{"stats B"});
    EXPECT_FALSE(plotWidget->heldMain);
    EXPECT_EQ(store.leftRuler, kNoTime); // a click-mode click sets no ruler
    press(1, 100, 150, 0, GDK_2BUTTON_PRESS); // the extra event of a double click
    EXPECT_TRUE(host.take().empty());
    plotWidget->setStatsMode(false);
    EXPECT_FALSE(cursorSet());

    plotWidget->setColorMode(true);
    plotWidget->setFindMode(true);
    press(1, 100, 250);
    EXPECT_EQ(host.take(), std::vector<std::string>{"colour C"}); // the first mode in H, C, F, S
    plotWidget->setFindMode(false);
    EXPECT_FALSE(cursorSet()); // also while another mode is still on
    plotWidget->setColorMode(false);

    plotWidget->setHideMode(true);
    store.parsing = true;
    drainLog();
    press(1, 100, 50);
    EXPECT_TRUE(host.take().empty());
    EXPECT_EQ(drainLog(), std::vector<std::string>{"Wait for parse to complete"});
    store.parsing = false;
    press(1, 100, 50);
    EXPECT_EQ(host.take(), std::vector<std::string>{"hide A"});
    press(1, 100, 305); // the text row: no signal
    EXPECT_TRUE(host.take().empty());
    plotWidget->setHideMode(false);

    press(2, 10, 150);
    press(3, 10, 250, GDK_CONTROL_MASK);
    EXPECT_EQ(host.take(), (std::vector<std::string>{"popup B", "popup C"}));
    EXPECT_FALSE(plotWidget->heldSecondary);
    Settings::instance()->setSplitView(false);
    press(2, 10, 150); // no popup in overlay
    EXPECT_TRUE(host.take().empty());

    Settings& settings = *Settings::instance();
    EXPECT_TRUE(key(GDK_KEY_d, GDK_LOCK_MASK | GDK_MOD2_MASK));
    EXPECT_TRUE(settings.getShowDelta());
    EXPECT_FALSE(key(GDK_KEY_D, GDK_SHIFT_MASK));
    EXPECT_TRUE(settings.getShowDelta());
    EXPECT_TRUE(key(GDK_KEY_t));
    EXPECT_TRUE(settings.getPrettyTime());
}

// The ASC trace as the command line writes it, read back as (absolute ms, frame text).
using Trace = std::multimap<u64, std::string>;

Trace readTrace(std::istream& in)
{
    Trace trace;
    std::string line;
    u64 base = 0;
    while (std::getline(in, line)) {
        if (line.rfind("date ", 0) == 0) {
            std::tm cal{};
            // "date Tue Nov 14 22:13:20.000 pm 2023": the whole second of the first frame.
            char month[4] = {}, weekday[4] = {}, half[3] = {};
            int day = 0, h = 0, m = 0, s = 0, year = 0;
            EXPECT_EQ(std::sscanf(line.c_str(), "date %3s %3s %d %d:%d:%d.000 %2s %d", weekday, month, &day, &h, &m,
                                  &s, half, &year),
                      8);
            const std::string months = "JanFebMarAprMayJunJulAugSepOctNovDec";
            cal.tm_mon = static_cast<int>(months.find(month) / 3);
            cal.tm_mday = day;
            cal.tm_hour = h;
            cal.tm_min = m;
            cal.tm_sec = s;
            cal.tm_year = year - 1900;
            base = static_cast<u64>(timegm(&cal)) * 1000;
            continue;
        }
        unsigned long long seconds = 0, tenths = 0;
        int used = 0;
        if (std::sscanf(line.c_str(), "%llu.%4llu%n", &seconds, &tenths, &used) == 2)
            trace.emplace(base + seconds * 1000 + tenths / 10, line.substr(static_cast<std::size_t>(used)));
    }
    return trace;
}

Trace readTraceFile(const std::string& path)
{
    std::ifstream in(path);
    return readTrace(in);
}

Trace within(const Trace& all, u64 from, u64 to)
{
    return Trace(all.lower_bound(from), all.upper_bound(to));
}

TEST_F(SubPlotInputTest, AscExportWritesTheVisibleOrRulerRangeAsTheCommandLineDoes)
{
    const fs::path dir = fs::path(std::getenv("HOME")) / "asc-export";
    fs::create_directories(dir);
    const std::string log = (dir / "drive.log").string();
    {
        LogFileWriter writer;
        ASSERT_TRUE(writer.open(log, kT0));
        for (u32 k = 0; k < 600; ++k) { // every 100 ms over the minute, on two interfaces
            FrameRecord f;
            f.timestamp = 5000 + k * 100;
            f.idWord = 0x100 + k % 3;
            f.length = 8;
            f.data[0] = static_cast<u8>(k);
            f.data[7] = static_cast<u8>(k >> 8);
            f.iface = static_cast<u8>(k % 2);
            ASSERT_TRUE(writer.add(f));
        }
        ASSERT_TRUE(writer.close());
    }
    std::string command = std::string(TARNWICK_BINARY) + " -o '" + log + "'";
    std::FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string text;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        text.append(buffer, n);
    ASSERT_EQ(pclose(pipe), 0);
    std::istringstream in(text);
    const Trace whole = readTrace(in);
    ASSERT_EQ(whole.size(), 600u);

    showThree();
    Store& store = Store::instance();
    store.clearLogFiles();
    store.addLogFile(log.c_str());
    store.startThread();
    std::vector<std::string> asked;
    std::string name;
    int response = Gtk::RESPONSE_OK;
    setDialogRunner([&](Gtk::Dialog& dialog) {
        auto& chooser = dynamic_cast<Gtk::FileChooserDialog&>(dialog);
        asked.push_back(dialog.get_title() + " " + chooser.get_current_name());
        chooser.set_current_folder(dir.string());
        chooser.set_current_name(name);
        // The chooser takes the folder in the main loop, as it would while it runs.
        EXPECT_TRUE(pumpUntil([&] { return !chooser.get_filename().empty(); }, 3000));
        return response;
    });
    auto exported = [&] { return pumpUntil([&] { return !store.dumpPending && !store.parsing && !store.isWorking(); }); };

    const u64 first = whole.begin()->first;
    timeBox().setInterval(first + 10000, first + 20000, true);
    name = "visible.asc";
    EXPECT_TRUE(key(GDK_KEY_A, GDK_CONTROL_MASK | GDK_SHIFT_MASK));
    ASSERT_TRUE(exported());
    const Trace visible = readTraceFile((dir / "visible.asc").string());
    EXPECT_EQ(visible.size(), 101u);
    EXPECT_EQ(visible, within(whole, first + 10000, first + 20000));
    EXPECT_EQ(asked, std::vector<std::string>{"Select file to write ASC data to trace.asc"});

    store.leftRuler = first + 30550;
    store.rightRuler = first + 25000; // either order
    name = "rulers.asc";
    plotWidget->dumpVisibleRangeAsc();
    ASSERT_TRUE(exported());
    EXPECT_EQ(readTraceFile((dir / "rulers.asc").string()), within(whole, first + 25000, first + 30550));

    // Cancelled, live or without log files: nothing is written.
    response = Gtk::RESPONSE_CANCEL;
    name = "cancelled.asc";
    plotWidget->dumpVisibleRangeAsc();
    EXPECT_FALSE(store.dumpPending);
    drainLog();
    store.live = true;
    plotWidget->dumpVisibleRangeAsc();
    store.live = false;
    store.clearLogFiles();
    plotWidget->dumpVisibleRangeAsc();
    EXPECT_EQ(drainLog(), (std::vector<std::string>{"CAN dump is only possible when viewing data from log files",
                                                    "Couldn't dump data, no log files selected"}));
    EXPECT_EQ(asked.size(), 3u);
    EXPECT_FALSE(fs::exists(dir / "cancelled.asc"));
}

} // namespace
} // namespace vistra::test
