#include "core/bit_rate.h"

#include "core/settings.h"

#include <algorithm>
#include <array>

namespace vistra {
namespace {

constexpr unsigned kCrcPolynomial = 0x4599;
constexpr unsigned kCrcMask = 0x7FFF;
// CRC delimiter, ACK slot, ACK delimiter, end of frame and intermission.
constexpr int kTrailingBits = 1 + 1 + 1 + 7 + 3;

constexpr unsigned crcBitStep(unsigned crc, unsigned bit)
{
    const unsigned feedback = bit ^ ((crc >> 14) & 1);
    crc = (crc << 1) & kCrcMask;
    return feedback ? crc ^ kCrcPolynomial : crc;
}

// Entry i: the register after shifting the byte i through a zero register.
constexpr std::array<u16, 256> kCrcTable = [] {
    std::array<u16, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned crc = 0;
        for (int bit = 7; bit >= 0; --bit)
            crc = crcBitStep(crc, (i >> bit) & 1);
        table[i] = static_cast<u16>(crc);
    }
    return table;
}();

// Entry w: how many of the five bits of w, from the most significant one, are zero
// before the first one (5 - bit length of w).
constexpr std::array<u8, 32> kLeadingZeros = [] {
    std::array<u8, 32> table{};
    for (unsigned w = 0; w < 32; ++w) {
        u8 n = 0;
        while (n < 5 && !(w & (16u >> n)))
            ++n;
        table[w] = n;
    }
    return table;
}();

// The longest classic frame, extended with 8 data bytes and the CRC, is 118 bits; the
// spare byte lets a window read two bytes at any position inside the image.
struct BitImage {
    u8 bytes[16] = {};
    int length = 0;

    // Appends the `width` low bits of value, most significant first.
    void put(u32 value, int width)
    {
        while (width > 0) {
            const int room = 8 - (length & 7);
            const int take = std::min(room, width);
            const u32 chunk = (value >> (width - take)) & ((1u << take) - 1);
            bytes[length >> 3] |= static_cast<u8>(chunk << (room - take));
            length += take;
            width -= take;
        }
    }

    // `width` (at most 9) bits from bit position pos.
    u32 at(int pos, int width) const
    {
        const u32 two = (u32{bytes[pos >> 3]} << 8) | bytes[(pos >> 3) + 1];
        return (two >> (16 - (pos & 7) - width)) & ((1u << width) - 1);
    }
};

// Stuff bits of the whole image: one after every five equal bits, the stuff bit itself
// opening the next run. Runs are found five bits at a time.
int stuffBits(const BitImage& image)
{
    int count = 0;
    int pos = 0;
    bool afterStuff = false; // the run being looked at opens with a stuff bit
    u32 stuffBit = 0;
    for (;;) {
        const int realBits = afterStuff ? 4 : 5;
        if (pos + realBits > image.length)
            return count;
        const u32 window = afterStuff ? (stuffBit << 4) | image.at(pos, 4) : image.at(pos, 5);
        const u32 equal = kLeadingZeros[(window & 16) ? window ^ 31 : window];
        if (equal == 5) {
            ++count;
            pos += realBits;
            stuffBit = ((window >> 4) & 1) ^ 1;
            afterStuff = true;
        } else {
            pos += static_cast<int>(equal) - (afterStuff ? 1 : 0);
            afterStuff = false;
        }
    }
}

} // namespace

std::shared_ptr<BitRate> BitRate::create(std::shared_ptr<Message> parent)
{
    auto signal = std::make_shared<BitRate>(std::move(parent));
    signal->self = signal;
    return signal;
}

BitRate::BitRate(std::shared_ptr<Message> parent)
    : Signal(std::move(parent), "Bitrate"),
      windowLength(std::max(1, Settings::instance()->getBitrateInterval()))
{
    unit = "bits/s";
}

BitRate::~BitRate() = default;

bool BitRate::dependsOn(const Glib::ustring&) { return false; }

void BitRate::addFrame(u64 timeMs, const FrameRecord& frame)
{
    u64 elapsed = 0;
    if (windowStart == 0)
        windowStart = timeMs;
    else if (timeMs > windowStart)
        elapsed = timeMs - windowStart;
    // A frame stamped before the open window is counted in it without closing it: the
    // unsigned difference would otherwise store a near-zero rate at a time far away.
    bitSum += static_cast<u64>(frameBitLength(frame));
    if (elapsed < static_cast<u64>(windowLength))
        return;
    const u64 rate = bitSum * 1000 / elapsed;
    addValue(windowStart + elapsed / 2, static_cast<double>(rate));
    // The closing frame belongs to the closed window; the next window opens empty.
    windowStart = timeMs;
    bitSum = 0;
}

void BitRate::reset()
{
    windowStart = 0;
    bitSum = 0;
    windowLength = std::max(1, Settings::instance()->getBitrateInterval());
}

void BitRate::releaseSelf() { self.reset(); }

int BitRate::frameBitLength(const FrameRecord& frame)
{
    BitImage image;
    const u32 remote = (frame.idWord & kRemoteFlag) ? 1 : 0;
    image.put(0, 1); // SOF
    if (frame.idWord & kExtendedFlag) {
        const u32 id = frame.idWord & kIdMask;
        image.put(id >> 18, 11);
        image.put(0b11, 2); // SRR, IDE
        image.put(id & 0x3FFFF, 18);
        image.put(remote, 1);
        image.put(0, 2); // r1, r0
    } else {
        image.put(frame.idWord & 0x7FF, 11);
        image.put(remote, 1);
        image.put(0, 2); // IDE, r0
    }
    image.put(frame.length & 0xF, 4);
    // Remote frames are counted with the data field their length byte gives.
    for (int i = 0; i < frame.dataLength(); ++i)
        image.put(frame.data[i], 8);
    image.put(crc15Range(image.bytes, 0, image.length), 15);
    return image.length + stuffBits(image) + kTrailingBits;
}

unsigned BitRate::crc15Bits(unsigned crc, u8 byte, unsigned nBits)
{
    for (unsigned i = 0; i < nBits && i < 8; ++i)
        crc = crcBitStep(crc, (byte >> (7 - i)) & 1);
    return crc;
}

unsigned BitRate::crc15Bytes(unsigned crc, const u8* data, unsigned n)
{
    for (unsigned i = 0; i < n; ++i)
        crc = ((crc << 8) ^ kCrcTable[((crc >> 7) ^ data[i]) & 0xFF]) & kCrcMask;
    return crc;
}

unsigned BitRate::crc15Range(const u8* buf, int fromBit, int toBit)
{
    unsigned crc = 0;
    int pos = fromBit;
    if (pos >= toBit)
        return crc;
    if (pos & 7) {
        const int n = std::min(8 - (pos & 7), toBit - pos);
        crc = crc15Bits(crc, static_cast<u8>(buf[pos >> 3] << (pos & 7)), static_cast<unsigned>(n));
        pos += n;
    }
    const int whole = (toBit - pos) / 8;
    crc = crc15Bytes(crc, buf + (pos >> 3), static_cast<unsigned>(whole));
    pos += whole * 8;
    if (pos < toBit)
        crc = crc15Bits(crc, buf[pos >> 3], static_cast<unsigned>(toBit - pos));
    return crc;
}

} // namespace vistra
