#include "core/frame_record.h"
#include "core/msg_rate.h"
#include "core/real_signal.h"
#include "core_samples.h"

#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

namespace vistra {
namespace {

using test::T;

// A message's "___rate___" signal: a zero-length toggle with one stored sample per frame.
std::shared_ptr<RealSignal> rateToggle()
{
    return RealSignal::create(nullptr, "___rate___", 999, 0, 0, '+', "", 1.0, 0.0, 0.0, 0.0);
}

void receive(RealSignal& toggle, const std::vector<u64>& times)
{
    for (u64 t : times) {
        FrameRecord frame;
        frame.absTime = t;
        toggle.onFrame(frame);
    }
}

// The rate's stored series without the repeated points that the storing rules add on
// their own across long gaps.
std::vector<std::pair<u64, double>> distinctSamples(const Signal& s)
{
    std::vector<std::pair<u64, double>> out;
    for (const Sample& sample : s.samples)
        if (out.empty() || out.back() != std::pair(sample.time, sample.value))
            out.emplace_back(sample.time, sample.value);
    return out;
}

TEST(MsgRate, RatesFromFrameTimes)
{
    struct Case {
        const char* what;
        std::vector<u64> frames;
        std::vector<std::pair<u64, double>> expected;
    };
    const Case cases[] = {
        {"one frame gives no value", {T}, {}},
        {"every 100 ms: one run of 10/s", {T, T + 100, T + 200, T + 300}, {{T, 10.0}}},
        {"three frames in one ms", {T, T, T, T + 10}, {{T, 300.0}}},
        {"two frames at the first time", {T, T, T + 20, T + 40}, {{T, 100.0}, {T + 20, 50.0}}},
        {"a rate change", {T, T + 100, T + 150}, {{T, 10.0}, {T + 100, 20.0}}},
        // Across gaps of 10 s and more the watched signal stores the last frame's point
        // again; that repeat is no frame, so the rate before the gap is not doubled.
        {"a 12 s gap", {T, T + 100, T + 12100, T + 12200}, {{T, 10.0}, {T + 100, 1.0 / 12}, {T + 12100, 10.0}}},
        {"a gap of exactly 10 s", {T, T + 10000, T + 10100}, {{T, 0.1}, {T + 10000, 10.0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto toggle = rateToggle();
        auto rate = MsgRate::create(nullptr, "ST_Can.MsgRate.MsgA", toggle);
        receive(*toggle, c.frames);
        rate->process();
        EXPECT_EQ(distinctSamples(*rate), c.expected);
    }
}

TEST(MsgRate, NameUnitAndUsers)
{
    auto toggle = rateToggle();
    auto rate = MsgRate::create(nullptr, "ST_Can.MsgRate.MsgA", toggle);
    EXPECT_EQ(rate->name, "MsgA");
    EXPECT_EQ(rate->unit, "msg/s");
    EXPECT_EQ(MsgRate::create(nullptr, "Plain", toggle)->name, "Plain");

    // Only the first user registers with the watched signal, only the last one leaves it.
    rate->addUser(nullptr);
    rate->addUser(nullptr);
    EXPECT_EQ(toggle->useCount, 1u);
    ASSERT_EQ(toggle->dependants.size(), 1u);
    EXPECT_EQ(toggle->dependants.front(), rate);
    rate->removeUser(nullptr);
    EXPECT_EQ(toggle->useCount, 1u);
    rate->removeUser(nullptr);
    EXPECT_EQ(toggle->useCount, 0u);
    EXPECT_TRUE(toggle->dependants.empty());
}

TEST(MsgRate, ProcessContinuesAndFinishFreesTheFrames)
{
    auto toggle = rateToggle();
    auto rate = MsgRate::create(nullptr, "MsgA", toggle);
    rate->process(); // no frames yet: not started
    EXPECT_FALSE(rate->started);

    receive(*toggle, {T, T + 100});
    rate->process();
    receive(*toggle, {T + 150, T + 200});
    rate->process();
    EXPECT_EQ(distinctSamples(*rate), (std::vector<std::pair<u64, double>>{{T, 10.0}, {T + 100, 20.0}}));
    EXPECT_EQ(rate->index, 4u);

    rate->finish();
    rate->finish(); // a second end of load finds nothing left
    EXPECT_TRUE(toggle->samples.empty());
    EXPECT_EQ(toggle->samples.capacity(), 0u);
    EXPECT_EQ(rate->samples.size(), 2u); // nothing closes the rate's own series
}

} // namespace
} // namespace vistra
