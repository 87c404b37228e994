#include "core/logger_message.h"

#include "core/can_iface.h"
#include "core/real_signal.h"
#include "core/signal.h"

#include <cstddef>
#include <initializer_list>
#include <utility>

namespace vistra {
namespace {

struct SignalSpec {
    const char* name;
    const char* unit;
    i32 decimals;
    const char* comment;
};

const char* const kDegree = "\u00B0";

// The little-endian value of bytes [first, first + n) of the frame's data.
u64 littleEndian(const FrameRecord& frame, unsigned first, unsigned n)
{
    u64 v = 0;
    for (unsigned i = 0; i < n; ++i)
        v |= u64{frame.data[first + i]} << (8 * i);
    return v;
}

// The 31-bit coordinate in bits 0-30 of a 32-bit word, sign-extended from bit 30.
i32 coordinate(u32 word)
{
    const u32 low = word & 0x7FFFFFFFu;
    return static_cast<i32>((low & 0x40000000u) != 0 ? low | 0x80000000u : low);
}

// The GPS signals follow the message's "___rate___" signal, in the order they were added.
Signal& gpsSignal(LoggerMessage* message, std::size_t k) { return *message->signals[1 + k]; }

// A logger frame shorter than expected carries only its first bytes: a value whose bytes
// lie beyond the data length is not stored, rather than decoded from stale bytes.
bool holds(const FrameRecord& frame, unsigned endByte) { return frame.dataLength() >= endByte; }

void build(std::shared_ptr<CanIface> logger, u32 id, const char* name, LoggerMessage::DecodeFn decode,
           std::initializer_list<SignalSpec> table)
{
    auto message = LoggerMessage::create(id, name, logger);
    message->decodeFn = decode;
    for (const SignalSpec& entry : table) {
        auto signal = std::make_shared<Signal>(message, entry.name);
        signal->unit = entry.unit;
        signal->decimals = entry.decimals;
        signal->comment = entry.comment;
        message->addSignal(entry.name, std::move(signal));
    }
    try {
        logger->addMessage(message);
    } catch (...) {
        // Its signals point back at it: break that cycle, or the refused message leaks.
        message->clear();
        throw;
    }
}

} // namespace

LoggerMessage::LoggerMessage(u32 messageId, const Glib::ustring& messageName, std::shared_ptr<CanIface> parentIface)
    : RealMessage(messageId, messageName, std::move(parentIface))
{
}

LoggerMessage::~LoggerMessage() = default;

std::shared_ptr<LoggerMessage> LoggerMessage::create(u32 messageId, const char* messageName,
                                                     std::shared_ptr<CanIface> parentIface)
{
    auto message = std::make_shared<LoggerMessage>(messageId, messageName, std::move(parentIface));
    message->rateSignal = message->createRateSignal(RealSignal::kNotMultiplexed);
    return message;
}

void LoggerMessage::createGpsMessages(std::shared_ptr<CanIface> logger)
{
    createGpsPos(logger);
    createGpsMot(logger);
    createGpsStat(logger);
}

void LoggerMessage::createGpsPos(std::shared_ptr<CanIface> logger)
{
    build(std::move(logger), kGpsPosId, "GPS_POS", decodeGpsPos,
          {{"lat", kDegree, 7, "Latitude"},
           {"N_S", "", 2, "Heading north (0) or south (1)"},
           {"long", kDegree, 7, "Longitude"},
           {"E_W", "", 2, "Heading east (0) or west (1)"}});
}

void LoggerMessage::createGpsMot(std::shared_ptr<CanIface> logger)
{
    build(std::move(logger), kGpsMotId, "GPS_MOT", decodeGpsMot,
          {{"alt", "m", 2, "Height above sea level"},
           {"speed", "km/h", 2, "Ground speed"},
           {"bearing", kDegree, 2, "Travel direction"}});
}

void LoggerMessage::createGpsStat(std::shared_ptr<CanIface> logger)
{
    build(std::move(logger), kGpsStatId, "GPS_STAT", decodeGpsStat,
          {{"hacc", "", 2, "Horizontal accuracy"},
           {"vacc", "", 2, "Vertical accuracy"},
           {"sats", "", 2, "Number of satellites used"},
           {"fix", "", 2, "Position fix obtained"}});
}

double LoggerMessage::degreesFromFixedPoint(i32 v)
{
    const i32 degrees = v / 10000000; // truncates toward zero
    return degrees + (v - degrees * 10000000) / 6000000.0;
}

void LoggerMessage::decodeGpsPos(LoggerMessage* message, const FrameRecord& frame)
{
    const u64 t = frame.absTime;
    if (holds(frame, 4)) {
        const u32 word = static_cast<u32>(littleEndian(frame, 0, 4));
        gpsSignal(message, 0).addValue(t, degreesFromFixedPoint(coordinate(word)));
        gpsSignal(message, 1).addValue(t, word >> 31);
    }
    if (holds(frame, 8)) {
        const u32 word = static_cast<u32>(littleEndian(frame, 4, 4));
        gpsSignal(message, 2).addValue(t, degreesFromFixedPoint(coordinate(word)));
        gpsSignal(message, 3).addValue(t, word >> 31);
    }
}

void LoggerMessage::decodeGpsMot(LoggerMessage* message, const FrameRecord& frame)
{
    const u64 t = frame.absTime;
    if (holds(frame, 4))
        gpsSignal(message, 0).addValue(t, double(littleEndian(frame, 0, 4)) * 0.1);
    if (holds(frame, 6))
        gpsSignal(message, 1).addValue(t, double(littleEndian(frame, 4, 2)) * 0.01);
    if (holds(frame, 8))
        gpsSignal(message, 2).addValue(t, double(littleEndian(frame, 6, 2)) * 0.1);
}

void LoggerMessage::decodeGpsStat(LoggerMessage* message, const FrameRecord& frame)
{
    const u64 t = frame.absTime;
    if (holds(frame, 2))
        gpsSignal(message, 0).addValue(t, double(littleEndian(frame, 0, 2)));
    if (holds(frame, 4))
        gpsSignal(message, 1).addValue(t, double(littleEndian(frame, 2, 2)));
    if (holds(frame, 5))
        gpsSignal(message, 2).addValue(t, frame.data[4]);
    if (holds(frame, 6))
        gpsSignal(message, 3).addValue(t, frame.data[5] & 1);
}

void LoggerMessage::decodeFrame(const FrameRecord& frame)
{
    if (decodeFn)
        decodeFn(this, frame);
    if (rateSignal && rateSignal->needsLoad)
        rateSignal->onFrame(frame);
}

void LoggerMessage::decodeFrames(std::span<const FrameRecord> frames)
{
    for (const FrameRecord& frame : frames)
        decodeFrame(frame);
}

} // namespace vistra
