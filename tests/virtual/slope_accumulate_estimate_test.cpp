#include "virtual/accumulate.h"
#include "virtual/estimate.h"
#include "virtual/slope.h"

#include "stored_input.h"
#include "test_host.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace vistra {
namespace {

using test::created;
using test::perStepInput;
using test::storedPoints;
using test::T0;
using Values = std::vector<double>;
using Points = std::vector<std::pair<u64, double>>;

class SlopeAccumulateEstimateTest : public testing::Test {
protected:
    // T over per-step input values (step 100) from `base`, with a reset input when given.
    template <class T>
    std::shared_ptr<T> run(const std::string& lines, const Values& input, const Values& reset = {}, u64 base = T0)
    {
        perStepInput(host, "X", input, 100, base);
        std::string keys = "step=100\nsignal=CAN0.In.X\n";
        if (!reset.empty()) {
            perStepInput(host, "R", reset, 100, base);
            keys += "resetSig=CAN0.In.R\n";
        }
        auto s = created<T>(msg, keys + lines);
        s->process();
        return s;
    }

    test::TestHost host;
    std::shared_ptr<VirtualMessage> msg = host.virtualMessage();
};

TEST_F(SlopeAccumulateEstimateTest, SlopeFollowsAtLimitedRates)
{
    // Rates per second; with step 100 a tenth of them per step.
    const std::string rates = "posSlopeIncr=10\nposSlopeDecr=10\nnegSlopeIncr=20\nnegSlopeDecr=30\n";
    struct Case {
        const char* name;
        Values input;
        Points expected; // the first step stores nothing
    };
    const Case cases[] = {
        {"rising", {0, 5, 5, 5, 5, 5, 5}, {{100, 1}, {200, 2}, {300, 3}, {400, 4}, {500, 5}}},
        {"constant", {2, 2, 2}, {{100, 2}}},
        {"within the limit the input is reached at once", {1, 1.5, 0.5}, {{100, 1.5}, {200, 0.5}}},
        // The side is chosen by the sign at the start of the step: 0.5 falls at the
        // positive rate to -0.5, then at the negative rates.
        {"crossing zero", {0.5, -3, -3, -3, 0, 0}, {{100, -0.5}, {200, -2.5}, {300, -3}, {400, 0}}},
        {"from below toward zero", {-5, 0, 0}, {{100, -2}, {200, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto s = run<Slope>(rates, c.input);
        EXPECT_EQ(storedPoints(*s), c.expected);
    }
    // The first step is known by a flag, not by its time: a walk that starts at 0 ms ramps
    // just the same.
    auto fromZero = run<Slope>(rates, {0, 5, 5, 5, 5, 5, 5}, {}, 0);
    EXPECT_EQ(storedPoints(*fromZero, 0), cases[0].expected);
}

TEST_F(SlopeAccumulateEstimateTest, AccumulateAddsEachNewValueOnce)
{
    struct Case {
        const char* name;
        Values input, reset;
        Points expected;
        double summary;
    };
    const Case cases[] = {
        {"runs of values", {1, 1, 2, 2, 1}, {}, {{0, 1}, {200, 3}, {400, 4}}, 4},
        // After a reset the value that holds is added again at the next step.
        {"reset", {5, 5, 5, 5}, {0, 1, 0, 0}, {{0, 5}, {100, 0}, {200, 5}}, 5},
        {"negative values", {-1, 2, 2, -1}, {}, {{0, -1}, {100, 1}, {300, 0}}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto s = run<Accumulate>("", c.input, c.reset);
        EXPECT_EQ(storedPoints(*s), c.expected);
        double summary = -1;
        EXPECT_TRUE(s->summary(&summary));
        EXPECT_EQ(summary, c.summary);
    }
    double summary = 0;
    run<Accumulate>("fact=2\noffs=1\n", {1, 1, 2, 2, 1})->summary(&summary);
    EXPECT_EQ(summary, 9);
    // No step is told apart by its time: a walk from 0 ms sums the same.
    EXPECT_EQ(storedPoints(*run<Accumulate>("", cases[0].input, {}, 0), 0), cases[0].expected);
}

TEST_F(SlopeAccumulateEstimateTest, EstimateShowsTheMeanOfEachHighStretch)
{
    struct Case {
        const char* name;
        const char* lines;
        Values input;
        Points expected;
    };
    const Case cases[] = {
        // The mean takes 30, 40 and 2 (the rising value is not in it, the falling one is),
        // shown from the rise up to the step before the fall; the low level follows.
        {"one stretch", "highLimit=10\nlowLimit=5\noffValue=0\n", {0, 20, 30, 40, 2, 0}, {{0, 0}, {100, 24}, {500, 0}}},
        {"between the limits the stretch goes on", "highLimit=10\nlowLimit=5\n", {0, 20, 6, 10, 2, 0},
         {{0, 0}, {100, 6}, {500, 0}}},
        // An open stretch shows nothing yet.
        {"open at the end", "highLimit=10\nlowLimit=5\n", {0, 20, 30}, {{0, 0}}},
        // The low level comes out as given after the scaling; the means are scaled.
        {"scaled", "highLimit=10\nlowLimit=5\noffValue=3\nfact=2\noffs=1\n", {0, 0, 20, 6, 4, 0},
         {{0, 3}, {200, 11}, {500, 3}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto s = run<Estimate>(c.lines, c.input);
        EXPECT_EQ(storedPoints(*s), c.expected);
    }
    // A stretch that rises at 0 ms is filled in from 0 ms like any other.
    auto fromZero = run<Estimate>("highLimit=10\nlowLimit=5\n", {20, 30, 40, 2, 0}, {}, 0);
    EXPECT_EQ(storedPoints(*fromZero, 0), (Points{{0, 24}, {400, 0}}));
}

TEST_F(SlopeAccumulateEstimateTest, Definitions)
{
    host.input("X");
    const std::string base = "step=100\nsignal=CAN0.In.X\n";
    EXPECT_THROW(created<Slope>(msg, base + "posSlopeIncr=1\nposSlopeDecr=1\nnegSlopeIncr=1\n"), Glib::KeyFileError);
    EXPECT_THROW(created<Estimate>(msg, base + "highLimit=1\n"), Glib::KeyFileError);
    EXPECT_THROW(created<Estimate>(msg, base + "highLimit=1\nlowLimit=0\noffValue=low\n"), Glib::KeyFileError);
    EXPECT_EQ(test::refusal<Accumulate>(msg, "step=100\n"), "Missing signal_01");
    EXPECT_EQ(test::refusal<Slope>(msg, "step=-1\nsignal=CAN0.In.X\n"), "Expected 'step' to be 1 or more but got -1");
}

} // namespace
} // namespace vistra
