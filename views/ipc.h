#pragma once
// The link between running copies of the program (option -g): they share the visible
// interval, the rulers and the time offsets of their data. This holds the local side: the
// switch and the table of time offsets; publishing it to the other copies comes with the
// shared segment.
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

private:
    mutable std::mutex mutex;
    bool linked = false;
    bool baseKnown = false;
    u64 lastOffsetTime = 0;
    u64 lastOffset = 0;
    std::vector<std::pair<u64, u64>> offsets;
};

} // namespace vistra
