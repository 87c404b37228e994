#pragma once
// The logger's own GPS reports, frames 10, 11 and 12 of the built-in interface "Logger":
// fixed messages "GPS_POS", "GPS_MOT" and "GPS_STAT" whose plain signals are filled by a
// decode routine per message instead of by DBC signal definitions.
#include "core/frame_record.h"
#include "core/real_message.h"
#include "core/types.h"

#include <glibmm/ustring.h>

#include <memory>

namespace vistra {

class CanIface;

class LoggerMessage : public RealMessage {
public:
    using DecodeFn = void (*)(LoggerMessage* message, const FrameRecord& frame);

    static constexpr u32 kGpsPosId = 10;
    static constexpr u32 kGpsMotId = 11;
    static constexpr u32 kGpsStatId = 12;

    LoggerMessage(u32 id, const Glib::ustring& name, std::shared_ptr<CanIface> iface);
    ~LoggerMessage() override;

    // The message with its "___rate___" signal; the caller adds the GPS signals.
    static std::shared_ptr<LoggerMessage> create(u32 id, const char* name, std::shared_ptr<CanIface> iface);

    // Adds GPS_POS, GPS_MOT and GPS_STAT to the logger's interface; an identifier already
    // taken there reports an ERR and throws PrintMsgError.
    static void createGpsMessages(std::shared_ptr<CanIface> logger);
    static void createGpsPos(std::shared_ptr<CanIface> logger);
    static void createGpsMot(std::shared_ptr<CanIface> logger);
    static void createGpsStat(std::shared_ptr<CanIface> logger);

    // Each stores every value of its message that lies within the frame's data length.
    static void decodeGpsPos(LoggerMessage* message, const FrameRecord& frame);
    static void decodeGpsMot(LoggerMessage* message, const FrameRecord& frame);
    static void decodeGpsStat(LoggerMessage* message, const FrameRecord& frame);

    // Degrees and minutes sent as DDD * 10^7 + MM.MMMMM * 10^5, in decimal degrees.
    static double degreesFromFixedPoint(i32 v);

    void decodeFrame(const FrameRecord& frame) override;
    // Frame by frame: the GPS decode routines store through addValue.
    void decodeFrames(std::span<const FrameRecord> frames) override;

    DecodeFn decodeFn = nullptr;
};

} // namespace vistra
