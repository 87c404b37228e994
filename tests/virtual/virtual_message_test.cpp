#include "virtual/virtual_message.h"

#include "core/can_iface.h"
#include "core/message_log.h"
#include "core/report.h"
#include "core/virtual_signal.h"
#include "test_host.h"
#include "test_helpers.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace vistra {
namespace {

// Counts the computing calls it gets; each process() stores one sample.
class ProbeSignal : public VirtualSignal {
public:
    using VirtualSignal::VirtualSignal;
    void process() override
    {
        processed += 1;
        if (throws)
            throw std::runtime_error("table row 3 is short");
        addValue(1000 + processed, processed);
    }
    void finish() override { finished += 1; }
    bool dependsOn(const Glib::ustring&) override { return false; }
    int processed = 0;
    int finished = 0;
    bool throws = false;
};

class VirtualMessages : public testing::Test {
protected:
    // Messages and their signals point at each other: clearing breaks the cycles.
    ~VirtualMessages() override
    {
        std::vector<std::shared_ptr<Message>> parents;
        for (const auto& s : VirtualMessage::allSignals)
            parents.push_back(s->parent);
        for (const auto& m : parents)
            if (m)
                m->clear();
    }

    std::shared_ptr<ProbeSignal> probe(const std::shared_ptr<VirtualMessage>& msg, const char* name)
    {
        auto s = std::make_shared<ProbeSignal>(msg, name);
        msg->addSignal(s, name);
        return s;
    }

    // One user is enough to be computed; the user itself plays no part.
    static void use(const std::shared_ptr<Signal>& s) { s->addUser(nullptr); }

    test::TestHost host;
};

TEST_F(VirtualMessages, DynamicAndFixedIdentifiersNeverMeet)
{
    EXPECT_EQ(VirtualMessage::create("A", 1024)->id, 0u);
    EXPECT_EQ(VirtualMessage::create("B", 1024)->id, 1u);
    EXPECT_EQ(VirtualMessage::createWithId(3, "MsgRate", 1024)->id, 3u);
    auto c = VirtualMessage::create("C", 1024);
    EXPECT_EQ(c->id, 2u);
    while (!MessageLog::instance().empty())
        MessageLog::instance().pop();
    testing::internal::CaptureStderr();
    EXPECT_THROW(VirtualMessage::createWithId(3, "MsgRate", 1024), PrintMsgError);
    testing::internal::GetCapturedStderr();
    ASSERT_FALSE(MessageLog::instance().empty());
    const auto entry = MessageLog::instance().pop();
    EXPECT_EQ(entry.level, Level::Error);
    EXPECT_EQ(entry.text, "Mixing static and dynamic message ID:s");
    EXPECT_EQ(VirtualMessage::nextId, 3u);
    c->clear();
    EXPECT_EQ(VirtualMessage::createWithId(3, "MsgRate", 1024)->id, 3u);
}

TEST_F(VirtualMessages, FindTheirInterfaceInTheStore)
{
    auto virt = CanIface::create("Virt", 1024);
    host.ifaces[1024] = virt;
    EXPECT_EQ(VirtualMessage::create("Trip", 1024)->iface, virt);
    EXPECT_EQ(VirtualMessage::create("Nowhere", 7)->iface, nullptr);
}

TEST_F(VirtualMessages, EndOfLoadComputesUsedSignalsOncePerLoad)
{
    auto first = VirtualMessage::create("First", 1024);
    auto second = VirtualMessage::create("Second", 1024);
    auto used = probe(first, "Used");
    auto unused = probe(second, "Unused");
    auto late = probe(second, "Late");
    use(used);

    // Load 1: the first endOfLoad computes every virtual message's signals; the second
    // one computes nothing again.
    first->startThread();
    second->startThread();
    first->endOfLoad();
    second->endOfLoad();
    EXPECT_EQ(used->processed, 1);
    EXPECT_EQ(used->finished, 1); // not finished again by the message's own end of load
    EXPECT_TRUE(used->computed);
    EXPECT_TRUE(used->loaded);
    EXPECT_EQ(unused->processed, 0);
    EXPECT_EQ(late->processed, 0);

    // Load 2: a signal that gained a user is computed; one computed already is not.
    use(late);
    second->startThread();
    second->endOfLoad();
    first->endOfLoad();
    EXPECT_EQ(late->processed, 1);
    EXPECT_EQ(late->finished, 1);
    EXPECT_EQ(used->processed, 1);
    EXPECT_EQ(unused->processed, 0);
}

TEST_F(VirtualMessages, ProcessAllExtendsEverySeries)
{
    auto msg = VirtualMessage::create("Live", 1024);
    auto a = probe(msg, "A");
    auto b = probe(msg, "B");
    use(a);
    VirtualMessage::processAll();
    VirtualMessage::processAll();
    for (const auto& s : {a, b}) {
        EXPECT_EQ(s->processed, 2);
        EXPECT_EQ(s->finished, 0);
        EXPECT_EQ(s->samples.size(), 2u);
        EXPECT_FALSE(s->computed);
    }
}

TEST_F(VirtualMessages, ClearEmptiesTheListOfEveryMessage)
{
    auto one = VirtualMessage::create("One", 1024);
    auto two = VirtualMessage::create("Two", 1024);
    auto s = probe(one, "S");
    probe(two, "T");
    EXPECT_EQ(VirtualMessage::allSignals.size(), 2u);
    std::weak_ptr<Signal> gone = s;
    s.reset();
    two->clear();
    EXPECT_TRUE(VirtualMessage::allSignals.empty());
    EXPECT_EQ(VirtualMessage::nextId, 0u);
    EXPECT_TRUE(two->signals.empty());
    EXPECT_EQ(one->signals.size(), 1u); // the other message keeps its own signals
    one->clear();
    EXPECT_TRUE(gone.expired());
}

TEST_F(VirtualMessages, AFailingSignalIsReportedOnceAndTheOthersAreComputed)
{
    host.ifaces[1024] = CanIface::create("Virt", 1024);
    auto msg = VirtualMessage::create("Trip", 1024);
    auto before = probe(msg, "Before");
    auto bad = probe(msg, "Bad");
    auto after = probe(msg, "After");
    bad->throws = true;
    for (const auto& s : {before, bad, after})
        use(s);
    test::drainLog();

    testing::internal::CaptureStderr();
    msg->startThread();
    msg->endOfLoad();
    VirtualMessage::processAll();
    VirtualMessage::processAll();
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(test::drainLog(), (std::vector<std::string>{"Computing Virt.Trip.Bad failed: table row 3 is short"}));
    EXPECT_EQ(before->processed, 3);
    EXPECT_EQ(after->processed, 3);
    EXPECT_EQ(after->finished, 1);
    EXPECT_EQ(bad->processed, 3);
    EXPECT_TRUE(bad->computed); // not tried again in this load
}

} // namespace
} // namespace vistra
