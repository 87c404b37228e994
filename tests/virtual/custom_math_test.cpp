#include "virtual/custom_math.h"

#include "test_helpers.h"
#include "test_host.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

namespace vistra {
namespace {

using test::Definition;
using test::T0;

class CustomMathTest : public testing::Test {
protected:
    void SetUp() override
    {
        // One value every 100 ms: the steps of 100 ms at +0, +100 and +200 are computed.
        host.loadedInput("A", {1, 2, 3, 4}, 100);
        host.loadedInput("B", {10, 10, 10, 10}, 100);
        host.loadedInput("Zero", {0, 0, 0, 0}, 100);
        host.loadedInput("Angle", {90, 30, 30, 30}, 100);
    }

    std::shared_ptr<Signal> create(const std::string& lines)
    {
        Definition d("method=expression\nstep=100\n" + lines);
        return CustomMath::create(msg, d.group, d.file);
    }
    // What creating `lines` throws: its text, "PrintMsgError", or "(created)".
    std::string refusal(const std::string& lines)
    {
        try {
            create(lines);
        } catch (const PrintMsgError&) {
            return "PrintMsgError";
        } catch (const std::exception& e) {
            return e.what();
        } catch (const Glib::KeyFileError& e) {
            return "KeyFileError: " + e.what().raw();
        }
        return "(created)";
    }

    test::TestHost host;
    std::shared_ptr<VirtualMessage> msg = host.virtualMessage();
};

TEST_F(CustomMathTest, EvaluatesTheExpressionAtEveryStep)
{
    struct Case {
        const char* lines;
        std::vector<std::pair<u64, double>> outputs; // time after T0, value
    };
    const Case cases[] = {
        {"signal_01=CAN0.In.A\nsignal_02=CAN0.In.B\nexpr=$01 * 2 + $02", {{0, 12}, {100, 14}, {200, 16}}},
        {"signal_01=CAN0.In.A\nexpr=$01()", {{0, 1}, {100, 2}, {200, 3}}},
        // No input in the expression: the steps still follow the input.
        {"signal_01=CAN0.In.A\nexpr=2*pi", {{0, 6.283186}}},
        // Degrees unless radians is set.
        {"signal_01=CAN0.In.Angle\nexpr=sin($01)", {{0, 1}, {100, 0.5}}},
        {"signal_01=CAN0.In.Angle\nexpr=sin($01)\nradians=true", {{0, std::sin(90.0)}, {100, std::sin(30.0)}}},
        // A step whose value is not finite stores nothing.
        {"signal_01=CAN0.In.A\nexpr=1/($01-2)", {{0, -1}, {200, 1}}},
        {"signal_01=CAN0.In.A\nsignal_02=CAN0.In.Zero\nexpr=$01/$02", {}},
        // expr is taken before expression.
        {"signal_01=CAN0.In.A\nexpr=$01\nexpression=0", {{0, 1}, {100, 2}, {200, 3}}},
        {"signal_01=CAN0.In.A\nexpression=$01+1", {{0, 2}, {100, 3}, {200, 4}}},
        {"signal_01=CAN0.In.A\nexpr=$01 * 2\nfact=10\noffs=1", {{0, 21}, {100, 41}, {200, 61}}},
    };
    for (const Case& c : cases) {
        auto s = create(c.lines);
        s->process();
        ASSERT_EQ(s->samples.size(), c.outputs.size()) << c.lines;
        for (std::size_t k = 0; k < c.outputs.size(); ++k) {
            EXPECT_EQ(s->samples[k].time, T0 + c.outputs[k].first) << c.lines;
            EXPECT_NEAR(s->samples[k].value, c.outputs[k].second, 1e-12) << c.lines;
        }
    }
}

TEST_F(CustomMathTest, InputReferences)
{
    std::string ten;
    for (int k = 1; k <= 10; ++k)
        ten += CustomSignal::numberedKey("signal", k).raw() + "=CAN0.In.A\n";
    const std::pair<std::string, std::string> cases[] = {
        {"signal_01=CAN0.In.A\nexpr=$01", "(created)"},
        {"signal_01=CAN0.In.A\nexpr=$1", "Failed to parse expression, check for errors around character 0 ($)"},
        // signal_03 without signal_02 is not read: there is one input.
        {"signal_01=CAN0.In.A\nsignal_03=CAN0.In.B\nexpr=$01 + $03",
         "Failed to parse expression, check for errors around character 6 ($)"},
        {ten + "expr=$10 + $01", "(created)"},
        {ten + "expr=$10 + $1", "Failed to parse expression, check for errors around character 6 ($)"},
        {"signal_01=CAN0.In.A\nexpr=$02", "Failed to parse expression, check for errors around character 0 ($)"},
    };
    for (const auto& [lines, text] : cases)
        EXPECT_EQ(refusal(lines), text) << lines;
}

TEST_F(CustomMathTest, RefusedDefinitions)
{
    const std::pair<const char*, const char*> cases[] = {
        {"expr=1", "At least one signal_XX= must be defined\n\tYou don't have to use the signal in the expression, "
                   "but Tarnwick\n\tneeds it to know when to plot the expression."},
        {"signal_01=CAN0.In.Nothing\nexpr=1", "Can't find signal CAN0.In.Nothing"},
        {"signal_01=CAN0.In.A\nexpr=$01 +", "Invalid expression: not enough operands for operator: +"},
        {"signal_01=CAN0.In.A\nexpr=max($01)", "Invalid expression, too few arguments to max"},
        {"signal_01=CAN0.In.A\nexpr=($01", "Expression has mismatched parentheses"},
        {"signal_01=CAN0.In.A\nexpr=-($01)", "PrintMsgError"},
        // A division by an input is no error at load, where every input reads 0.
        {"signal_01=CAN0.In.A\nexpr=1/$01", "(created)"},
    };
    for (const auto& [lines, text] : cases)
        EXPECT_EQ(refusal(lines), text) << lines;
    EXPECT_EQ(refusal("signal_01=CAN0.In.A\n").rfind("KeyFileError: ", 0), 0u);
    test::drainLog();
}

} // namespace
} // namespace vistra
