#include "virtual/average.h"

#include "stored_input.h"
#include "test_host.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace vistra {
namespace {

using test::created;
using test::storedInput;
using test::storedPoints;
using test::T0;
using Points = std::vector<std::pair<u64, double>>;

class AverageTest : public testing::Test {
protected:
    std::shared_ptr<Average> average(const std::string& lines)
    {
        return created<Average>(msg, "method=average\nsignal=CAN0.In.X\n" + lines);
    }

    test::TestHost host;
    std::shared_ptr<VirtualMessage> msg = host.virtualMessage();
};

// The input is 0.0 before 500 ms and 10.0 from 500 ms, sampled every 100 ms up to 2900 ms
// (stored as three points: the change and the end).
std::vector<std::pair<u64, double>> stepAt500()
{
    std::vector<std::pair<u64, double>> points;
    for (u64 t = 0; t <= 2900; t += 100)
        points.emplace_back(t, t < 500 ? 0.0 : 10.0);
    return points;
}

TEST_F(AverageTest, HeldValuesCountWithTheirPartInsideTheWindow)
{
    // Window 1000 around each output: a held value that started before the window counts
    // with the part inside it, so the step becomes a ramp.
    const double expected[] = {0, 10.0 / 6, 20.0 / 7, 30.0 / 8, 40.0 / 9, 5, 6, 7, 8, 9, 10};
    // From an epoch time, and from 0 ms, where the first windows begin at 0.
    for (const u64 base : {T0, u64{0}}) {
        SCOPED_TRACE(base);
        auto x = storedInput(host, "X", stepAt500(), base);
        ASSERT_EQ(x->samples.size(), 3u);
        auto s = average("step=100\nwindow=1000\n");
        s->process();
        s->finish();
        for (u64 k = 0; k < 30; ++k)
            EXPECT_NEAR(s->valueAt(base + 100 * k), expected[k < 10 ? k : 10], 1e-9) << k;
        // The outputs go on until the last sample's time.
        EXPECT_EQ(s->lastReceived(), base + 2900);
    }
}

TEST_F(AverageTest, Cases)
{
    struct Case {
        const char* name;
        Points input;
        const char* lines;
        Points expected;
    };
    const Case cases[] = {
        {"a single sample has no length", {{0, 5}}, "", {}},
        // A silence of more than 10 s is skipped in one jump; the value before it is held
        // up to the end of the last window around it (700 ms), no further.
        {"silence", {{0, 1}, {100, 1}, {200, 1}, {15200, 3}, {15300, 3}, {15400, 3}}, "",
         {{0, 1}, {200, 1}, {15200, 3}}},
        {"onlyNeg of a positive input", {{0, 4}, {100, 5}, {200, 6}}, "onlyNeg=true\n", {{0, 0}}},
        {"onlyPos of a negative input", {{0, -4}, {100, -5}, {200, -6}}, "onlyPos=true\n", {{0, 0}}},
        {"onlyPos and onlyNeg", {{0, 4}, {100, -5}, {200, 6}}, "onlyPos=true\nonlyNeg=true\n", {{0, 0}}},
        {"absInput", {{0, -4}, {1000, -4}}, "absInput=true\n", {{0, 4}}},
        {"output options", {{0, -4}, {1000, -4}}, "fact=2\noffs=1\nabsOutput=true\n", {{0, 7}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        storedInput(host, "X", c.input);
        auto s = average(std::string("step=100\nwindow=1000\n") + c.lines);
        s->process();
        EXPECT_EQ(storedPoints(*s), c.expected);
    }
}

TEST_F(AverageTest, LiveDataCompleteAWindowOnlyWithASampleAtOrAfterItsEnd)
{
    // A ramp of one per 100 ms, in three blocks, against the same input as a log load.
    std::vector<Sample> ramp;
    for (u64 k = 0; k <= 40; ++k)
        ramp.push_back({T0 + 100 * k, double(k)});
    host.input("X", ramp);
    auto logLoad = average("step=100\nwindow=1000\n");
    logLoad->process();
    logLoad->finish();

    host.live = true;
    auto x = host.input("X", {ramp.begin(), ramp.begin() + 11}); // up to 1000 ms
    auto live = average("step=100\nwindow=1000\n");
    live->process();
    // The window around 500 ms ends at 1000 ms, where a sample is: it is the last one out.
    EXPECT_EQ(live->lastReceived(), T0 + 500);
    x->samples.insert(x->samples.end(), ramp.begin() + 11, ramp.begin() + 26);
    live->process();
    EXPECT_EQ(live->lastReceived(), T0 + 2000);
    x->samples.insert(x->samples.end(), ramp.begin() + 26, ramp.end());
    live->process();
    live->process();
    EXPECT_EQ(live->lastReceived(), T0 + 3500);
    for (u64 t = T0; t <= T0 + 3500; t += 100)
        EXPECT_NEAR(live->valueAt(t), logLoad->valueAt(t), 1e-9) << t - T0;
}

TEST_F(AverageTest, FinishIsSafeToRunAgain)
{
    storedInput(host, "X", stepAt500());
    auto s = average("step=100\nwindow=1000\n");
    s->process();
    s->finish();
    const std::vector<Sample> once = s->samples;
    const u64 last = s->lastReceived();
    s->finish();
    s->process();
    EXPECT_EQ(s->samples, once);
    EXPECT_EQ(s->lastReceived(), last);
    EXPECT_TRUE(s->segments.empty());
}

TEST_F(AverageTest, Definitions)
{
    auto x = host.input("X");
    x->unit = "km/h";
    x->comment = "speed";
    EXPECT_EQ(average("step=100\nwindow=100\n")->unit, "km/h");
    EXPECT_EQ(average("step=100\nwindow=100\nunit=m/s\n")->unit, "m/s");
    const std::pair<const char*, const char*> refused[] = {
        {"step=500\nwindow=100\n", "step > window for virtual signal Sig"},
        {"step=0\nwindow=100\n", "Expected 'step' to be 1 or more but got 0"},
        {"step=-100\nwindow=-200\n", "Expected 'step' to be 1 or more but got -100"},
    };
    for (const auto& [lines, error] : refused)
        EXPECT_EQ(test::refusal<Average>(msg, "method=average\nsignal=CAN0.In.X\n" + std::string(lines)), error);
    EXPECT_THROW(average("window=100\n"), Glib::KeyFileError);
    EXPECT_THROW(average("step=100\n"), Glib::KeyFileError);
    EXPECT_EQ(test::refusal<Average>(msg, "step=100\nwindow=100\n"), "Missing signal_01");

    // The averaging window around another signal: unit, comment and the display options only.
    test::Definition d("fact=3\nunit=ignored\nminLim=-1\nmaxLimit=5\nhidden=true\n");
    Average wrapper(msg, "Msg.Smooth", x, 100, 1000, d.file, d.group);
    EXPECT_EQ(wrapper.name, "Smooth");
    EXPECT_EQ(wrapper.unit, "km/h");
    EXPECT_EQ(wrapper.comment, "speed");
    EXPECT_EQ(wrapper.factor, 1.0);
    EXPECT_TRUE(wrapper.hasLimits);
    EXPECT_EQ(wrapper.limitLow, -1);
    EXPECT_EQ(wrapper.limitHigh, 5);
    EXPECT_TRUE(wrapper.hidden);
    EXPECT_TRUE(wrapper.dependsOn("CAN0.In.X"));
    for (const auto& [step, window] : {std::pair{100, 50}, std::pair{0, 0}, std::pair{-5, 100}})
        EXPECT_THROW(Average(msg, "Smooth", x, step, window, d.file, d.group), std::invalid_argument);
}

} // namespace
} // namespace vistra
