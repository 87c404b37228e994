#include "virtual/int_der.h"

#include "stored_input.h"
#include "test_host.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace vistra {
namespace {

using test::Definition;
using test::storedInput;
using test::storedPoints;
using Points = std::vector<std::pair<u64, double>>;

class IntDerTest : public testing::Test {
protected:
    std::shared_ptr<IntDer> integrate(const std::string& lines)
    {
        Definition d("method=integrate\nsignal=CAN0.In.X\n" + lines);
        return std::static_pointer_cast<IntDer>(IntDer::create(msg, d.group, d.file));
    }

    test::TestHost host;
    std::shared_ptr<VirtualMessage> msg = host.virtualMessage();
};

TEST_F(IntDerTest, SumsTheHeldValueOverEachInterval)
{
    struct Case {
        const char* name;
        Points input;
        const char* lines;
        Points expected;
        double summary;
    };
    const Case cases[] = {
        {"left rectangles in seconds", {{0, 2}, {1000, 4}, {3000, 1}}, "", {{1000, 2}, {3000, 10}}, 10},
        {"summary scaled like the output", {{0, 2}, {1000, 4}, {3000, 1}}, "fact=2\noffs=1\n", {{1000, 5}, {3000, 21}},
         21},
        {"one sample gives nothing", {{0, 2}}, "", {}, 0},
        // A gap pair closes the run before a silence; the silence adds nothing and
        // integration resumes from the sample after it.
        {"silence of more than 10 s", {{0, 1}, {12000, 2}, {13000, 3}}, "", {{13000, 2}}, 2},
        {"the first of two samples at one time holds", {{0, 1}, {1000, 2}, {1000, 5}, {2000, 0}}, "",
         {{1000, 1}, {2000, 3}}, 3},
        {"onlyPos: a negative interval adds 0 but stores a point", {{0, -1}, {1000, 2}, {2000, 0}}, "onlyPos=true\n",
         {{1000, 0}, {2000, 2}}, 2},
        {"onlyNeg", {{0, -1}, {1000, 2}, {2000, 0}}, "onlyNeg=true\n", {{1000, -1}}, -1},
        {"with both only onlyPos acts", {{0, -1}, {1000, 2}, {2000, 0}}, "onlyPos=true\nonlyNeg=true\n",
         {{1000, 0}, {2000, 2}}, 2},
        {"absInput", {{0, -2}, {1000, -4}, {3000, -1}}, "absInput=true\n", {{1000, 2}, {3000, 10}}, 10},
        // The limited sum itself is kept: a falling input lowers it from the limit at once.
        {"maxSum", {{0, 4}, {1000, 3}, {2000, -2}, {3000, 0}}, "maxSum=5\n", {{1000, 4}, {2000, 5}, {3000, 3}}, 3},
        {"minSum", {{0, -4}, {1000, -3}, {2000, 2}, {3000, 0}}, "minSum=-5\n",
         {{1000, -4}, {2000, -5}, {3000, -3}}, -3},
        {"absOutput after the offset too", {{0, -3}, {1000, 0}}, "absOutput=true\noffset=10\n", {{1000, 13}}, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        storedInput(host, "X", c.input);
        auto s = integrate(c.lines);
        s->process();
        EXPECT_EQ(storedPoints(*s), c.expected);
        double summary = 0;
        EXPECT_TRUE(s->summary(&summary));
        EXPECT_DOUBLE_EQ(summary, c.summary);
    }
}

TEST_F(IntDerTest, ResetSignal)
{
    // The input alternates 2 and 1 every second up to 10 s, so every sample is stored.
    Points input;
    for (u64 k = 0; k <= 10; ++k)
        input.emplace_back(k * 1000, k % 2 ? 1.0 : 2.0);
    struct Case {
        const char* name;
        Points reset;
        Points expected; // the sum at 1 s .. 10 s
    };
    const Case cases[] = {
        // Held at 0 while the reset's latest value before the input sample is above 0,
        // zeroed once more at the first input sample after it fell.
        {"high from 5 s to 6 s",
         {{0, 0}, {5000, 1}, {6000, 0}, {10000, 0}},
         {{1000, 2}, {2000, 3}, {3000, 5}, {4000, 6}, {5000, 8}, {6000, 0}, {8000, 1}, {9000, 3}, {10000, 4}}},
        // A reset that is high at its first sample holds the sum at 0 from the start.
        {"high from the start",
         {{0, 1}, {5000, 0}, {10000, 0}},
         {{1000, 0}, {7000, 2}, {8000, 3}, {9000, 5}, {10000, 6}}},
        // A pulse between two input samples zeroes the sum though it is over by the second.
        {"a short pulse", {{0, 0}, {2400, 1}, {2600, 0}, {10000, 0}},
         {{1000, 2}, {2000, 3}, {3000, 0}, {4000, 1}, {5000, 3}, {6000, 4}, {7000, 6}, {8000, 7}, {9000, 9},
          {10000, 10}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        storedInput(host, "X", input);
        storedInput(host, "R", c.reset);
        auto s = integrate("resetSig=CAN0.In.R\n");
        s->process();
        EXPECT_EQ(storedPoints(*s), c.expected);
    }

    // Input samples after the reset signal's last one wait until it catches up.
    auto x = storedInput(host, "X", input);
    auto r = storedInput(host, "R", {{0, 0}, {4000, 0}});
    auto s = integrate("resetSig=CAN0.In.R\n");
    s->process();
    EXPECT_EQ(storedPoints(*s), (Points{{1000, 2}, {2000, 3}, {3000, 5}, {4000, 6}}));
    r->samples.push_back({test::T0 + 10000, 0});
    s->process();
    EXPECT_EQ(s->samples.back(), (Sample{test::T0 + 10000, 15}));
    EXPECT_TRUE(s->dependsOn("CAN0.In.R"));
    EXPECT_TRUE(s->dependsOn("CAN0.In.X"));
    EXPECT_FALSE(s->dependsOn("CAN0.In.Y"));
}

TEST_F(IntDerTest, LiveDataExtendTheIntegral)
{
    auto x = host.input("X", {{test::T0, 2}, {test::T0 + 1000, 4}});
    auto s = integrate("");
    s->process();
    x->samples.push_back({test::T0 + 3000, 1});
    s->process();
    s->process();
    EXPECT_EQ(storedPoints(*s), (Points{{1000, 2}, {3000, 10}}));
}

TEST_F(IntDerTest, Definitions)
{
    host.input("X");
    host.input("R");
    integrate("onlyPos=true\nresetSig=CAN0.In.R\nmaxSum=1\n"); // no "step" needed
    EXPECT_THROW(integrate("maxSum=x\n"), Glib::KeyFileError);
    EXPECT_THROW(integrate("resetSig=CAN0.In.Nothing\n"), SignalNotFoundException);
    Definition none("method=integrate\n");
    try {
        IntDer::create(msg, none.group, none.file);
        ADD_FAILURE();
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "Missing signal_01");
    }
    // Uses pass to the input and the reset signal with the first user and leave with the last.
    auto r = host.signals["CAN0.In.R"];
    auto s = integrate("resetSig=CAN0.In.R\n");
    s->addUser(nullptr);
    s->addUser(nullptr);
    EXPECT_EQ(r->useCount, 1u);
    s->removeUser(nullptr);
    EXPECT_EQ(r->useCount, 1u);
    s->removeUser(nullptr);
    EXPECT_EQ(r->useCount, 0u);
}

} // namespace
} // namespace vistra
