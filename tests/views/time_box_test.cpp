#include "views/time_box.h"

#include "core/store_host.h"

#include <glibmm/init.h>
#include <glibmm/main.h>
#include <gtest/gtest.h>

#include <limits>

namespace vistra {
namespace {

constexpr u64 kMax = std::numeric_limits<u64>::max();

class TimeBoxTest : public testing::Test {
protected:
    void SetUp() override
    {
        Glib::init();
        storeHost().viewStart = 1000;
        storeHost().viewEnd = 9000;
        box.changed.connect([this] { ++emits; });
    }
    void TearDown() override
    {
        storeHost().viewStart = kNoTime;
        storeHost().viewEnd = 0;
    }
    // A dispatcher delivers on the next main-context iterations.
    int drain()
    {
        while (Glib::MainContext::get_default()->iteration(false)) {
        }
        const int n = emits;
        emits = 0;
        return n;
    }
    void start(u64 from, u64 to, bool origin)
    {
        box.from = from;
        box.to = to;
        box.origin = origin;
        drain();
    }

    TimeBox box;
    int emits = 0;
};

TEST_F(TimeBoxTest, SetIntervalClampsIgnoresAndEmitsOnlyOnChange)
{
    struct Case {
        const char* name;
        u64 from, to;
        u64 wantFrom, wantTo;
        int wantEmits;
    };
    const Case cases[] = {
        {"whole range is the view window", 0, kMax, 1000, 9000, 1},
        {"inside", 2500, 4000, 2500, 4000, 1},
        {"start clamped", 500, 4000, 1000, 4000, 1},
        {"end clamped", 5000, 9500, 5000, 9000, 1},
        {"before the view window", 100, 900, 2000, 3000, 0},
        {"after the view window", 9100, 9900, 2000, 3000, 0},
        {"reversed", 4000, 2500, 2000, 3000, 0},
        {"same again", 2000, 3000, 2000, 3000, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        start(2000, 3000, false);
        box.setInterval(c.from, c.to, true);
        EXPECT_EQ(box.from, c.wantFrom);
        EXPECT_EQ(box.to, c.wantTo);
        EXPECT_TRUE(box.origin); // stored even when the request is ignored
        EXPECT_EQ(drain(), c.wantEmits);
    }
}

TEST_F(TimeBoxTest, CenterOnKeepsTheSpanInsideTheViewAndAlwaysEmits)
{
    struct Case {
        const char* name;
        u64 from, to, t;
        u64 wantFrom, wantTo;
    };
    const Case cases[] = {
        {"middle", 2000, 4000, 5000, 4000, 6000},
        {"near the start", 2000, 4000, 1200, 1000, 3000},
        {"near the end", 2000, 4000, 8900, 7000, 9000},
        {"odd span loses 1 ms", 2000, 3001, 5000, 4500, 5500},
        {"unchanged", 4000, 6000, 5000, 4000, 6000},
        {"empty box takes the view window's span", 0, 0, 3000, 1000, 9000},
        {"span wider than the view window", 500, 9600, 5000, 1000, 9000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        start(c.from, c.to, true);
        box.centerOn(c.t);
        EXPECT_EQ(box.from, c.wantFrom);
        EXPECT_EQ(box.to, c.wantTo);
        EXPECT_TRUE(box.origin); // not touched
        EXPECT_EQ(drain(), 1);
    }
}

TEST_F(TimeBoxTest, CenterOnWithNothingLoadedLeavesTheIntervalAndEmits)
{
    storeHost().viewStart = kNoTime;
    storeHost().viewEnd = 0;
    start(0, 0, false);
    box.centerOn(5000);
    EXPECT_TRUE(box.empty());
    EXPECT_EQ(drain(), 1);
}

TEST_F(TimeBoxTest, ResetEmptiesAndAlwaysEmits)
{
    for (u64 to : {u64{3000}, u64{0}}) {
        start(to ? 2000 : 0, to, true);
        box.reset();
        EXPECT_TRUE(box.empty());
        EXPECT_EQ(drain(), 1);
    }
}

} // namespace
} // namespace vistra
