#include "core/can_iface.h"
#include "core/message.h"
#include "core/message_log.h"
#include "core/report.h"
#include "core/signal.h"
#include "core/store_host.h"
#include "test_helpers.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace vistra {

void PrintTo(const Sample& s, std::ostream* os) { *os << "(" << s.time << "," << s.value << ")"; }

namespace {

constexpr u64 T0 = 1765000000000ULL; // a time in this decade; 0 means "none" in places

std::shared_ptr<Signal> makeSignal() { return std::make_shared<Signal>(nullptr, "S"); }

std::vector<Sample> relative(const std::vector<Sample>& samples)
{
    std::vector<Sample> out;
    for (const auto& s : samples)
        out.push_back({s.time - T0, s.value});
    return out;
}


struct LiveMode {
    explicit LiveMode(bool on) { storeHost().live = on; }
    ~LiveMode() { storeHost().live = false; }
};

struct StoringCase {
    const char* name;
    bool live;
    std::vector<Sample> input; // times relative to T0
    std::vector<Sample> stored;
};

TEST(SignalStoring, KeepsChangesGapsKeepAlivesAndTheLiveTail)
{
    std::vector<Sample> every100ms;
    for (u64 t = 0; t <= 24900; t += 100)
        every100ms.push_back({t, 5});

    const std::vector<StoringCase> cases = {
        {"constant every 100 ms", false, every100ms, {{0, 5}, {9900, 5}, {19800, 5}}},
        {"changes only", false, {{1000, 1}, {1100, 1}, {1200, 2}, {1300, 2}}, {{1000, 1}, {1200, 2}}},
        {"10000 ms since last received is no gap", false, {{1000, 5}, {2000, 5}, {12000, 5}},
         {{1000, 5}, {2000, 5}}},
        {"10001 ms is a gap", false, {{1000, 5}, {2000, 5}, {12001, 5}}, {{1000, 5}, {2000, 5}, {12001, 5}}},
        {"keep-alive then change", false, {{1000, 1}, {5000, 1}, {11000, 2}},
         {{1000, 1}, {5000, 1}, {11000, 2}}},
        {"backward time is a gap", false, {{5000, 1}, {4000, 2}}, {{5000, 1}, {5000, 1}, {4000, 2}}},
        {"live first value twice", true, {{1000, 5}}, {{1000, 5}, {1000, 5}}},
        {"live tail moves", true, {{1000, 5}, {1100, 5}}, {{1000, 5}, {1100, 5}}},
        {"live change", true, {{1000, 5}, {1100, 5}, {1200, 7}}, {{1000, 5}, {1200, 7}, {1200, 7}}},
        {"live keep-alive", true, {{1000, 5}, {6000, 5}, {11000, 5}}, {{1000, 5}, {6000, 5}, {11000, 5}}},
        {"live gap", true, {{1000, 5}, {11500, 5}}, {{1000, 5}, {1000, 5}, {11500, 5}, {11500, 5}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LiveMode live(c.live);
        auto signal = makeSignal();
        for (const auto& s : c.input)
            signal->addValue(T0 + s.time, s.value);
        EXPECT_EQ(relative(signal->samples), c.stored);
        EXPECT_TRUE(signal->hasData);
        EXPECT_EQ(signal->lastReceived(), T0 + c.input.back().time);
    }
}

TEST(SignalStoring, FinishClosesTheLastRunAtTheTimeLastSeen)
{
    auto signal = makeSignal();
    for (u64 t = 0; t <= 24900; t += 100)
        signal->addValue(T0 + t, 5);
    signal->finish();
    EXPECT_EQ(relative(signal->samples), (std::vector<Sample>{{0, 5}, {9900, 5}, {19800, 5}, {24900, 5}}));
    signal->finish(); // nothing more once the last sample is the last one seen
    EXPECT_EQ(signal->samples.size(), 4u);
}

TEST(SignalStoring, ValuesOutsideTheLimitsAreStoredButNotCounted)
{
    Signal signal(nullptr, "S", 0, 100);
    ASSERT_TRUE(signal.hasLimits);
    signal.addValue(T0, 50);
    signal.addValue(T0 + 10, 150);
    signal.addValue(T0 + 20, -5);
    EXPECT_EQ(signal.samples.size(), 3u);
    EXPECT_EQ(signal.overallRange().low, 50);
    EXPECT_EQ(signal.overallRange().high, 50);

    Signal unlimited(nullptr, "S", 0, 0);
    EXPECT_FALSE(unlimited.hasLimits);
}

TEST(SignalFormat, ValueTableHexAndDecimals)
{
    struct Case {
        std::map<int, Glib::ustring> table;
        const char* unit;
        double value;
        const char* text;
    };
    const double nan = std::nan("");
    const std::vector<Case> cases = {
        {{{1, "On"}}, "", 1, "On (1)"},
        {{{1, "On"}}, "", 1.7, "On (1)"},          // the key is the value truncated toward zero
        {{{1, "On"}}, "hex", 2, "0x2"},           // key missing: falls through to hex
        {{}, "hex", -1.0, "0xFFFFFFFF"},
        {{}, "", 3.14159, "3.14"},
        {{{0, "Off"}}, "", nan, "nan"},           // never converted to int
        {{}, "hex", 1e20, "100000000000000000000.00"}, // outside i64: no hex
        {{{5, "x"}}, "", 3e9, "3000000000.00"},  // outside int: no table lookup
    };
    for (const auto& c : cases) {
        auto signal = makeSignal();
        signal->valueTable = c.table;
        signal->unit = c.unit;
        char buf[512];
        signal->formatValue(buf, sizeof buf, c.value);
        EXPECT_STREQ(buf, c.text) << c.value;
    }
}

TEST(SignalUsers, CountsUsesAndReportsARefcountError)
{
    test::drainLog();
    auto signal = makeSignal();
    auto user = makeSignal();
    signal->addUser(nullptr);
    EXPECT_TRUE(signal->needsLoad);
    signal->addUser(user);
    EXPECT_EQ(signal->dependants.size(), 1u);
    signal->removeUser(user);
    EXPECT_TRUE(signal->dependants.empty());
    signal->removeUser(nullptr); // an empty pointer only lowers the count
    EXPECT_EQ(signal->useCount, 0u);
    EXPECT_FALSE(signal->needsLoad);

    testing::internal::CaptureStderr();
    EXPECT_THROW(signal->removeUser(nullptr), PrintMsgError);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(signal->useCount, 0u);
    const auto entry = MessageLog::instance().pop();
    EXPECT_EQ(entry.level, Level::Error);
    EXPECT_EQ(entry.text, "Refcounting error");

    signal->loaded = true;
    signal->addUser(nullptr);
    EXPECT_FALSE(signal->needsLoad); // loaded already
}

class PlotListHost : public StoreHost {
public:
    PlotListHost() { install(this); }
    ~PlotListHost() override { install(nullptr); }
    Glib::ustring signalColor(const Glib::ustring& iface, const Glib::ustring& msg,
                              const Glib::ustring& sig) override
    {
        return iface + "/" + msg + "/" + sig;
    }
    void refreshPlotSignals() override { refreshes += 1; }
    int refreshes = 0;
};

TEST(SignalUsers, EnablingCountsOneUseAndRefreshesThePlotList)
{
    PlotListHost host;
    auto signal = makeSignal();
    signal->setEnabled(true);
    signal->setEnabled(true);
    EXPECT_EQ(signal->useCount, 1u);
    signal->setEnabled(false);
    EXPECT_EQ(signal->useCount, 0u);
    EXPECT_EQ(host.refreshes, 3);

    signal->hidden = true;
    signal->setEnabled(true);
    EXPECT_FALSE(signal->enabled);
    EXPECT_EQ(host.refreshes, 3);
}

TEST(SignalNames, FullNameAndColourComeFromTheParent)
{
    PlotListHost host;
    auto iface = CanIface::create("CAN0", 0);
    auto msg = std::make_shared<Message>(1, "MsgA", iface);
    Signal withIface(msg, "Signal0");
    EXPECT_EQ(withIface.fullName, "CAN0.MsgA.Signal0");
    EXPECT_EQ(withIface.colour, "CAN0/MsgA/Signal0");

    auto orphan = std::make_shared<Message>(1, "MsgB", nullptr);
    Signal noIface(orphan, "Sig");
    EXPECT_EQ(noIface.fullName, "MsgB.Sig");
    EXPECT_EQ(noIface.colour, "Can/MsgB/Sig");
}

// Random step data: times strictly increasing, values changing at every sample.
std::shared_ptr<Signal> randomSignal(std::mt19937& rng, int n)
{
    auto signal = makeSignal();
    u64 t = T0;
    for (int i = 0; i < n; ++i) {
        t += 1 + rng() % 50;
        signal->addValue(t, double(i % 7) + i * 0.001);
    }
    return signal;
}

TEST(SignalLookup, ValueAtAndLowerBoundMatchABruteForceScan)
{
    std::mt19937 rng(7);
    for (int n : {0, 1, 150, 201, 202, 1000, 5000}) {
        auto signal = randomSignal(rng, n);
        const auto& samples = signal->samples;
        ASSERT_EQ(samples.size(), size_t(n));
        if (n == 0) {
            EXPECT_EQ(signal->lowerBoundApprox(T0), nullptr);
            EXPECT_EQ(signal->valueAt(T0), 0.0);
            continue;
        }
        const u64 last = samples.back().time;
        for (int k = 0; k < 2000; ++k) {
            const u64 t = T0 - 10 + rng() % (last - T0 + 30);
            double expected = 0.0;
            size_t exact = 0;
            for (size_t i = 0; i < samples.size() && samples[i].time <= t; ++i) {
                expected = samples[i].value;
                exact = i;
            }
            ASSERT_EQ(signal->valueAt(t), expected) << "n=" << n << " t=" << t - T0;
            const Sample* start = signal->lowerBoundApprox(t);
            ASSERT_NE(start, nullptr);
            const size_t index = size_t(start - samples.data());
            EXPECT_TRUE(index == 0 || start->time < t);
            EXPECT_LE(index, exact);
            EXPECT_LE(exact - index, 205u) << "the coarse search stops at about 200 samples";
        }
    }
}

TEST(SignalLookup, ViewRangeMatchesABruteForceScan)
{
    std::mt19937 rng(11);
    for (int n : {1, 101, 150, 201, 202, 3000}) {
        auto signal = randomSignal(rng, n);
        const auto& samples = signal->samples;
        const u64 last = samples.back().time;
        for (int k = 0; k < 300; ++k) {
            u64 from = T0 + rng() % (last - T0 + 20);
            u64 to = from + rng() % 3000;
            if (k == 0)
                from = samples[0].time + 1, to = last; // window starting just after the first sample
            storeHost().viewStart = from;
            storeHost().viewEnd = to;
            double lo = DBL_MAX, hi = -DBL_MAX;
            for (const auto& s : samples) {
                if (s.time >= to)
                    break;
                if (s.time < from) {
                    lo = hi = s.value;
                } else {
                    lo = std::min(lo, s.value);
                    hi = std::max(hi, s.value);
                }
            }
            signal->updateViewRange();
            ASSERT_EQ(signal->viewRange().low, lo) << "n=" << n << " from=" << from - T0 << " to=" << to - T0;
            ASSERT_EQ(signal->viewRange().high, hi);
        }
    }
    storeHost().viewStart = kNoTime;
    storeHost().viewEnd = 0;
}

TEST(SignalPixels, ValueToYKeepsHalfALineWidthFreeAndStaysInTheLane)
{
    struct Case {
        double lineWidth;
        double value;
        int y;
    };
    // viewMin 0, viewMax 100, height 104.
    const std::vector<Case> cases = {
        {3.0, 100, 2},   // m = 4: the top leaves m/2
        {3.0, 0, 102},   // the bottom leaves m/2
        {3.0, 50, 52},
        {2.5, 100, 1},   // m = 2
        {2.5, 0, 103},
        {2.0, 1e12, 0},  // far above the view range: clamped to the lane
        {2.0, -1e12, 104},
        {2.0, std::nan(""), 104},
    };
    auto signal = makeSignal();
    signal->setViewRange({0, 100});
    for (const auto& c : cases) {
        storeHost().lineWidth = c.lineWidth;
        EXPECT_EQ(signal->valueToY(c.value, 104), c.y) << c.lineWidth << " " << c.value;
    }
    // A flat view range does not divide.
    storeHost().lineWidth = 2.0;
    signal->setViewRange({7, 7});
    EXPECT_EQ(signal->valueToY(7, 50), 1);
    EXPECT_EQ(signal->valueToY(8, 50), 0);
}

TEST(SignalLifecycle, ReservesLargeSamplesForTheFilesToCome)
{
    const struct {
        std::size_t stored;     // samples already there
        std::size_t frames;     // frames of the file about to be decoded
        std::size_t laterFiles; // files after it
        std::size_t capacity;   // at least this after the call (0: as it was)
        std::size_t most;       // at most this
    } cases[] = {
        {0, 5000, 9, 50000, 50000},        // one mapping for a load of equal files
        {0, 100, 3, 0, 0},                 // small: grows as usual, no room kept spare
        {0, 1000, 1000, 17000, 17000},     // at most 16 files ahead
        {30000, 5000, 0, 60000, 60000},    // the last file: at least doubling
        {100, 9000, 0, 9100, 9100},        // grows straight to what the file needs
    };
    for (const auto& c : cases) {
        auto signal = makeSignal();
        for (std::size_t i = 0; i < c.stored; ++i)
            signal->samples.push_back({T0 + i, 0.0});
        signal->samples.shrink_to_fit();
        const std::size_t before = signal->samples.capacity();
        signal->reserveForFrames(c.frames, c.stored, c.laterFiles);
        const std::size_t after = signal->samples.capacity();
        if (c.capacity == 0) {
            EXPECT_EQ(after, before) << c.frames << " " << c.laterFiles;
        } else {
            EXPECT_GE(after, c.capacity) << c.frames << " " << c.laterFiles;
            EXPECT_LE(after, c.most) << c.frames << " " << c.laterFiles;
        }
        EXPECT_EQ(signal->samples.size(), c.stored);
    }
    // Room that is there already is kept as it is.
    auto signal = makeSignal();
    signal->samples.reserve(60000);
    signal->reserveForFrames(50000, 0, 5);
    EXPECT_EQ(signal->samples.capacity(), 60000u);
}

TEST(SignalLifecycle, MakesResidentWhatTheFileWillLikelyFillAndNoMore)
{
    // 1000 samples from 4000 frames: a file of 400000 frames likely adds 100000 samples.
    // Those pages are made resident at once; the room reserved for later files is not.
    // (The room is large enough for a mapping of its own, fresh, whatever the heap.)
    auto signal = makeSignal();
    signal->samples.assign(1000, Sample{T0, 0.0});
    signal->samples.shrink_to_fit();
    signal->reserveForFrames(400000, 4000, 9);
    ASSERT_GE(signal->samples.capacity(), 1000u + 400000u * 10);
    // How many of the whole pages between two sample positions are resident, of how many.
    auto resident = [&](std::size_t fromSample, std::size_t toSample) {
        const std::uintptr_t page = ::sysconf(_SC_PAGESIZE);
        const auto base = reinterpret_cast<std::uintptr_t>(signal->samples.data());
        const std::uintptr_t from = (base + fromSample * sizeof(Sample) + page - 1) / page * page;
        const std::uintptr_t to = (base + toSample * sizeof(Sample)) / page * page;
        std::vector<unsigned char> in((to - from) / page);
        EXPECT_EQ(::mincore(reinterpret_cast<void*>(from), to - from, in.data()), 0);
        const auto count = std::count_if(in.begin(), in.end(), [](unsigned char c) { return c & 1; });
        return std::pair<std::size_t, std::size_t>(count, in.size());
    };
    const auto likely = resident(1000, 101000);
    EXPECT_EQ(likely.first, likely.second);
    EXPECT_EQ(resident(102000, signal->samples.capacity()).first, 0u) << "room for later files made resident";
}

TEST(SignalLifecycle, ClearKeepsUsersAndResetsRanges)
{
    auto signal = makeSignal();
    signal->addValue(T0, 3);
    signal->addUser(nullptr);
    signal->clear();
    EXPECT_TRUE(signal->samples.empty());
    EXPECT_FALSE(signal->hasData);
    EXPECT_TRUE(signal->needsLoad);
    EXPECT_EQ(signal->overallRange().low, DBL_MAX);
    EXPECT_EQ(signal->viewRange().high, -DBL_MAX);
    signal->addUser(makeSignal());
    signal->clearAndDropUsers();
    EXPECT_TRUE(signal->dependants.empty());
    EXPECT_EQ(signal->useCount, 2u);
}

} // namespace
} // namespace vistra
