#include "core/can_iface.h"

#include "core/message.h"
#include "core/report.h"
#include "core/signal.h"
#include "test_helpers.h"

#include <gtest/gtest.h>

namespace vistra {
namespace {

constexpr u32 kStandard = 0x123;
constexpr u32 kExtended = 0x80000123; // same identifier bits, extended flag set

struct CanIfaceTest : testing::Test {
    test::StoreHostReset resetHost;
    std::shared_ptr<CanIface> iface = CanIface::create("CAN0", 0);

    std::shared_ptr<Message> addMessage(u32 id, const char* name)
    {
        auto msg = std::make_shared<Message>(id, name, iface);
        iface->addMessage(msg);
        return msg;
    }

    ~CanIfaceTest() override { iface->clear(); }
};

TEST_F(CanIfaceTest, IdentifierWordIsTheWholeKey)
{
    auto standard = addMessage(kStandard, "Standard");
    auto extended = addMessage(kExtended, "Extended");
    EXPECT_EQ(iface->getMessage(int(kStandard)), standard);
    EXPECT_EQ(iface->getMessage(int(kExtended)), extended);
    EXPECT_EQ(iface->getMessage(0x124), nullptr);

    test::drainLog();
    auto duplicate = std::make_shared<Message>(kExtended, "Again", iface);
    EXPECT_THROW(iface->addMessage(duplicate), PrintMsgError);
    const auto log = test::drainLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0], "Couldn't insert message 'Again' into interface 'CAN0', message with ID '2147483939' "
                      "already exists");
    EXPECT_EQ(iface->getMessage(int(kExtended)), extended) << "the first message stays";
    EXPECT_EQ(iface->messages.size(), 2u);
    duplicate->clear();
}

TEST_F(CanIfaceTest, GetMessageByName)
{
    auto higher = addMessage(0x200, "Same");
    auto lower = addMessage(0x100, "Same");
    EXPECT_EQ(iface->getMessageByName("Same"), lower);
    try {
        iface->getMessageByName("Missing");
        FAIL() << "no exception";
    } catch (const SignalNotFoundException& e) {
        EXPECT_EQ(e.message, "Can't find message with name Missing");
    }
}

TEST_F(CanIfaceTest, CollectUsedMessages)
{
    auto idle = addMessage(0x100, "Idle");
    auto used = addMessage(kExtended, "Used");
    idle->addSignal("A", std::make_shared<Signal>(idle, "A"));
    auto sig = std::make_shared<Signal>(used, "B");
    used->addSignal("B", sig);

    iface->updateSignalCounts();
    EXPECT_FALSE(iface->collectUsedMessages());
    EXPECT_TRUE(iface->usedMessages.empty());

    storeHost().liveDecode = true;
    EXPECT_TRUE(iface->collectUsedMessages());
    EXPECT_EQ(iface->usedMessage(0x100), idle.get());
    EXPECT_EQ(iface->usedMessage(int(kExtended)), used.get());

    storeHost().liveDecode = false;
    sig->setEnabled(true);
    iface->updateSignalCounts();
    EXPECT_TRUE(iface->collectUsedMessages());
    EXPECT_EQ(iface->usedMessage(0x100), nullptr) << "the index is rebuilt, not added to";
    EXPECT_EQ(iface->usedMessage(int(kExtended)), used.get());
    EXPECT_EQ(iface->usedMessage(int(kStandard)), nullptr);

    sig->loaded = true; // loaded already: nothing left to decode
    iface->updateSignalCounts();
    EXPECT_FALSE(iface->collectUsedMessages());
}

} // namespace
} // namespace vistra
