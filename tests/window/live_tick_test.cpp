#include "window/live_tick.h"

#include <gtest/gtest.h>

#include <string>

namespace vistra {
namespace {

// One tick after another: the block count seen and what the window then shows.
TEST(LiveTick, SpinnerFollowsArrivingBlocks)
{
    struct Step {
        bool live;
        u32 count;
        bool bar;
        bool spinning;
        const char* tooltip;
    };
    const char* receiving = "Receiving data from logger";
    const char* idle = "No data currently received from logger";
    const Step steps[] = {
        {false, 0, true, false, nullptr},
        {true, 5, false, false, nullptr}, // entering live mode waits for new blocks
        {true, 5, false, false, idle},
        {true, 6, false, true, receiving},
        {true, 7, false, true, nullptr},
        {true, 7, false, true, nullptr},
        {true, 7, false, true, nullptr},
        {true, 7, false, false, idle}, // third tick in a row without a block
        {true, 8, false, true, receiving},
        {false, 8, true, false, nullptr},
    };
    LiveTick tick;
    int i = 0;
    for (const Step& s : steps) {
        SCOPED_TRACE(i++);
        const LiveTick::Display d = tick.tick(s.live, s.count);
        EXPECT_EQ(d.barShown, s.bar);
        EXPECT_EQ(d.spinnerShown, !s.bar);
        EXPECT_EQ(d.spinning, s.spinning);
        EXPECT_EQ(std::string(d.tooltip ? d.tooltip : "-"), std::string(s.tooltip ? s.tooltip : "-"));
        EXPECT_EQ(tick.receiving, s.spinning);
    }
}

} // namespace
} // namespace vistra
