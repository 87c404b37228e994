#include "views/ipc.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace vistra {
namespace {

using Pairs = std::vector<std::pair<u64, u64>>;

TEST(IPC, TimeOffsetsAreAppendedOnlyWhenTimeAndOffsetMove)
{
    const u64 t = 1765000000000ULL;
    struct Case {
        Pairs offered;
        Pairs kept;
    };
    const std::vector<Case> cases = {
        {{{t, 0}}, {}},                                 // a first offset of 0 is the same as none
        {{{t, 5}, {t + 1, 7}}, {{t, 5}, {t + 1, 7}}},
        {{{t, 5}, {t + 1, 5}}, {{t, 5}}},               // the same offset again
        {{{t, 5}, {t, 7}, {t - 1, 9}}, {{t, 5}}},       // a time not later than the last
        {{{0x8000000000000000ULL, 5}}, {}},             // signed: this "time" lies before 0
        {{{t, 5}, {t + 1, 7}, {t + 2, 5}}, {{t, 5}, {t + 1, 7}, {t + 2, 5}}}, // back to an older offset
    };
    for (const auto& c : cases) {
        IPC ipc;
        for (const auto& [time, offset] : c.offered)
            ipc.addTimeOffset(time, offset);
        EXPECT_EQ(ipc.timeOffsets(), c.kept);
        EXPECT_EQ(ipc.timeBaseKnown(), !c.kept.empty());
        EXPECT_FALSE(ipc.enabled());
    }
    IPC ipc;
    ipc.enable();
    EXPECT_TRUE(ipc.enabled());
}

TEST(IPC, RulersReadBackOnTheOwnTimeBaseAndUnsetStaysUnset)
{
    const u64 t = 1765000000000ULL;
    IPC ipc;
    EXPECT_EQ(ipc.leftRuler(), kNoTime);
    EXPECT_EQ(ipc.rightRuler(), kNoTime);
    ipc.setRulers(t + 10, kNoTime); // no time base yet: the relative form is the time itself
    EXPECT_EQ(ipc.leftRuler(), t + 10);
    EXPECT_EQ(ipc.rightRuler(), kNoTime);
    ipc.addTimeOffset(t, 5000);
    ipc.addTimeOffset(t + 100, 7000);
    for (u64 r : {t - 50, t + 10, t + 100, t + 900}) { // before, between and after the pairs
        ipc.setRulers(kNoTime, r);
        EXPECT_EQ(ipc.rightRuler(), r);
        EXPECT_EQ(ipc.leftRuler(), kNoTime);
    }
}

} // namespace
} // namespace vistra
