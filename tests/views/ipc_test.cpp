#include "views/ipc.h"

#include "views/plot_math.h"

#include <gtest/gtest.h>

#include <optional>
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

// A linked copy with one time offset; `segment` stands in for the shared memory.
struct Copy {
    explicit Copy(u64 offset, bool link = true)
    {
        if (link)
            ipc.enable();
        ipc.addTimeOffset(kBase, offset);
    }
    static constexpr u64 kBase = 1765000000000ULL;
    IPC ipc;
};

TEST(IPC, FollowersPutTheRecordOnTheirOwnTimeBase)
{
    const u64 t = Copy::kBase;
    SharedRecord segment{};
    Copy a(5000), b(7000); // b's clock correction is 2 s later than a's
    a.ipc.intervalChanged(t + 100, t + 900, true);
    a.ipc.setRulers(t + 300, kNoTime);
    EXPECT_FALSE(a.ipc.exchange(segment)); // publishes
    EXPECT_EQ(segment.left, t + 300);
    EXPECT_EQ(segment.leftRel, t + 300 - 5000);
    EXPECT_EQ(segment.right, kNoTime);
    EXPECT_FALSE(a.ipc.exchange(segment)); // its own record wakes nobody

    ASSERT_TRUE(b.ipc.exchange(segment));
    const std::optional<IPC::Arrival> arrival = b.ipc.takeArrival();
    ASSERT_TRUE(arrival);
    EXPECT_TRUE(arrival->hasInterval);
    EXPECT_EQ(arrival->from, t + 2100);
    EXPECT_EQ(arrival->to, t + 2900);
    EXPECT_EQ(b.ipc.leftRuler(), t + 2300);
    EXPECT_EQ(b.ipc.rightRuler(), kNoTime); // unset stays unset
    EXPECT_FALSE(b.ipc.takeArrival());

    // The same record again, from either side, wakes nobody.
    a.ipc.setRulers(t + 300, kNoTime);
    EXPECT_FALSE(a.ipc.exchange(segment));
    EXPECT_FALSE(b.ipc.exchange(segment));

    // Deleted rulers read back as deleted; the follower's copy goes back unchanged.
    b.ipc.setRulers(kNoTime, kNoTime);
    EXPECT_FALSE(b.ipc.exchange(segment));
    EXPECT_TRUE(a.ipc.exchange(segment));
    EXPECT_EQ(a.ipc.leftRuler(), kNoTime);
    EXPECT_EQ(a.ipc.rightRuler(), kNoTime);
    ASSERT_TRUE(a.ipc.takeArrival());
    EXPECT_EQ(a.ipc.takeArrival(), std::nullopt);
}

TEST(IPC, CopiesThatMayNotTakePartNeitherWriteNorFollow)
{
    const u64 t = Copy::kBase;
    SharedRecord published{t, t - 5000, t + 9, t + 9 - 5000, t + 3, t + 3 - 5000, kNoTime, kNoTime};

    Copy unlinked(5000, false);
    unlinked.ipc.setRulers(t + 1, t + 2);
    unlinked.ipc.intervalChanged(t, t + 10, true);
    SharedRecord segment = published;
    EXPECT_FALSE(unlinked.ipc.exchange(segment));
    EXPECT_EQ(segment, published);
    EXPECT_EQ(unlinked.ipc.leftRuler(), t + 1);

    IPC noTimeBase; // linked, but no data loaded yet
    noTimeBase.enable();
    noTimeBase.setRulers(t + 1, t + 2);
    EXPECT_FALSE(noTimeBase.exchange(segment));
    EXPECT_EQ(segment, published);
    EXPECT_EQ(noTimeBase.leftRuler(), t + 1);

    // An interval that came from the link (origin false) is not sent back.
    Copy follower(5000);
    EXPECT_TRUE(follower.ipc.exchange(segment));
    follower.ipc.intervalChanged(t + 4, t + 5, false);
    EXPECT_FALSE(follower.ipc.exchange(segment));
    EXPECT_EQ(segment, published);

    // Turning the link on publishes what the copy holds.
    Copy late(5000, false);
    late.ipc.setRulers(t + 7, kNoTime);
    late.ipc.enable();
    EXPECT_FALSE(late.ipc.exchange(segment));
    EXPECT_EQ(segment.left, t + 7);
}

TEST(IPC, RecordsWithoutAnIntervalOrWrittenByNobodyMoveNothing)
{
    const u64 t = Copy::kBase;
    // A new segment is all zeros: no rulers at the logger clock's zero, no interval.
    SharedRecord segment{0, 0, 0, 0, 0, 0, 0, 0};
    Copy b(7000);
    EXPECT_FALSE(b.ipc.exchange(segment));
    EXPECT_EQ(b.ipc.leftRuler(), kNoTime);

    // A copy that only moved its rulers publishes no interval.
    Copy a(5000);
    a.ipc.setRulers(t + 300, t + 400);
    a.ipc.exchange(segment);
    ASSERT_TRUE(b.ipc.exchange(segment));
    const std::optional<IPC::Arrival> arrival = b.ipc.takeArrival();
    ASSERT_TRUE(arrival);
    EXPECT_FALSE(arrival->hasInterval);
    EXPECT_EQ(b.ipc.rightRuler(), t + 2400);
}

// Every local user can write the segment: a record whose times the plots cannot place
// (near the ends of the 64-bit range, or beyond them once put on this copy's time base)
// or whose interval runs backwards is not taken.
TEST(IPC, RecordsWithTimesThePlotsCannotPlaceAreNotTaken)
{
    const u64 t = Copy::kBase;
    const u64 rel = t - 5000; // the publisher's relative form of t
    const SharedRecord sound{t, rel, t + 9, rel + 9, t + 3, rel + 3, kNoTime, kNoTime};
    const u64 top = kLatestPlotTime;
    struct Case {
        const char* what;
        SharedRecord record;
    };
    auto with = [&sound](auto change) {
        SharedRecord r = sound;
        change(r);
        return r;
    };
    const Case cases[] = {
        {"ruler at the largest signed time", with([](SharedRecord& r) { r.left = r.leftRel = 0x7FFFFFFFFFFFFFFFULL; })},
        {"ruler's relative form near 2^64", with([](SharedRecord& r) { r.leftRel = kNoTime - 1; })},
        {"ruler beyond the limit on this copy's base (offset 7000)",
         with([top](SharedRecord& r) { r.right = t; r.rightRel = top - 6999; })},
        {"ruler just past the limit", with([top](SharedRecord& r) { r.right = r.rightRel = top + 1; })},
        {"interval ending at the top of the range", with([](SharedRecord& r) { r.to = r.toRel = kNoTime; })},
        {"interval starting near the signed limit", with([](SharedRecord& r) { r.from = r.fromRel = 1ULL << 63; })},
        {"interval's relative start near 2^64", with([](SharedRecord& r) { r.fromRel = kNoTime - 5; })},
        {"empty interval", with([](SharedRecord& r) { r.to = r.from; r.toRel = r.fromRel; })},
        {"backwards interval", with([](SharedRecord& r) { std::swap(r.from, r.to); std::swap(r.fromRel, r.toRel); })},
        {"backwards once translated", with([](SharedRecord& r) { r.toRel = 0; })},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Copy b(7000);
        b.ipc.setRulers(t + 1, t + 2);
        SharedRecord published;
        b.ipc.exchange(published); // nothing of b's waits to be published any more
        SharedRecord segment = c.record;
        EXPECT_FALSE(b.ipc.exchange(segment));
        EXPECT_FALSE(b.ipc.takeArrival());
        EXPECT_EQ(b.ipc.leftRuler(), t + 1);
        EXPECT_EQ(b.ipc.rightRuler(), t + 2);
        EXPECT_EQ(segment, c.record); // not read, and nothing written back
    }

    // At the limit the record is taken, and the plots place it (at the widget's edge).
    // An unset ruler's relative form is not looked at.
    Copy b(7000);
    SharedRecord segment{t, rel, t + 9, rel + 9, top, top - 7000, kNoTime, 12345};
    ASSERT_TRUE(b.ipc.exchange(segment));
    EXPECT_EQ(b.ipc.leftRuler(), top);
    EXPECT_EQ(b.ipc.rightRuler(), kNoTime);
    EXPECT_EQ(timeToPixel(b.ipc.leftRuler(), t, t + 9, 1000), kMaxCoordinate);
    const std::optional<IPC::Arrival> arrival = b.ipc.takeArrival();
    ASSERT_TRUE(arrival);
    EXPECT_EQ(arrival->from, t + 2000);
    EXPECT_EQ(arrival->to, t + 2009);
}

} // namespace
} // namespace vistra
