#pragma once
// The bus load of one CAN interface: every frame's length on the wire (with CRC and stuff
// bits) is summed over an averaging window, and once per window the bits per second of
// that window are stored.
#include "core/frame_record.h"
#include "core/signal.h"
#include "core/types.h"

#include <memory>

namespace vistra {

class BitRate : public Signal {
public:
    // Constructs the signal holding a reference to itself, so that the Store's array of
    // bus-load signals may point to it until releaseSelf.
    static std::shared_ptr<BitRate> create(std::shared_ptr<Message> parent);

    // "Bitrate" in "bits/s", with the window length of the settings.
    explicit BitRate(std::shared_ptr<Message> parent);
    ~BitRate() override;

    bool dependsOn(const Glib::ustring& name) override;

    // Counts one non-error frame received at timeMs (non-decreasing per interface).
    void addFrame(u64 timeMs, const FrameRecord& frame);
    // Drops the open window and reads the window length from the settings again.
    void reset();
    void releaseSelf();

    // The frame's length on the wire in bits, as a classic CAN data or remote frame:
    // SOF to CRC with stuff bits, plus the 13 bits from the CRC delimiter to the
    // intermission. At most 8 data bytes are counted, whatever the length byte says.
    static int frameBitLength(const FrameRecord& frame);

    // CAN CRC-15 (x^15+x^14+x^10+x^8+x^7+x^4+x^3+1), register kept to 15 bits.
    // Over bits [fromBit, toBit) of buf, bit 0 being the most significant bit of buf[0].
    static unsigned crc15Range(const u8* buf, int fromBit, int toBit);
    // Continues crc over the nBits most significant bits of byte.
    static unsigned crc15Bits(unsigned crc, u8 byte, unsigned nBits);
    // Continues crc over n whole bytes.
    static unsigned crc15Bytes(unsigned crc, const u8* data, unsigned n);

    u64 windowStart = 0; // first frame of the open window; 0 = no window open
    u64 bitSum = 0;      // bits counted in the open window
    i64 windowLength;    // ms, at least 1
    std::shared_ptr<BitRate> self;
};

} // namespace vistra
