#include "virtual/above_below.h"
#include "virtual/frequency.h"
#include "virtual/iir.h"

#include "stored_input.h"
#include "test_host.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace vistra {
namespace {

using test::created;
using test::perStepInput;
using test::shownPerStep;
using test::storedPoints;
using test::T0;
using Values = std::vector<double>;
using Points = std::vector<std::pair<u64, double>>;

// A triangle wave sampled every 10 ms from 0 to `until` ms, 0 at the troughs and `period`/2
// at the peaks (period/2, 3 period/2, ...).
Values triangle(u64 period, u64 until)
{
    Values out;
    for (u64 t = 0; t <= until; t += 10)
        out.push_back(double(period / 2) - std::abs(double(t % period) - double(period / 2)));
    return out;
}

class FrequencyIirAboveBelowTest : public testing::Test {
protected:
    template <class T>
    std::shared_ptr<T> run(const std::string& lines, const Values& input, u64 step, u64 base = T0)
    {
        perStepInput(host, "X", input, step, base);
        auto s = created<T>(msg, "step=" + std::to_string(step) + "\nsignal=CAN0.In.X\n" + lines);
        s->process();
        return s;
    }

    test::TestHost host;
    std::shared_ptr<VirtualMessage> msg = host.virtualMessage();
};

TEST_F(FrequencyIirAboveBelowTest, FrequencyFromTheTimesBetweenPeaks)
{
    struct Case {
        const char* name;
        const char* lines;
        Values input; // per step of 10 ms
        Points expected;
    };
    const Case cases[] = {
        // A peak is seen one step after it; the first period runs from the first step.
        {"peaks every 200 ms", "method=frequency\n", triangle(200, 1000), {{110, 1000.0 / 110}, {310, 5}}},
        {"the mean of the last three periods", "samples=3\n", triangle(200, 1000), {{510, 1000.0 / 170}, {710, 5}}},
        {"two peaks per cycle", "peaks=2\n", triangle(100, 500), {{60, 1000.0 / 120}, {160, 5}}},
        // The jump to 10 is a spike: the next step is compared with 2 again.
        {"spike filter", "filter=5\n", {0, 1, 2, 10, 3, 2, 1, 2, 3, 2}, {{50, 20}, {90, 25}}},
        {"no filter", "", {0, 1, 2, 10, 3, 2, 1, 2, 3, 2}, {{40, 25}, {90, 20}}},
        // The first rise stores the swing from the first value to itself.
        {"amplitude", "amplitude=true\n", {0, 3.7, 0, 3.7, 0, 3.7}, {{10, 0}, {20, 3}}},
        {"a swing beyond the whole-number range", "amplitude=true\n", {0, 1e10, 0}, {{10, 0}, {20, 4294967295.0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto s = run<Frequency>(c.lines, c.input, 10);
        EXPECT_EQ(storedPoints(*s), c.expected);
    }
    // The first step is known by a flag, not by its time: from 0 ms the swings come out
    // just the same.
    auto fromZero = run<Frequency>("amplitude=true\n", {0, 3.7, 0, 3.7, 0, 3.7}, 10, 0);
    EXPECT_EQ(storedPoints(*fromZero, 0), (Points{{10, 0}, {20, 3}}));
}

TEST_F(FrequencyIirAboveBelowTest, IirFilter)
{
    struct Case {
        const char* lines;
        Values input, expected;
    };
    const Case cases[] = {
        {"K=1\n", {3, 7, -2}, {3, 7, -2}},
        {"K=4\n", {0, 4, 4}, {0, 1, 1.75}},
        {"", {0, 1000, 1000}, {0, 1, 1.999}}, // K is 1000
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lines);
        auto s = run<IIR>(c.lines, c.input, 100);
        const Values shown = shownPerStep(*s, c.input.size(), 100);
        for (std::size_t k = 0; k < shown.size(); ++k)
            EXPECT_NEAR(shown[k], c.expected[k], 1e-12) << k;
    }
}

TEST_F(FrequencyIirAboveBelowTest, AboveAndBelowSwitchWithHysteresis)
{
    const Values input = {0, 7, 11, 7, 4, 11};
    EXPECT_EQ(shownPerStep(*run<AboveBelow>("method=above\nabove=10\nbelow=5\n", input, 100), input.size(), 100),
              (Values{0, 0, 1, 1, 0, 1}));
    EXPECT_EQ(shownPerStep(*run<AboveBelow>("method=below\nabove=10\nbelow=5\n", input, 100), input.size(), 100),
              (Values{1, 1, 0, 0, 1, 0}));
}

TEST_F(FrequencyIirAboveBelowTest, Definitions)
{
    host.input("X");
    const std::string base = "step=10\nsignal=CAN0.In.X\n";
    const std::pair<const char*, const char*> frequency[] = {
        {"samples=0\n", "Expected 'samples' to be 1 or more but got 0"},
        {"samples=-2\n", "Expected 'samples' to be 1 or more but got -2"},
        {"peaks=0\n", "Expected 'peaks' to be 1 or more but got 0"},
    };
    for (const auto& [lines, error] : frequency)
        EXPECT_EQ(test::refusal<Frequency>(msg, base + lines), error);
    EXPECT_THROW(created<Frequency>(msg, base + "samples=1.5\n"), Glib::KeyFileError);
    EXPECT_EQ(test::refusal<IIR>(msg, base + "K=0\n"), "K can not be zero");
    EXPECT_EQ(test::refusal<IIR>(msg, base + "K=-0.0\n"), "K can not be zero");
    EXPECT_THROW(created<AboveBelow>(msg, "method=above\n" + base + "above=1\n"), Glib::KeyFileError);
    EXPECT_EQ(test::refusal<AboveBelow>(msg, "method=below\nstep=10\nabove=1\nbelow=0\n"), "Missing signal_01");
}

} // namespace
} // namespace vistra
