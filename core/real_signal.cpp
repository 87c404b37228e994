#include "core/real_signal.h"

#include "core/frame_record.h"
#include "core/message.h"
#include "core/report.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

namespace vistra {
namespace {

// The 8 data bytes as one integer with data byte 0 in the low bits, and with data byte 0
// in the high bits. In the second form the big-endian bit walk (from the start bit down
// to bit 0 of its byte, then on at bit 7 of the next byte) is a plain run of bits from
// the top, so both byte orders take one shift pair and no loop.
u64 lowFirst(const u8 (&data)[8])
{
    u64 word;
    std::memcpy(&word, data, sizeof word);
    if constexpr (std::endian::native == std::endian::big)
        word = __builtin_bswap64(word);
    return word;
}

u64 highFirst(const u8 (&data)[8])
{
    u64 word;
    std::memcpy(&word, data, sizeof word);
    if constexpr (std::endian::native == std::endian::little)
        word = __builtin_bswap64(word);
    return word;
}

// Position of a big-endian start bit counted from the top of highFirst: bit 7 of byte 0 is 0.
u64 topPosition(u32 startBit) { return u64{startBit} / 8 * 8 + 7 - startBit % 8; }

// The multiplexor value of a decoded switch; out-of-range values saturate instead of
// overflowing the conversion, and a NaN counts as "no multiplexor seen".
i32 toMux(double v)
{
    if (std::isnan(v))
        return -1;
    if (v >= double(std::numeric_limits<i32>::max()))
        return std::numeric_limits<i32>::max();
    if (v <= double(std::numeric_limits<i32>::min()))
        return std::numeric_limits<i32>::min();
    return static_cast<i32>(v);
}

} // namespace

RealSignal::RealSignal(std::shared_ptr<Message> parentMessage, const Glib::ustring& signalName, u32 firstBit,
                       u32 bitLength, i32 isLittleEndian, u8 type, const Glib::ustring& signalUnit,
                       double signalFactor, double signalOffset, double minValue, double maxValue)
    : Signal(std::move(parentMessage), signalName, minValue, maxValue),
      scaled(signalFactor != 0),
      shifted(signalOffset != 0),
      startBit(firstBit),
      length(bitLength),
      littleEndian(isLittleEndian),
      valueType(type),
      dbcMin(minValue),
      dbcMax(maxValue),
      factor(signalFactor),
      offset(signalOffset)
{
    unit = signalUnit;
    if (littleEndian)
        wholeBytes = startBit % 8 == 0 && length % 8 == 0;
    else
        wholeBytes = startBit % 8 == 7 && length % 8 == 0;
    if (length > kMaxLength)
        fail("Signal '%s' is %u bits long, at most %u bits fit in a frame", signalName.c_str(), length,
             kMaxLength);
}

RealSignal::~RealSignal() = default;

std::shared_ptr<RealSignal> RealSignal::create(std::shared_ptr<Message> parent, const Glib::ustring& name,
                                               u32 startBit, u32 length, i32 littleEndian, u8 valueType,
                                               const Glib::ustring& unit, double factor, double offset,
                                               double min, double max)
{
    return std::make_shared<RealSignal>(std::move(parent), name, startBit, length, littleEndian, valueType, unit,
                                        factor, offset, min, max);
}

bool RealSignal::fitsPayload(u32 startBit, u32 length, i32 littleEndian)
{
    if (length > kMaxLength)
        return false;
    if (length == 0)
        return true;
    const u64 first = littleEndian ? u64{startBit} : topPosition(startBit);
    return first + length <= kMaxLength;
}

void RealSignal::setFloat()
{
    if (!wholeBytes || length != 32)
        fail("Only 32bit floats on 4 whole bytes are supported.");
    isFloat = true;
}

bool RealSignal::dependsOn(const Glib::ustring&) { return false; }

u64 RealSignal::extractRaw(const u8 (&data)[8]) const
{
    if (length == 0 || length > kMaxLength)
        return 0;
    if (littleEndian) {
        if (startBit >= 64)
            return 0;
        const u64 raw = lowFirst(data) >> startBit;
        return length == 64 ? raw : raw & ((u64{1} << length) - 1);
    }
    const u64 top = topPosition(startBit);
    if (top >= 64)
        return 0;
    return (highFirst(data) << top) >> (64 - length);
}

void RealSignal::onFrame(const FrameRecord& frame)
{
    double v;
    if (decodeValue(frame, v))
        addValue(frame.absTime, v);
}

bool RealSignal::decodeValue(const FrameRecord& frame, double& v)
{
    if (muxValue >= 0 && (!parent || parent->currentMux != muxValue))
        return false;

    if (length == 0) {
        toggle = !toggle;
        v = toggle ? 1.0 : 0.0;
    } else if (isFloat && wholeBytes) {
        v = std::bit_cast<float>(static_cast<u32>(extractRaw(frame.data)));
    } else {
        const u64 raw = extractRaw(frame.data);
        if (valueType == '-' && ((raw >> (length - 1)) & 1) != 0)
            v = static_cast<double>(length == 64 ? static_cast<i64>(raw) : static_cast<i64>(raw | (~u64{0} << length)));
        else
            v = static_cast<double>(raw);
    }
    if (scaled)
        v *= factor;
    if (shifted)
        v += offset;

    if (muxValue == kMuxSwitch) {
        if (parent)
            parent->currentMux = toMux(v);
        return false;
    }
    return true;
}

} // namespace vistra
