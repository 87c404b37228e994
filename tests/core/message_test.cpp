#include "core/message.h"

#include "core/can_iface.h"
#include "core/report.h"
#include "core/signal.h"
#include "core_samples.h"
#include "test_helpers.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

namespace vistra {
namespace {

using test::T;

struct MessageTest : testing::Test {
    test::StoreHostReset resetHost;
    std::shared_ptr<CanIface> iface = CanIface::create("CAN0", 0);
    std::shared_ptr<Message> msg = std::make_shared<Message>(0x100, "Msg", iface);

    ~MessageTest() override
    {
        if (msg)
            msg->clear();
        if (iface)
            iface->clear();
    }

    std::shared_ptr<Signal> add(const char* name)
    {
        auto sig = std::make_shared<Signal>(msg, name);
        msg->addSignal(name, sig);
        return sig;
    }
};

TEST_F(MessageTest, UpdateSignalCounts)
{
    auto plotted = add("Plotted");
    auto noPlot = add("NoPlot");
    auto unused = add("Unused");
    auto byDependant = add("ByDependant");
    auto loaded = add("Loaded");
    plotted->setEnabled(true);
    noPlot->noPlot = true;
    noPlot->setEnabled(true);
    byDependant->addUser(unused);
    byDependant->addUser(plotted);
    loaded->addUser(nullptr);
    loaded->loaded = true;

    storeHost().live = true;
    msg->updateSignalCounts();
    EXPECT_EQ(msg->decodeOrder, msg->signals) << "live: the decode order stays put";

    storeHost().live = false;
    std::vector<std::shared_ptr<Signal>> plotList;
    msg->updateSignalCounts(&plotList);
    EXPECT_EQ(msg->enabledCount, 2u);
    EXPECT_EQ(msg->enabledVisibleCount, 1u);
    EXPECT_EQ(msg->usedCount, 4u);
    EXPECT_EQ(msg->usedNotLoadedCount, 3u);
    EXPECT_EQ(plotList, std::vector<std::shared_ptr<Signal>>{plotted});
    ASSERT_EQ(msg->decodeOrder.size(), 5u);
    EXPECT_EQ(msg->decodeOrder.front(), byDependant) << "most used first";
    EXPECT_EQ(msg->decodeOrder.back(), unused) << "unused last";

    // The interface adds up the counters of its messages.
    auto other = std::make_shared<Message>(0x200, "Other", iface);
    auto otherSig = std::make_shared<Signal>(other, "S");
    other->addSignal("S", otherSig);
    otherSig->setEnabled(true);
    iface->addMessage(msg);
    iface->addMessage(other);
    iface->updateSignalCounts();
    EXPECT_EQ(iface->enabledCount, 3u);
    EXPECT_EQ(iface->enabledVisibleCount, 2u);
    EXPECT_EQ(iface->usedCount, 5u);
    EXPECT_EQ(iface->usedNotLoadedCount, 4u);
}

TEST_F(MessageTest, ASelectionRebuildsThePlottedListOnce)
{
    // Each rebuild walks every signal: one per signal chosen made a selection cost N².
    struct CountingHost : StoreHost {
        int rebuilds = 0;
        void refreshPlotSignals() override { ++rebuilds; }
    } host;
    StoreHost::install(&host);
    for (const char* name : {"A1", "A2", "B1", "B2"})
        add(name);
    struct Case {
        const char* what;
        std::function<void()> select;
        int rebuilds;
        u32 enabled;
    };
    const Case cases[] = {
        {"every signal of the message", [&] { msg->setAllEnabled(true); }, 1, 4},
        {"a glob", [&] { msg->enableMatching("A*"); }, 1, 2},
        {"selections within a selection",
         [&] {
             SelectionBatch outer;
             msg->setAllEnabled(true);
             msg->signals[0]->setEnabled(false);
             msg->enableMatching("B*");
         },
         1, 3},
        {"one signal", [&] { msg->signals[3]->setEnabled(true); }, 1, 1},
        {"nothing chosen", [&] { SelectionBatch none; }, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        msg->setAllEnabled(false);
        host.rebuilds = 0;
        c.select();
        EXPECT_EQ(host.rebuilds, c.rebuilds);
        msg->updateSignalCounts();
        EXPECT_EQ(msg->enabledCount, c.enabled);
    }
    StoreHost::install(nullptr);
}

TEST_F(MessageTest, EndOfLoad)
{
    struct Case {
        const char* what;
        bool used;
        int values; // equal values, 100 ms apart
        bool loadedBefore;
        bool loadedAfter;
        size_t samplesAfter;
    } cases[] = {
        {"used, no data", true, 0, false, true, 0},
        {"unused, no data", false, 0, true, false, 0},
        {"used with data: finish closes the run", true, 2, false, true, 2},
        {"unused with data: no finish", false, 2, false, true, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto sig = add("S");
        sig->loaded = c.loadedBefore;
        if (c.used)
            sig->addUser(nullptr);
        for (int i = 0; i < c.values; ++i)
            sig->addValue(T + 100 * u64(i), 7.0);
        msg->endOfLoad();
        EXPECT_EQ(sig->loaded, c.loadedAfter);
        EXPECT_FALSE(sig->needsLoad);
        EXPECT_EQ(sig->samples.size(), c.samplesAfter);
        msg->clear();
    }
}

TEST_F(MessageTest, EnableMatchingSkipsHidden)
{
    auto sigA = add("SigA");
    auto sigB = add("SigB");
    auto other = add("Other");
    auto hidden = add("SigHidden");
    hidden->hidden = true;

    msg->enableMatching("Sig?");
    EXPECT_TRUE(sigA->enabled);
    EXPECT_TRUE(sigB->enabled);
    EXPECT_FALSE(other->enabled);

    msg->enableMatching("*");
    EXPECT_TRUE(other->enabled);
    EXPECT_FALSE(hidden->enabled);
    EXPECT_EQ(hidden->useCount, 0u);
    EXPECT_EQ(sigA->useCount, 1u) << "enabling twice adds one use";

    msg->setAllEnabled(false);
    for (const auto& sig : {sigA, sigB, other})
        EXPECT_FALSE(sig->enabled);
}

TEST_F(MessageTest, LookupAndDuplicateNames)
{
    auto first = add("X");
    auto second = add("X");
    EXPECT_EQ(msg->signals.size(), 2u);
    EXPECT_EQ(msg->getSignal("X"), first);
    try {
        msg->getSignal("Missing");
        FAIL() << "no exception";
    } catch (const SignalNotFoundException& e) {
        EXPECT_EQ(e.message, "Can't find signal with name Missing");
        EXPECT_STREQ(e.what(), "Can't find signal with name Missing");
    }
    EXPECT_FALSE(msg->startThread());
    EXPECT_FALSE(msg->startThreadLowPriority({}));
    EXPECT_FALSE(msg->needsDecoding());
}

TEST_F(MessageTest, ClearReleasesTheWholeModel)
{
    // Ownership cycles: signals point at their message, the message at its interface and
    // back, and users at each other; the second "Dup" is reachable only by definition order.
    auto dupFirst = add("Dup");
    auto dupSecond = add("Dup");
    auto third = add("Third");
    dupFirst->addUser(third);
    third->addUser(dupFirst);
    // Stands in for a dependant that holds the second "Dup" as its input.
    dupSecond->addUser(dupSecond);
    iface->addMessage(msg);

    std::weak_ptr<Message> weakMsg = msg;
    std::weak_ptr<CanIface> weakIface = iface;
    std::vector<std::weak_ptr<Signal>> weakSignals{dupFirst, dupSecond, third};

    iface->clear();
    EXPECT_FALSE(msg->hasInterface());
    try {
        msg->getInterface();
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Message 'Msg' has no parent interface");
    }
    EXPECT_TRUE(iface->messages.empty());

    dupFirst.reset();
    dupSecond.reset();
    third.reset();
    msg.reset();
    iface.reset();
    EXPECT_TRUE(weakMsg.expired());
    EXPECT_TRUE(weakIface.expired());
    for (const auto& weak : weakSignals)
        EXPECT_TRUE(weak.expired());
}

} // namespace
} // namespace vistra
