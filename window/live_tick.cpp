#include "window/live_tick.h"

namespace vistra {

LiveTick::Display LiveTick::tick(bool live, u32 blockCount)
{
    if (!live) {
        progressShown = true;
        receiving = false;
        return {true, false, false, nullptr};
    }
    if (progressShown) {
        // Entering live mode: wait for new blocks before the spinner runs.
        receiving = false;
        lastLiveCount = blockCount;
        progressShown = false;
        unchangedTicks = 3;
        return {false, true, false, nullptr};
    }
    if (blockCount == lastLiveCount) {
        unchangedTicks += 1;
        if (unchangedTicks > 2) {
            receiving = false;
            return {false, true, false, "No data currently received from logger"};
        }
    } else {
        unchangedTicks = 0;
        lastLiveCount = blockCount;
    }
    if (!receiving) {
        receiving = true;
        return {false, true, true, "Receiving data from logger"};
    }
    return {false, true, true, nullptr};
}

} // namespace vistra
