#pragma once
// The receive rate of one message in messages per second. It watches the message's
// hidden "___rate___" signal, which holds one sample per received frame, and turns the
// spacing of those frame times into a rate after the load.
#include "core/types.h"
#include "core/virtual_signal.h"

#include <glibmm/ustring.h>

#include <memory>

namespace vistra {

class Message;

class MsgRate : public VirtualSignal {
public:
    // `name` may be a dotted path: the signal takes the part after the last '.'.
    MsgRate(std::shared_ptr<Message> parent, const Glib::ustring& name, std::shared_ptr<Signal> watched);
    ~MsgRate() override;

    static std::shared_ptr<MsgRate> create(std::shared_ptr<Message> parent, const Glib::ustring& name,
                                           std::shared_ptr<Signal> watched);

    // The first user makes the watched signal filled; the last one stops it.
    void addUser(std::shared_ptr<Signal> user) override;
    void removeUser(const std::shared_ptr<Signal>& user) override;
    // Walks the watched samples not walked yet; a later call continues after them.
    void process() override;
    // Gives back the watched signal's sample memory; stores nothing.
    void finish() override;
    bool inputsReady() override;

    std::shared_ptr<Signal> watched;
    bool started = false;
    u64 index = 0;       // watched samples walked so far
    u64 currentTime = 0; // the latest distinct frame time walked; 0 = none
    u32 extraFrames = 0; // frames at currentTime beyond the first

private:
    // The value of the last watched sample walked: a sample that repeats it at the same
    // time is a point the watched signal re-stored across a gap, not another frame.
    double lastValue = 0.0;
};

} // namespace vistra
