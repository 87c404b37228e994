#include "virtual/multi_math.h"

#include "test_host.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

namespace vistra {
namespace {

using test::Definition;
using test::T0;

class MultiMathTest : public testing::Test {
protected:
    // A MultiMath over constant inputs, one per value: each holds its value at T0 and
    // again at T0 + 1000, so that a step of 1000 computes exactly one step, at T0.
    std::shared_ptr<Signal> over(const std::vector<double>& values, const std::string& lines)
    {
        std::string keys;
        for (std::size_t i = 0; i < values.size(); ++i) {
            std::string name = "X";
            name += std::to_string(i + 1);
            host.input(name, {{T0, values[i]}, {T0 + 1000, values[i]}});
            keys += CustomSignal::numberedKey("signal", int(i + 1)).raw() + "=CAN0.In." + name + "\n";
        }
        Definition d("step=1000\n" + keys + lines);
        return MultiMath::create(msg, d.group, d.file);
    }

    test::TestHost host;
    std::shared_ptr<VirtualMessage> msg = host.virtualMessage();
};

TEST_F(MultiMathTest, Operations)
{
    struct Case {
        const char* lines;
        std::vector<double> inputs;
        double expected;
        double tolerance; // single precision where the operation works in it
    };
    const Case cases[] = {
        {"method=sum", {1, 2, 3.5}, 6.5, 0},
        {"method=sub", {10, 3, 2}, 5, 0},
        {"method=sub", {10}, 10, 0},
        {"method=mult", {2, 3, -4}, -24, 0},
        {"method=div", {12, 3, 2}, 2, 0},
        {"method=avg", {1, 2, 6}, 3, 0},
        {"method=max", {-1, -5, -3}, -1, 0},
        {"method=min", {-1, -5, -3}, -5, 0},
        {"method=sin", {30}, 0.5, 1e-7},
        {"method=sin\nradians=true", {30}, std::sin(30.0), 1e-7},
        {"method=cos", {60}, 0.5, 1e-7},
        {"method=tan", {45}, 1.0, 1e-7},
        {"method=asin", {1}, 90, 1e-5},
        {"method=acos", {0}, 90, 1e-5},
        {"method=atan", {1}, 45, 1e-5},
        {"method=asin\nradians=true", {1}, M_PI / 2, 1e-7},
        {"method=inv", {4}, 0.25, 0},
        {"method=sqrt", {2}, std::sqrt(2.0), 1e-7},
        {"method=sqr", {-3}, 9, 0},
        {"method=fmod\ndenom=3", {-7}, -1, 0},
        {"method=fmod\ndenom=2", {7.5}, 1.5, 0},
        {"method=der", {5}, 0, 0}, // the first step has no previous value
        // Operations of the first input: further inputs only take part in the stepping.
        {"method=sqr", {3, 100}, 9, 0},
    };
    for (const Case& c : cases) {
        auto s = over(c.inputs, c.lines);
        s->process();
        ASSERT_EQ(s->samples.size(), 1u) << c.lines;
        EXPECT_EQ(s->samples[0].time, T0) << c.lines;
        EXPECT_NEAR(s->samples[0].value, c.expected, c.tolerance) << c.lines;
    }
}

TEST_F(MultiMathTest, ValuesThatAreNotFiniteStoreNothing)
{
    const std::pair<const char*, std::vector<double>> cases[] = {
        {"method=div", {1, 0}}, {"method=div", {0, 0}}, {"method=inv", {0}}, {"method=fmod\ndenom=0", {5}},
        {"method=sqrt", {-1}},  {"method=asin", {2}},     {"method=mult\nfact=10", {1e308}},
    };
    for (const auto& [lines, inputs] : cases) {
        auto s = over(inputs, lines);
        s->process();
        EXPECT_TRUE(s->samples.empty()) << lines;
        EXPECT_EQ(s->overallRange().high, -DBL_MAX) << lines;
    }
}

TEST_F(MultiMathTest, DerivativeIsPerSecondOverTheTimeSinceThePreviousStep)
{
    // A ramp of 5 per second sampled every 100 ms.
    std::vector<Sample> ramp;
    for (int k = 0; k <= 10; ++k)
        ramp.push_back({T0 + 100 * u64(k), 0.5 * k});
    host.input("Ramp", ramp);
    Definition d("method=derive\nstep=100\nsignal_01=CAN0.In.Ramp\n");
    auto s = MultiMath::create(msg, d.group, d.file);
    s->process();
    EXPECT_EQ(s->samples, (std::vector<Sample>{{T0, 0}, {T0 + 100, 5}}));

    // After a silence of 30 s the walk jumps ahead: the change is spread over the time
    // that passed, not over one step.
    host.input("Jump", {{T0, 0}, {T0 + 100, 1}, {T0 + 30100, 31}, {T0 + 30200, 32}, {T0 + 30300, 33}});
    Definition j("method=der\nstep=100\nsignal_01=CAN0.In.Jump\n");
    auto jump = MultiMath::create(msg, j.group, j.file);
    jump->process();
    EXPECT_EQ(jump->valueAt(T0 + 100), 10);
    EXPECT_EQ(jump->valueAt(T0 + 30100), 1);
    EXPECT_EQ(jump->valueAt(T0 + 30200), 10);
}

TEST_F(MultiMathTest, RefusedDefinitions)
{
    host.input("A");
    const std::pair<const char*, const char*> cases[] = {
        {"method=sum\nstep=100\n", "At least one signal_XX= must be defined"},
        {"method=sum\nstep=100\nsignal_02=CAN0.In.A\n", "At least one signal_XX= must be defined"},
        {"method=fmod\nstep=100\nsignal_01=CAN0.In.A\n", "Expected 'denom'"},
        {"method=Sum\nstep=100\nsignal_01=CAN0.In.A\n", "Unknown virtual signal method: Sum"},
    };
    for (const auto& [lines, error] : cases) {
        Definition d(lines);
        try {
            MultiMath::create(msg, d.group, d.file);
            ADD_FAILURE() << lines;
        } catch (const std::invalid_argument& e) {
            EXPECT_STREQ(e.what(), error);
        }
    }
    Definition badDenom("method=fmod\nstep=100\nsignal_01=CAN0.In.A\ndenom=x\n");
    EXPECT_THROW(MultiMath::create(msg, badDenom.group, badDenom.file), Glib::KeyFileError);
}

} // namespace
} // namespace vistra
