#pragma once
// The state of the live-data indicator, stepped once a second by the main window: in
// live mode a spinner replaces the progress bar and runs while logger blocks arrive;
// it stops at the third tick in a row without a new block.
#include "core/types.h"

namespace vistra {

class LiveTick {
public:
    // What the window shows after a tick.
    struct Display {
        bool barShown;
        bool spinnerShown;
        bool spinning;
        const char* tooltip; // the spinner's new tooltip; null when unchanged
    };

    Display tick(bool live, u32 blockCount);

    bool progressShown = true; // the bar, not the spinner, is shown
    bool receiving = false;    // blocks are arriving and the spinner runs
    u32 lastLiveCount = 0;
    i32 unchangedTicks = 0;
};

} // namespace vistra
