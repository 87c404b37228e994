#pragma once
// A signal fed by CAN error frames: either a counter of one error class, or the
// description of the last error of that class, shown through its value table.
#include "core/signal.h"

#include <glibmm/ustring.h>

#include <memory>

namespace vistra {

class ErrorSignal : public Signal {
public:
    static std::shared_ptr<ErrorSignal> create(std::shared_ptr<Message> parent, const Glib::ustring& name);
    ErrorSignal(std::shared_ptr<Message> parent, const Glib::ustring& name);
    ~ErrorSignal() override;

    // Counters: the plain number. Descriptions: the table texts of the value ("Unspec"
    // for 0) joined by ", ", then the value: "RXWarn, RXPassive (20)".
    int formatValue(char* buf, std::size_t n, double v) override;
    bool dependsOn(const Glib::ustring& name) override;

    void setCompanion(std::shared_ptr<Signal> description);
    // Records one error on this counter: `count` >= 0 sets the counter, a negative count
    // adds one event. `value` goes to the companion description.
    void addEvent(u64 timeMs, int value, int count);

    std::shared_ptr<Signal> companion; // the description that follows this counter
    u64 count = 0;
    u64 lastEventTime = 0; // 0: no event yet
    i32 lastValue = 0;
    // The value holds one code per half byte (the transceiver status) instead of one flag
    // per bit: each half byte is looked up whole.
    bool nibbleCoded = false;
};

} // namespace vistra
