#pragma once
// The one visible time interval that every view shows and follows.
//
// GUI thread only: the fields are read directly, and the three operations are called on
// the GUI thread. A thread that learns of a new interval (the link to other running
// copies) hands it to the GUI thread and calls setInterval there.
#include "core/types.h"

#include <glibmm/dispatcher.h>

namespace vistra {

class TimeBox {
public:
    TimeBox();
    virtual ~TimeBox();

    TimeBox(const TimeBox&) = delete;
    TimeBox& operator=(const TimeBox&) = delete;

    // Clamps [from, to] into the Store's view window; a request that clamps to an empty
    // pair is ignored. `origin` is stored first in every case: true when this copy's own
    // user interface asked. Emits `changed` only when the interval moved.
    void setInterval(u64 from, u64 to, bool origin);
    // Keeps the span (an odd span loses 1 ms), centres on t and shifts the interval back
    // inside the view window. Always emits.
    void centerOn(u64 t);
    // Empties the interval (0, 0) and emits.
    void reset();

    bool empty() const { return from == 0 && to == 0; }

    u64 from = 0;
    u64 to = 0;
    bool origin = false;
    // Runs the listeners on the GUI thread's main loop.
    Glib::Dispatcher changed;
};

// The process-wide interval, made on first use (on the GUI thread, before the main loop).
TimeBox& timeBox();

} // namespace vistra
