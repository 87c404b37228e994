#pragma once
// The CAN traffic the load benchmarks decode: messages 0x100, 0x101, ... on interface 0
// "Can", each with 8 signals (both byte orders, signed and unsigned, lengths on and off
// byte bounds), and frames that visit the messages in turn with half their bytes changing
// every frame and half slowly.
#include "core/can_iface.h"
#include "core/frame_record.h"
#include "core/real_message.h"
#include "core/real_signal.h"
#include "store/store.h"

#include <memory>
#include <string>
#include <vector>

namespace vistra::bench {

inline constexpr u32 kFirstMessageId = 0x100;

// Builds `count` messages into a new interface 0 of the store.
inline std::vector<std::shared_ptr<RealMessage>> buildMessages(Store& store, int count)
{
    struct SignalDef {
        u32 startBit;
        u32 length;
        i32 little;
        u8 type;
    };
    static constexpr SignalDef kSignals[8] = {{0, 8, 1, '+'},  {15, 12, 0, '-'}, {20, 12, 1, '-'}, {39, 16, 0, '+'},
                                              {48, 4, 1, '+'}, {55, 3, 0, '+'},  {52, 4, 1, '-'},  {63, 8, 0, '-'}};
    std::vector<std::shared_ptr<RealMessage>> messages;
    auto iface = CanIface::create("Can", 0);
    store.interfaces.emplace(0, iface);
    for (int m = 0; m < count; ++m) {
        auto msg = RealMessage::create(kFirstMessageId + m, "M", iface);
        for (int s = 0; s < 8; ++s) {
            const auto& d = kSignals[s];
            auto signal = RealSignal::create(msg, std::string("S") + std::to_string(s), d.startBit, d.length, d.little,
                                             d.type, "", 1.0, 0.0, 0, 0);
            msg->addSignal(signal->name, signal);
        }
        iface->messages.emplace(kFirstMessageId + m, msg);
        messages.push_back(msg);
    }
    return messages;
}

// Frame n of the traffic over `messages` messages; the caller sets the timestamp.
class Traffic {
public:
    explicit Traffic(int messages) : counters(std::size_t(messages)) {}

    void frame(u64 n, FrameRecord& r)
    {
        const std::size_t m = std::size_t(n % counters.size());
        r.idWord = u32(kFirstMessageId + m);
        r.length = 8;
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        const u32 c = counters[m]++;
        r.data[0] = u8(state);
        r.data[1] = u8(state >> 8);
        r.data[2] = u8(state >> 16);
        r.data[3] = u8(c >> 4);
        r.data[4] = u8(c >> 6);
        r.data[5] = u8(state >> 24);
        r.data[6] = u8(c >> 3);
        r.data[7] = u8(c >> 8);
    }

private:
    u64 state = 0x9E3779B97F4A7C15ULL;
    std::vector<u32> counters;
};

} // namespace vistra::bench
