#pragma once
// A signal decoded from the data bytes of CAN frames by its DBC definition: bit position,
// length, byte order, signedness or 32-bit float, factor and offset, and an optional
// multiplexor value. Length 0 makes a toggle that stores one sample per frame (the
// per-message rate signals).
#include "core/signal.h"
#include "core/types.h"

#include <glibmm/ustring.h>

#include <memory>

namespace vistra {

class RealSignal : public Signal {
public:
    // muxValue: decoded from every frame.
    static constexpr i32 kNotMultiplexed = -1;
    // muxValue: the multiplexor switch of its message; sets Message::currentMux.
    static constexpr i32 kMuxSwitch = -2;
    // The longest raw value: 64 bits, all 8 data bytes.
    static constexpr u32 kMaxLength = 64;

    // Reports an ERR and throws PrintMsgError when `length` exceeds kMaxLength: such a
    // signal cannot be decoded into one raw value.
    RealSignal(std::shared_ptr<Message> parent, const Glib::ustring& name, u32 startBit, u32 length,
               i32 littleEndian, u8 valueType, const Glib::ustring& unit, double factor, double offset,
               double min, double max);
    ~RealSignal() override;

    static std::shared_ptr<RealSignal> create(std::shared_ptr<Message> parent, const Glib::ustring& name,
                                              u32 startBit, u32 length, i32 littleEndian, u8 valueType,
                                              const Glib::ustring& unit, double factor, double offset,
                                              double min, double max);

    // True when every bit of the field lies inside the 8 data bytes and the length is at
    // most 64 (a zero-length toggle reads no bits and always fits). Loaders skip signals
    // that do not fit; decoding one anyway reads the bits past the data as 0.
    static bool fitsPayload(u32 startBit, u32 length, i32 littleEndian);

    // The raw bits are an IEEE-754 single. Reports an ERR and throws PrintMsgError unless
    // the signal is 32 bits on whole bytes.
    void setFloat();

    bool dependsOn(const Glib::ustring& name) override;
    void onFrame(const FrameRecord& frame) override;
    // The decoding half of onFrame: the value this frame gives, or false when it stores
    // nothing (another multiplexor value, or the switch, which sets the parent's currentMux).
    bool decodeValue(const FrameRecord& frame, double& v);

    bool wholeBytes = false;
    bool scaled = false;
    bool shifted = false;
    bool isFloat = false;
    u32 startBit = 0;  // LSB for little-endian, MSB for big-endian; bit k is bit k%8 of byte k/8
    u32 length = 0;
    i32 littleEndian = 0;
    u8 valueType = '+'; // '-' signed, '+' unsigned
    double dbcMin = 0;
    double dbcMax = 0;
    bool toggle = false;
    double factor = 0;
    double offset = 0;
    i32 muxValue = kNotMultiplexed;

private:
    // The raw bit field of `data` as an unsigned integer (bits past data byte 7 read as 0).
    u64 extractRaw(const u8 (&data)[8]) const;
};

} // namespace vistra
