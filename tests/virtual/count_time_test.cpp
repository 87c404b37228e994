#include "virtual/count.h"
#include "virtual/timekeeping.h"

#include "stored_input.h"
#include "test_host.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vistra {
namespace {

using test::created;
using test::perStepInput;
using test::shownPerStep;

class CountTimeTest : public testing::Test {
protected:
    // Runs T over per-step input values (and reset values, when given) with step 100;
    // returns what it shows at each step.
    template <class T>
    std::vector<double> run(const std::string& lines, const std::vector<double>& input,
                            const std::vector<double>& reset = {}, double* summary = nullptr)
    {
        perStepInput(host, "X", input, 100);
        std::string keys = "step=100\nsignal=CAN0.In.X\n";
        if (!reset.empty()) {
            perStepInput(host, "R", reset, 100);
            keys += "resetSig=CAN0.In.R\n";
        }
        auto s = created<T>(msg, keys + lines);
        s->process();
        if (summary) {
            EXPECT_TRUE(s->summary(summary));
        }
        return shownPerStep(*s, input.size(), 100);
    }

    test::TestHost host;
    std::shared_ptr<VirtualMessage> msg = host.virtualMessage();
};

using Values = std::vector<double>;

TEST_F(CountTimeTest, CountsRisesThroughTheSwitch)
{
    struct Case {
        const char* lines;
        Values input, reset, expected;
    };
    const Case cases[] = {
        {"above=10\nbelow=5\n", {0, 12, 8, 12, 4, 12}, {}, {0, 1, 1, 1, 1, 2}},
        // Equal levels: the level itself keeps the state in both directions.
        {"above=10\nbelow=10\n", {11, 10, 9, 11}, {}, {1, 1, 1, 2}},
        // A reset at the rising step leaves the switch high: the next rise counts only
        // after a fall.
        {"above=10\nbelow=5\n", {0, 12, 12, 4, 12}, {0, 1, 0, 0, 0}, {0, 0, 0, 0, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lines);
        EXPECT_EQ(run<Count>(c.lines, c.input, c.reset), c.expected);
    }
    double summary = 0;
    run<Count>("above=10\nbelow=5\nfact=2\noffs=1\n", {0, 12, 4, 12}, {}, &summary);
    EXPECT_EQ(summary, 5);
}

TEST_F(CountTimeTest, TimeCountsWholeStepsInTheCountedState)
{
    struct Case {
        const char* lines;
        Values input, reset, expected;
    };
    const Case cases[] = {
        // The steps at which the state changes add nothing to either side.
        {"above=10\nbelow=5\n", {0, 12, 12, 12, 0}, {}, {0, 0, 0.1, 0.2, 0.2}},
        {"above=10\nbelow=5\ncountAbove=true\n", {0, 12, 7, 12, 4, 4}, {}, {0, 0, 0.1, 0.2, 0.2, 0.2}},
        // The state starts low, so the first step counts already.
        {"above=10\nbelow=5\ncountAbove=false\n", {0, 0, 0, 0}, {}, {0.1, 0.2, 0.3, 0.4}},
        {"above=10\nbelow=5\ncountAbove=false\n", {0, 12, 4, 4}, {}, {0.1, 0.1, 0.1, 0.2}},
        {"above=10\nbelow=5\n", {12, 12, 12, 12, 12}, {0, 0, 1, 0, 0}, {0, 0.1, 0, 0.1, 0.2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lines);
        const Values shown = run<Timekeeping>(c.lines, c.input, c.reset);
        ASSERT_EQ(shown.size(), c.expected.size());
        for (std::size_t k = 0; k < shown.size(); ++k)
            EXPECT_NEAR(shown[k], c.expected[k], 1e-12) << k;
    }
    // The summary is the last output, scaled like it.
    double summary = 0;
    run<Timekeeping>("above=10\nbelow=5\n", {0, 12, 12, 12, 0}, {}, &summary);
    EXPECT_NEAR(summary, 0.2, 1e-12);
    run<Timekeeping>("above=10\nbelow=5\nfactor=10\noffset=1\n", {0, 12, 12, 12, 0}, {}, &summary);
    EXPECT_NEAR(summary, 3, 1e-12);
}

TEST_F(CountTimeTest, Definitions)
{
    host.input("X");
    EXPECT_THROW(created<Count>(msg, "step=100\nsignal=CAN0.In.X\nabove=10\n"), Glib::KeyFileError);
    EXPECT_THROW(created<Timekeeping>(msg, "step=100\nsignal=CAN0.In.X\nbelow=10\n"), Glib::KeyFileError);
    EXPECT_THROW(created<Timekeeping>(msg, "step=100\nsignal=CAN0.In.X\nabove=1\nbelow=0\ncountAbove=7\n"),
                 Glib::KeyFileError);
    EXPECT_EQ(test::refusal<Count>(msg, "step=100\nabove=1\nbelow=0\n"), "Missing signal_01");
    EXPECT_EQ(test::refusal<Timekeeping>(msg, "step=0\nsignal=CAN0.In.X\nabove=1\nbelow=0\n"),
              "Expected 'step' to be 1 or more but got 0");
}

} // namespace
} // namespace vistra
