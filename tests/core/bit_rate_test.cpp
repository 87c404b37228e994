#include "core/bit_rate.h"
#include "core/settings.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

namespace vistra {
namespace {

FrameRecord frame(u32 idWord, u8 length, std::vector<u8> data = {})
{
    FrameRecord f;
    f.idWord = idWord;
    f.length = length;
    for (std::size_t i = 0; i < data.size() && i < 8; ++i)
        f.data[i] = data[i];
    return f;
}

// A plain bit-by-bit model of a classic CAN frame on the wire: the bit list from SOF to
// the end of the CRC, the CRC shifted in one bit at a time, stuffing counted with a run
// counter. At most 8 data bytes, DLC field = low 4 bits of the length byte.
int referenceBitLength(const FrameRecord& f)
{
    std::vector<int> bits;
    auto put = [&bits](u64 value, int width) {
        for (int i = width - 1; i >= 0; --i)
            bits.push_back(static_cast<int>((value >> i) & 1));
    };
    const int remote = (f.idWord >> 30) & 1;
    put(0, 1);
    if (f.idWord >> 31) {
        const u32 id = f.idWord & 0x1FFFFFFF;
        put(id >> 18, 11);
        put(1, 1);
        put(1, 1);
        put(id & 0x3FFFF, 18);
        put(remote, 1);
        put(0, 2);
    } else {
        put(f.idWord & 0x7FF, 11);
        put(remote, 1);
        put(0, 2);
    }
    put(f.length & 0xF, 4);
    for (int i = 0; i < std::min<int>(f.length, 8); ++i)
        put(f.data[i], 8);
    unsigned crc = 0;
    for (int bit : bits) {
        const int next = bit ^ ((crc >> 14) & 1);
        crc = (crc << 1) & 0x7FFF;
        if (next)
            crc ^= 0x4599;
    }
    put(crc, 15);
    int stuff = 0;
    int run = 0;
    int last = -1;
    for (int bit : bits) {
        if (bit == last) {
            ++run;
        } else {
            last = bit;
            run = 1;
        }
        if (run == 5) {
            ++stuff;
            last = !last; // the stuff bit opens the next run
            run = 1;
        }
    }
    return static_cast<int>(bits.size()) + stuff + 13;
}

unsigned referenceCrc(const u8* buf, int fromBit, int toBit)
{
    unsigned crc = 0;
    for (int i = fromBit; i < toBit; ++i) {
        const int bit = (buf[i / 8] >> (7 - i % 8)) & 1;
        const int next = bit ^ ((crc >> 14) & 1);
        crc = (crc << 1) & 0x7FFF;
        if (next)
            crc ^= 0x4599;
    }
    return crc;
}

TEST(BitRateFrameLength, KnownFrames)
{
    const u32 ext = kExtendedFlag;
    const u32 rtr = kRemoteFlag;
    struct Case {
        const char* what;
        FrameRecord frame;
        int bits; // 0: only compared with the model
    };
    const Case cases[] = {
        {"std 0x000, no data", frame(0x000, 0), 53},
        {"std 0x123, 11..88", frame(0x123, 8, {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}), 112},
        {"std 0x7FF, 8 x FF", frame(0x7FF, 8, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), 126},
        {"ext 0, no data", frame(ext, 0), 74},
        {"ext max id, 8 x 00", frame(ext | 0x1FFFFFFF, 8, {0, 0, 0, 0, 0, 0, 0, 0}), 0},
        {"std remote keeps its data field", frame(rtr | 0x555, 2, {0xAA, 0x0F}), 0},
        {"ext remote", frame(ext | rtr | 0x18FEF100, 0), 0},
        // A length byte beyond 8 from a damaged file: the DLC field keeps its low bits,
        // the data field never grows past the 8 data bytes.
        {"length 15", frame(0x123, 15, {1, 2, 3, 4, 5, 6, 7, 8}), 0},
        {"length 255, ext", frame(ext | 0x1234567, 255, {0xFF, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0}), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.bits) {
            EXPECT_EQ(referenceBitLength(c.frame), c.bits); // the model itself agrees
        }
        EXPECT_EQ(BitRate::frameBitLength(c.frame), referenceBitLength(c.frame));
    }
}

TEST(BitRateFrameLength, RandomFramesMatchModel)
{
    std::mt19937 random(12345);
    for (int n = 0; n < 20000; ++n) {
        FrameRecord f;
        f.idWord = static_cast<u32>(random()) & ~kErrorFrameFlag;
        f.length = static_cast<u8>(random() % 12); // a few beyond 8
        // Sparse bit patterns give long runs, so stuffing chains are exercised.
        const u32 density = random() % 4;
        for (u8& b : f.data)
            b = density == 0 ? 0 : density == 1 ? 0xFF : static_cast<u8>(random());
        if (density < 2)
            f.idWord &= random() % 2 ? 0xFFFFFFFF : 0x80000000;
        ASSERT_EQ(BitRate::frameBitLength(f), referenceBitLength(f)) << "idWord " << std::hex << f.idWord;
    }
}

TEST(BitRateCrc, RangesWithPartialBytesMatchBitwiseCrc)
{
    std::mt19937 random(7);
    u8 buf[20];
    for (u8& b : buf)
        b = static_cast<u8>(random());
    for (int from = 0; from < 24; ++from)
        for (int to = from; to <= 160; ++to)
            ASSERT_EQ(BitRate::crc15Range(buf, from, to), referenceCrc(buf, from, to)) << from << ".." << to;
    // The whole-byte and partial-byte helpers continue one another.
    const unsigned head = BitRate::crc15Bits(0, buf[0], 3);
    EXPECT_EQ(BitRate::crc15Bytes(BitRate::crc15Bits(head, static_cast<u8>(buf[0] << 3), 5), buf + 1, 4),
              referenceCrc(buf, 0, 40));
}

class BitRateWindow : public testing::Test {
protected:
    std::shared_ptr<BitRate> signal = BitRate::create(nullptr);
    void TearDown() override { signal->releaseSelf(); }
};

TEST_F(BitRateWindow, StoresOneRatePerWindowAtItsMiddle)
{
    signal->windowLength = 100;
    const FrameRecord a = frame(0x000, 0);                       // 53 bits
    const FrameRecord b = frame(0x123, 8, {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}); // 112
    const FrameRecord c = frame(kExtendedFlag, 0);               // 74
    signal->addFrame(1000, a);
    signal->addFrame(1050, b);
    EXPECT_TRUE(signal->samples.empty());
    signal->addFrame(1100, c); // closes the window and belongs to it
    ASSERT_EQ(signal->samples.size(), 1u);
    EXPECT_EQ(signal->samples[0].time, 1050u);
    EXPECT_EQ(signal->samples[0].value, (53 + 112 + 74) * 1000.0 / 100);
    EXPECT_EQ(signal->windowStart, 1100u);
    EXPECT_EQ(signal->bitSum, 0u);
    // The next window opens empty at 1100; its first counted frame is the one at 1130.
    signal->addFrame(1130, b);
    signal->addFrame(1250, a); // elapsed 150 ms: (112 + 53) bits, truncated
    ASSERT_EQ(signal->samples.size(), 2u);
    EXPECT_EQ(signal->samples[1].time, 1175u);
    EXPECT_EQ(signal->samples[1].value, double((112 + 53) * 1000 / 150));
}

TEST_F(BitRateWindow, BusyBusOverLongWindowGivesTrueRate)
{
    // About 1 Mbit/s for 10 s: bits x 1000 is far beyond 32 bits.
    signal->windowLength = 10000;
    const FrameRecord f = frame(0x7FF, 8, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}); // 126 bits
    const u64 start = 1'700'000'000'000;
    for (u64 ms = 0; ms < 10000; ++ms)
        for (int i = 0; i < 8; ++i)
            signal->addFrame(start + ms, f);
    EXPECT_TRUE(signal->samples.empty());
    signal->addFrame(start + 10000, f);
    ASSERT_EQ(signal->samples.size(), 1u);
    EXPECT_EQ(signal->samples[0].time, start + 5000);
    EXPECT_EQ(signal->samples[0].value, double(u64{10000 * 8 + 1} * 126 * 1000 / 10000));

    // Over a window of hours the sum itself passes 2^32 bits.
    signal->windowStart = start;
    signal->windowLength = 7'200'000;
    signal->bitSum = 7'200'000'000 - 126;
    signal->addFrame(start + 7'200'000, f);
    EXPECT_EQ(signal->samples.back().value, 1'000'000.0);
}

TEST_F(BitRateWindow, FrameBeforeOpenWindowIsCountedWithoutClosingIt)
{
    signal->windowLength = 100;
    signal->addFrame(2000, frame(0x000, 0));
    signal->addFrame(1500, frame(0x000, 0));
    EXPECT_TRUE(signal->samples.empty());
    EXPECT_EQ(signal->windowStart, 2000u);
    EXPECT_EQ(signal->bitSum, 2u * 53);
    signal->addFrame(2100, frame(0x000, 0));
    ASSERT_EQ(signal->samples.size(), 1u);
    EXPECT_EQ(signal->samples[0].time, 2050u);
    EXPECT_EQ(signal->samples[0].value, 3 * 53 * 1000.0 / 100);
}

TEST(BitRate, IdentityResetAndSelfReference)
{
    Settings& settings = *Settings::instance();
    std::weak_ptr<BitRate> weak;
    {
        auto signal = BitRate::create(nullptr);
        weak = signal;
        EXPECT_EQ(signal->name, "Bitrate");
        EXPECT_EQ(signal->unit, "bits/s");
        EXPECT_FALSE(signal->dependsOn("anything"));
        EXPECT_EQ(signal->windowLength, settings.getBitrateInterval());

        settings.setBitrateInterval(250);
        signal->addFrame(5000, frame(0x000, 0));
        signal->reset();
        EXPECT_EQ(signal->windowStart, 0u);
        EXPECT_EQ(signal->bitSum, 0u);
        EXPECT_EQ(signal->windowLength, 250);
        settings.setBitrateInterval(0);
        signal->reset();
        EXPECT_EQ(signal->windowLength, 100);
    }
    // The self reference keeps the signal alive until it is released.
    auto held = weak.lock();
    ASSERT_TRUE(held);
    held->releaseSelf();
    held.reset();
    EXPECT_TRUE(weak.expired());
}

} // namespace
} // namespace vistra
