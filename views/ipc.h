#pragma once
// The link between running copies of the program (option -g): they share the visible
// interval, the rulers and the time offsets of their data. This holds the local side: the
// switch, the table of time offsets and this copy's rulers, each kept in two forms,
// absolute and relative to the logger clock; publishing them to the other copies comes
// with the shared segment.
#include "core/types.h"

#include <mutex>
#include <utility>
#include <vector>

namespace vistra {

class IPC {
public:
    static IPC& instance();

    // Turns linking on. Never throws.
    void enable();
    bool enabled() const;

    // Records that data from `time` on uses `offset` between logger timestamps and
    // absolute time. Taken only when time is later than the last recorded time (signed)
    // and the offset differs from the last one; the first one makes the time base known.
    // Runs on the thread that dispatches frames. Never throws.
    void addTimeOffset(u64 time, u64 offset);

    bool timeBaseKnown() const;
    std::vector<std::pair<u64, u64>> timeOffsets() const;

    // The detail plot's rulers after every move; kNoTime (-1) for an unset one. GUI thread.
    void setRulers(u64 left, u64 right);
    // The rulers as this copy reads them back: kNoTime when unset, else the relative form
    // put back on this copy's own time base.
    u64 leftRuler() const;
    u64 rightRuler() const;

private:
    // The offset in force at t: that of the last pair not after t, or the first pair's
    // when t precedes them all. Called with `mutex` held, once the time base is known.
    u64 offsetAt(u64 t) const;
    u64 relative(u64 t) const { return baseKnown ? t - offsetAt(t) : t; }
    u64 absolute(u64 abs, u64 rel) const;

    mutable std::mutex mutex;
    bool linked = false;
    bool baseKnown = false;
    u64 lastOffsetTime = 0;
    u64 lastOffset = 0;
    std::vector<std::pair<u64, u64>> offsets;
    u64 left = kNoTime;
    u64 leftRel = kNoTime;
    u64 right = kNoTime;
    u64 rightRel = kNoTime;
};

} // namespace vistra
