#include "core/report.h"
#include "core/virtual_signal.h"
#include "core_samples.h"

#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

namespace vistra {
namespace {

using test::stored;
using test::T;

// Emits a fixed list of outputs when processed, like a computing subclass would.
class Replay : public VirtualSignal {
public:
    Replay() : VirtualSignal(nullptr, "Replay") {}
    void process() override
    {
        for (const auto& [t, v] : outputs)
            addValue(t, v);
    }
    bool summary(double* out) override
    {
        *out = double(outputs.size());
        return true;
    }
    std::vector<std::pair<u64, double>> outputs;
};

TEST(VirtualSignal, PauseIfZeroDropsZeroNegativeZeroAndNaN)
{
    auto sig = std::make_shared<Replay>();
    sig->pauseIfZero = true;
    sig->outputs = {{T, 1}, {T + 100, 0.0}, {T + 200, -0.0}, {T + 300, NAN}, {T + 400, 2}};
    sig->process();
    EXPECT_EQ(stored(*sig), (std::vector<std::pair<u64, double>>{{T, 1}, {T + 400, 2}}));

    // A paused output leaves the time of the last output alone.
    sig->outputs = {{T + 500, 0.0}};
    sig->process();
    EXPECT_EQ(sig->lastOutTime, T + 400);
}

TEST(VirtualSignal, FactorOffsetAndAbsoluteOutput)
{
    struct Case {
        double factor, offset;
        bool absOutput;
        double input, expected;
    };
    const Case cases[] = {
        {2, 1, true, -3, 5},  // scaling comes before the absolute value
        {2, 1, false, -3, -5},
        {0.5, -1, false, 4, 1},
        {1, 0, true, -0.25, 0.25},
    };
    for (const Case& c : cases) {
        auto sig = std::make_shared<Replay>();
        sig->factor = c.factor;
        sig->offset = c.offset;
        sig->absOutput = c.absOutput;
        sig->outputs = {{T, c.input}};
        sig->process();
        ASSERT_EQ(sig->samples.size(), 1u);
        EXPECT_EQ(sig->samples[0].value, c.expected) << c.input;
        EXPECT_EQ(sig->lastOutValue, c.expected) << c.input;
    }
}

TEST(VirtualSignal, GapFilling)
{
    using Points = std::vector<std::pair<u64, double>>;
    struct Case {
        const char* name;
        double factor;
        bool absOutput;
        bool valGiven;
        double valWhenEmpty;
        Points outputs;
        Points expected; // after the storing rules of the signal base
    };
    const Case cases[] = {
        {"fills carry the last output", 1, false, false, 0, {{T, 7}, {T + 30000, 9}},
         {{T, 7}, {T + 5000, 7}, {T + 10000, 7}, {T + 15000, 7}, {T + 20000, 7}, {T + 30000, 9}}},
        {"valWhenEmpty is stored unscaled", 2, false, true, 0, {{T, 7}, {T + 30000, 9}},
         {{T, 14}, {T + 5000, 0}, {T + 10000, 0}, {T + 15000, 0}, {T + 20000, 0}, {T + 30000, 18}}},
        {"fills carry the absolute output", 1, true, false, 0, {{T, -7}, {T + 20000, -9}},
         {{T, 7}, {T + 5000, 7}, {T + 10000, 7}, {T + 20000, 9}}},
        // No fill point: the signal base closes the first run with a keep-alive point.
        {"a gap of 10000 ms is no gap", 1, false, false, 0, {{T, 7}, {T + 10000, 9}},
         {{T, 7}, {T, 7}, {T + 10000, 9}}},
        {"the first output never fills", 1, false, false, 0, {{T, 7}}, {{T, 7}}},
        // "No output yet" is a state of its own, not the time 0.
        {"an output at time 0 counts", 1, false, false, 0, {{0, 7}, {30000, 9}},
         {{0, 7}, {5000, 7}, {10000, 7}, {15000, 7}, {20000, 7}, {30000, 9}}},
        // An earlier time fills nothing (the signal base stores it as a gap); filling
        // then goes on from the earlier time.
        {"backward time", 1, false, false, 0, {{T + 30000, 7}, {T, 9}, {T + 20000, 5}},
         {{T + 30000, 7}, {T + 30000, 7}, {T, 9}, {T + 5000, 9}, {T + 10000, 9}, {T + 20000, 5}}},
    };
    for (const Case& c : cases) {
        auto sig = std::make_shared<Replay>();
        sig->fillEmpty = true;
        sig->factor = c.factor;
        sig->absOutput = c.absOutput;
        sig->valWhenEmptyGiven = c.valGiven;
        sig->valWhenEmpty = c.valWhenEmpty;
        sig->outputs = c.outputs;
        sig->process();
        EXPECT_EQ(stored(*sig), c.expected) << c.name;
        EXPECT_EQ(sig->lastOutTime, c.outputs.back().first) << c.name;
    }
}

TEST(VirtualSignal, ValuesThatAreNotFiniteStoreNothing)
{
    auto sig = std::make_shared<Replay>();
    sig->fillEmpty = true;
    sig->factor = 10;
    sig->outputs = {{T, 1}, {T + 100, INFINITY}, {T + 200, -INFINITY}, {T + 300, NAN},
                    {T + 30000, 1e308}, // finite, but not once scaled
                    {T + 400, 2}};
    sig->process();
    EXPECT_EQ(stored(*sig), (std::vector<std::pair<u64, double>>{{T, 10}, {T + 400, 20}}));
    EXPECT_EQ(sig->overallRange().high, 20);
}

TEST(VirtualSignal, BaseOperations)
{
    auto sig = std::make_shared<VirtualSignal>(nullptr, "Base");
    EXPECT_THROW(sig->dependsOn("Virt.Virtual.Other"), PrintMsgError);
    EXPECT_FALSE(sig->inputsReady());
    double out = -1;
    PrintableSignal& printable = *sig;
    EXPECT_FALSE(printable.summary(&out));
    EXPECT_EQ(out, -1);

    // The text output reaches a subclass's summary through the printable base.
    auto replay = std::make_shared<Replay>();
    replay->outputs = {{T, 1}, {T + 1, 2}};
    PrintableSignal& printableReplay = *replay;
    ASSERT_TRUE(printableReplay.summary(&out));
    EXPECT_EQ(out, 2);
}

} // namespace
} // namespace vistra
