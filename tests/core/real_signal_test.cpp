#include "core/real_signal.h"

#include "core/can_iface.h"
#include "core/frame_record.h"
#include "core/message.h"
#include "core/report.h"
#include "test_helpers.h"
#include "core_samples.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <initializer_list>
#include <tuple>

namespace vistra {
namespace {

using test::T;

FrameRecord frameOf(std::initializer_list<u8> bytes, u64 time = T)
{
    FrameRecord frame;
    frame.length = 8;
    std::copy_n(bytes.begin(), std::min(bytes.size(), sizeof frame.data), frame.data);
    // The fields after the data are not zero, so a read past byte 7 shows in the value.
    frame.iface = 0xFF;
    frame.absTime = time;
    return frame;
}

std::shared_ptr<Message> makeMessage()
{
    return std::make_shared<Message>(0x100, "Msg", CanIface::create("CAN0", 0));
}

struct DecodeCase {
    const char* what;
    u32 startBit;
    u32 length;
    i32 littleEndian;
    u8 valueType;
    bool isFloat;
    double factor;
    double offset;
    std::initializer_list<u8> data;
    double expected;
};

// Expected values are worked out by hand from the DBC bit numbering: bit k is bit k%8 of
// byte k/8; little-endian fields run upward from their LSB, big-endian fields run from
// their MSB down to bit 0 of a byte and on at bit 7 of the next byte. Bytes outside a
// field are set to catch reads of neighbouring bits.
const DecodeCase kCases[] = {
    {"LE 16 whole bytes", 0, 16, 1, '+', false, 0, 0, {0x34, 0x12, 0xFF}, 0x1234},
    {"BE 16 whole bytes", 7, 16, 0, '+', false, 0, 0, {0x12, 0x34, 0xFF}, 0x1234},
    {"BE 6 across bytes", 3, 6, 0, '+', false, 0, 0, {0x0F, 0xC0}, 0x3F},
    {"BE 6 across bytes, neighbours set", 3, 6, 0, '+', false, 0, 0, {0xF5, 0x3F}, 0x14},
    // bits 4..15: high nibble of byte 0 (0xA) below byte 1 (0xBC)
    {"LE 12 at bit 4", 4, 12, 1, '+', false, 0, 0, {0xAF, 0xBC, 0xFF}, 0xBCA},
    {"LE 12 at bit 4 signed", 4, 12, 1, '-', false, 0, 0, {0xAF, 0xBC, 0xFF}, 0xBCA - 4096},
    // bits 5..16: bit 5 of byte 0 is raw bit 0, bit 0 of byte 2 is raw bit 11
    {"LE 12 at odd bit 5", 5, 12, 1, '+', false, 0, 0, {0x3F, 0x00, 0xFF}, 0x801},
    {"LE 12 at odd bit 5 signed", 5, 12, 1, '-', false, 0, 0, {0x3F, 0x00, 0xFF}, -2047},
    {"LE 12 at odd bit 5 signed positive", 5, 12, 1, '-', false, 0, 0, {0x1F, 0xFF, 0xFE}, 0x7F8},
    // bits 13..8 of byte 1 are raw bits 11..6, bits 7..2 of byte 2 raw bits 5..0
    {"BE 12 at odd bit 13", 13, 12, 0, '+', false, 0, 0, {0xFF, 0xE1, 0x07}, 0x841},
    {"BE 12 at odd bit 13 signed", 13, 12, 0, '-', false, 0, 0, {0xFF, 0xE1, 0x07}, 0x841 - 4096},
    {"LE 1 bit set", 13, 1, 1, '+', false, 0, 0, {0x00, 0x20}, 1},
    {"LE 1 bit clear", 13, 1, 1, '+', false, 0, 0, {0xFF, 0xDF, 0xFF}, 0},
    {"BE 1 bit set", 13, 1, 0, '+', false, 0, 0, {0x00, 0x20}, 1},
    {"1 bit signed", 13, 1, 1, '-', false, 0, 0, {0x00, 0x20}, -1},
    {"signed 8 all ones", 8, 8, 1, '-', false, 0, 0, {0x00, 0xFF}, -1},
    {"signed 8 lowest", 8, 8, 1, '-', false, 0, 0, {0x00, 0x80}, -128},
    {"signed 8 highest", 8, 8, 1, '-', false, 0, 0, {0xFF, 0x7F, 0xFF}, 127},
    {"signed 32 all ones", 0, 32, 1, '-', false, 0, 0, {0xFF, 0xFF, 0xFF, 0xFF}, -1},
    {"unsigned 32 all ones", 0, 32, 1, '+', false, 0, 0, {0xFF, 0xFF, 0xFF, 0xFF}, 4294967295.0},
    {"LE 64", 0, 64, 1, '+', false, 0, 0, {1, 2, 3, 4, 5, 6, 7, 8}, double(0x0807060504030201ULL)},
    {"BE 64", 7, 64, 0, '+', false, 0, 0, {1, 2, 3, 4, 5, 6, 7, 8}, double(0x0102030405060708ULL)},
    {"unsigned 64 all ones", 0, 64, 1, '+', false, 0, 0, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
     18446744073709551615.0},
    {"signed 64 all ones", 7, 64, 0, '-', false, 0, 0, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, -1},
    {"signed 64 lowest", 7, 64, 0, '-', false, 0, 0, {0x80, 0, 0, 0, 0, 0, 0, 0}, -9223372036854775808.0},
    {"float BE", 7, 32, 0, '+', true, 0, 0, {0x3F, 0x80, 0x00, 0x00}, 1.0},
    {"float LE", 0, 32, 1, '+', true, 0, 0, {0x00, 0x00, 0x80, 0x3F}, 1.0},
    // 0xC0490FDB is -pi as a single: 1.921fb6 (hex) times 2
    {"float BE at byte 2", 23, 32, 0, '+', true, 0, 0, {0xFF, 0xFF, 0xC0, 0x49, 0x0F, 0xDB, 0xFF}, -0x1.921fb6p+1},
    {"float LE at byte 4", 32, 32, 1, '+', true, 0, 0, {0xFF, 0xFF, 0xFF, 0xFF, 0xDB, 0x0F, 0x49, 0x40},
     0x1.921fb6p+1},
    {"float scaled", 0, 32, 1, '+', true, 2, 1, {0x00, 0x00, 0x80, 0x3F}, 3.0},
    // factor first, then offset: (100 * 0.5) - 10, not (100 - 10) * 0.5
    {"factor then offset", 0, 8, 1, '+', false, 0.5, -10, {100}, 40},
    {"factor 0 leaves raw", 0, 8, 1, '+', false, 0, 5, {100}, 105},
    {"signed scaled", 8, 8, 1, '-', false, 0.25, 0, {0x00, 0xFE}, -0.5},
    // Fields that reach past byte 7 read those bits as 0.
    {"LE past the data", 60, 8, 1, '+', false, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0xF0}, 0x0F},
    {"BE past the data", 58, 8, 0, '+', false, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0x07}, 0xE0},
    {"LE whole bytes past the data", 56, 16, 1, '+', false, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0x12}, 0x12},
    {"BE whole bytes past the data", 63, 16, 0, '+', false, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0x12}, 0x1200},
    {"float past the data", 63, 32, 0, '+', true, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0x3F}, 0.5},
    {"LE entirely past the data", 64, 8, 1, '+', false, 0, 0, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 0},
    {"BE entirely past the data", 71, 8, 0, '+', false, 0, 0, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 0},
    {"BE start bit far out", 4000000007u, 8, 0, '+', false, 0, 0, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
     0},
};

TEST(RealSignalDecode, KnownAnswers)
{
    auto msg = makeMessage();
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        auto sig = RealSignal::create(msg, "S", c.startBit, c.length, c.littleEndian, c.valueType, "", c.factor,
                                      c.offset, 0, 0);
        if (c.isFloat)
            sig->setFloat();
        FrameRecord frame = frameOf(c.data);
        frame.length = 0; // the data length code is not consulted
        sig->onFrame(frame);
        ASSERT_EQ(sig->samples.size(), 1u);
        EXPECT_EQ(sig->samples[0].value, c.expected);
        EXPECT_EQ(sig->samples[0].time, T);
    }
}

TEST(RealSignalDecode, FitsPayload)
{
    struct Case {
        u32 startBit, length;
        i32 littleEndian;
        bool fits;
    } cases[] = {
        {0, 64, 1, true},   {1, 64, 1, false}, {7, 64, 0, true},  {6, 64, 0, false}, {56, 8, 1, true},
        {57, 8, 1, false},  {63, 1, 1, true},  {64, 1, 1, false}, {56, 1, 0, true},  {56, 2, 0, false},
        {3, 6, 0, true},    {58, 3, 0, true},  {58, 4, 0, false}, {0, 65, 1, false}, {7, 65, 0, false},
        {999, 0, 0, true},  {4294967295u, 1, 1, false}, {4294967295u, 1, 0, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RealSignal::fitsPayload(c.startBit, c.length, c.littleEndian), c.fits)
            << c.startBit << "/" << c.length << (c.littleEndian ? " LE" : " BE");
}

TEST(RealSignalDecode, LengthAbove64IsRefused)
{
    test::drainLog();
    EXPECT_THROW(RealSignal::create(makeMessage(), "Wide", 0, 65, 1, '+', "", 0, 0, 0, 0), PrintMsgError);
    const auto log = test::drainLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0], "Signal 'Wide' is 65 bits long, at most 64 bits fit in a frame");
}

TEST(RealSignalDecode, SetFloatNeeds32BitsOnWholeBytes)
{
    test::drainLog();
    auto msg = makeMessage();
    for (auto [start, len, le] : {std::tuple{0u, 16u, 1}, std::tuple{4u, 32u, 1}, std::tuple{0u, 32u, 0}}) {
        auto sig = RealSignal::create(msg, "F", start, len, le, '+', "", 0, 0, 0, 0);
        EXPECT_THROW(sig->setFloat(), PrintMsgError);
        EXPECT_FALSE(sig->isFloat);
        const auto log = test::drainLog();
        ASSERT_EQ(log.size(), 1u);
        EXPECT_EQ(log[0], "Only 32bit floats on 4 whole bytes are supported.");
    }
}

TEST(RealSignalDecode, Multiplexing)
{
    auto msg = makeMessage();
    auto mux = RealSignal::create(msg, "Mux", 0, 8, 1, '+', "", 0, 0, 0, 0);
    mux->muxValue = RealSignal::kMuxSwitch;
    auto one = RealSignal::create(msg, "One", 8, 8, 1, '+', "", 0, 0, 0, 0);
    one->muxValue = 1;
    auto two = RealSignal::create(msg, "Two", 8, 8, 1, '+', "", 0, 0, 0, 0);
    two->muxValue = 2;
    auto plain = RealSignal::create(msg, "Plain", 8, 8, 1, '+', "", 0, 0, 0, 0);

    auto decode = [&](const FrameRecord& frame) {
        for (auto* sig : {mux.get(), one.get(), two.get(), plain.get()})
            sig->onFrame(frame);
    };
    // No multiplexor value seen yet: only the plain signal decodes.
    EXPECT_EQ(msg->currentMux, -1);
    one->onFrame(frameOf({1, 5}, T));
    EXPECT_TRUE(one->samples.empty());

    decode(frameOf({1, 10}, T + 10));
    EXPECT_EQ(msg->currentMux, 1);
    EXPECT_TRUE(mux->samples.empty()) << "the switch stores nothing";
    decode(frameOf({2, 20}, T + 20));
    EXPECT_EQ(msg->currentMux, 2);

    ASSERT_EQ(one->samples.size(), 1u);
    EXPECT_EQ(one->samples[0].value, 10);
    EXPECT_EQ(one->lastReceived(), T + 10) << "a frame of another multiplexor value leaves it untouched";
    ASSERT_EQ(two->samples.size(), 1u);
    EXPECT_EQ(two->samples[0].value, 20);
    EXPECT_EQ(two->samples[0].time, T + 20);
    EXPECT_EQ(plain->samples.size(), 2u);
    EXPECT_TRUE(mux->samples.empty());
}

TEST(RealSignalDecode, MuxSwitchOutOfRangeSaturates)
{
    auto msg = makeMessage();
    auto mux = RealSignal::create(msg, "Mux", 0, 64, 1, '+', "", 0, 0, 0, 0);
    mux->muxValue = RealSignal::kMuxSwitch;
    mux->onFrame(frameOf({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(msg->currentMux, INT_MAX);
    mux->valueType = '-';
    mux->factor = 1e12;
    mux->scaled = true;
    mux->onFrame(frameOf({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x80}));
    EXPECT_EQ(msg->currentMux, INT_MIN);
}

TEST(RealSignalDecode, ZeroLengthTogglesEveryFrame)
{
    // The rate signals: start bit 999 makes the field look like whole bytes, and a signed
    // type must not take a sign bit from a zero-length field.
    auto sig = RealSignal::create(makeMessage(), "___rate___", 999, 0, 0, '-', "", 0, 0, 0, 0);
    for (int i = 0; i < 4; ++i)
        sig->onFrame(frameOf({0xFF}, T + 10 * u64(i)));
    ASSERT_EQ(sig->samples.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(sig->samples[i].value, i % 2 == 0 ? 1.0 : 0.0);
        EXPECT_EQ(sig->samples[i].time, T + 10 * u64(i));
    }
}

TEST(RealSignalDecode, ConstructorFields)
{
    auto msg = makeMessage();
    auto le = RealSignal::create(msg, "A", 8, 16, 1, '-', "km/h", 0.1, -40, -40, 200);
    EXPECT_TRUE(le->wholeBytes);
    EXPECT_TRUE(le->scaled);
    EXPECT_TRUE(le->shifted);
    EXPECT_EQ(le->unit, "km/h");
    EXPECT_EQ(le->fullName, "CAN0.Msg.A");
    EXPECT_TRUE(le->hasLimits);
    EXPECT_EQ(le->limitLow, -40);
    EXPECT_EQ(le->limitHigh, 200);
    EXPECT_EQ(le->muxValue, RealSignal::kNotMultiplexed);
    EXPECT_FALSE(le->dependsOn("A"));

    auto be = RealSignal::create(msg, "B", 8, 16, 0, '+', "", 0, 0, 0, 0);
    EXPECT_FALSE(be->wholeBytes) << "a big-endian field on whole bytes starts at bit 7 of a byte";
    EXPECT_FALSE(be->scaled);
    EXPECT_FALSE(be->shifted);
    EXPECT_FALSE(be->hasLimits);
    EXPECT_TRUE(RealSignal::create(msg, "C", 15, 16, 0, '+', "", 0, 0, 0, 0)->wholeBytes);
}

} // namespace
} // namespace vistra
