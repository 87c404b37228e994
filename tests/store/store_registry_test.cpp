#include "core/bit_rate.h"
#include "core/can_iface.h"
#include "core/error_message.h"
#include "core/message.h"
#include "core/real_message.h"
#include "core/report.h"
#include "store/store.h"
#include "tests/store/dbc_fixture.h"
#include "virtual/virtual_message.h"

#include <gtest/gtest.h>

namespace vistra {
namespace {

using test::DbcFixture;
using Names = std::vector<std::string>;

class Registry : public DbcFixture {
protected:
    Names signalNames(const std::shared_ptr<Message>& msg)
    {
        Names names;
        for (const auto& s : msg->signals)
            names.push_back(s->name.raw());
        return names;
    }
    Names messageNames(u32 iface)
    {
        Names names;
        for (const auto& [id, m] : store.getIface(iface)->messages)
            names.push_back(m->name.raw());
        return names;
    }
};

const char* const kRates = "BO_ 1 A: 8 X\n"
                           " SG_ Speed : 0|8@1+ (1,0) [0|0] \"\" X\n"
                           "BO_ 2 M: 8 X\n"
                           " SG_ Sw M : 0|8@1+ (1,0) [0|0] \"\" X\n"
                           " SG_ S0 m0 : 8|8@1+ (1,0) [0|0] \"\" X\n"
                           " SG_ S0b m0 : 16|8@1+ (1,0) [0|0] \"\" X\n"
                           " SG_ S1 m1 : 8|8@1+ (1,0) [0|0] \"\" X\n"
                           "BO_ 3 Empty: 0 X\n";

TEST_F(Registry, StatisticsInterfaceOfADbcLoad)
{
    ASSERT_TRUE(load(kRates));
    store.createBuiltinSignals();
    EXPECT_EQ(logTexts(), Names{});
    auto st = store.getIface(0x10000);
    ASSERT_TRUE(st);
    EXPECT_EQ(st->name, "ST_Can");
    EXPECT_EQ(store.maxStatIface, 0x10000u);
    EXPECT_EQ(messageNames(0x10000), (Names{"Error", "BusLoad", "MsgRate"}));
    EXPECT_TRUE(std::dynamic_pointer_cast<ErrorMessage>(st->getMessage(1)));

    auto rates = std::dynamic_pointer_cast<VirtualMessage>(st->getMessage(3));
    ASSERT_TRUE(rates);
    // Per message with signals; a multiplexed one per multiplexor value and once whole.
    EXPECT_EQ(signalNames(rates), (Names{"A", "M (m0)", "M (m1)", "M"}));
    EXPECT_EQ(VirtualMessage::allSignals.size(), 4u);
    EXPECT_EQ(store.getMessage(1, 0)->msgRate, rates->getSignal("A"));
    EXPECT_EQ(store.getMessage(2, 0)->msgRate, rates->getSignal("M"));
    EXPECT_FALSE(store.getMessage(3, 0)->msgRate);
    for (const char* name : {"A", "M (m0)", "M"})
        EXPECT_EQ(rates->getSignal(name)->unit, "msg/s") << name;

    auto bus = st->getMessage(2);
    ASSERT_EQ(bus->signals.size(), 1u);
    ASSERT_EQ(store.bitRates.size(), 1u);
    EXPECT_EQ(store.bitRates[0], bus->signals[0].get());
}

TEST_F(Registry, LoggerStatisticsHaveNoBusLoad)
{
    store.addLoggerIface();
    EXPECT_EQ(messageNames(255), (Names{"GPS_POS", "GPS_MOT", "GPS_STAT"}));
    store.createBuiltinSignals();
    EXPECT_EQ(store.getIface(0x100FF)->name, "ST_Logger");
    EXPECT_EQ(messageNames(0x100FF), (Names{"Error", "MsgRate"}));
    EXPECT_EQ(signalNames(store.getIface(0x100FF)->getMessage(3)), (Names{"GPS_POS", "GPS_MOT", "GPS_STAT"}));
    EXPECT_EQ(signalNames(store.getIface(0x100FF)->getMessage(1)), Names{"CountMsgDrop"});
    EXPECT_EQ(store.bitRateOf(255), nullptr);
}

TEST_F(Registry, BusLoadEntriesBeyondTheHighestDeclaredInterface)
{
    // The highest declared interface is 0, yet interfaces 0 and 9 both get a bus load.
    store.addIface("Can", 0);
    store.addIface("Far", 9);
    store.addLoggerIface();
    store.createBuiltinSignals();
    ASSERT_GE(store.bitRates.size(), 10u);
    EXPECT_EQ(store.bitRateOf(0), store.getIface(0x10000)->getMessage(2)->signals.at(0).get());
    EXPECT_EQ(store.bitRateOf(9), store.getIface(0x10009)->getMessage(2)->signals.at(0).get());
    EXPECT_EQ(store.bitRateOf(5), nullptr);
    EXPECT_EQ(store.bitRateOf(255), nullptr);
    EXPECT_EQ(store.maxStatIface, 0x100FFu);
    EXPECT_FALSE(store.getIface(0x20000)); // statistics interfaces get none of their own
}

TEST_F(Registry, RefusedInterfaces)
{
    struct Case {
        const char* what;
        std::function<void()> act;
        std::string report;
    };
    const Case cases[] = {
        {"same name", [&] { store.addIface("Can", 0), store.addIface("Can", 1); },
         "Interface name 'Can' already used. Duplicates not allowed."},
        {"same number", [&] { store.addIface("Can", 0), store.addIface("Other", 0); },
         "Could not insert Can interface (nbr), Other (0)"},
        {"declared as Logger", [&] { store.addIface("Logger", 0), store.addLoggerIface(); },
         "Interface name 'Logger' already used. Duplicates not allowed."},
        {"dynamic identifiers at 3", [&] {
             store.addIface("Can", 0);
             auto virt = store.addIface("Virt", 1024);
             for (const char* name : {"V0", "V1", "V2"})
                 virt->addMessage(VirtualMessage::create(name, 1024));
             store.createBuiltinSignals();
         },
         "Mixing static and dynamic message ID:s"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        testing::internal::CaptureStderr();
        EXPECT_THROW(c.act(), PrintMsgError);
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(logTexts(), Names{"ERR " + c.report});
        store.clearData();
    }
}

TEST_F(Registry, UsedInterfacesAreThoseWithSomethingToDecode)
{
    ASSERT_TRUE(load(kRates));
    store.loadDbc(write("BO_ 5 B: 8 X\n SG_ T : 0|8@1+ (1,0) [0|0] \"\" X\n", "b.dbc"), 1, "Other");
    store.getMessage(1, 0)->getSignal("Speed")->addUser(nullptr);
    store.refreshPlotSignals();
    store.collectUsedIfaces();
    ASSERT_EQ(store.usedIfaces.size(), 1u);
    EXPECT_EQ(store.usedIface(0), store.getIface(0).get());
    EXPECT_EQ(store.usedIface(1), nullptr);
}

TEST_F(Registry, ClearingReleasesTheStatisticsModel)
{
    ASSERT_TRUE(load(kRates));
    store.createBuiltinSignals();
    std::weak_ptr<Signal> rate = store.getMessage(2, 0)->msgRate;
    std::weak_ptr<Message> msg = store.getMessage(2, 0);
    std::weak_ptr<Message> bus = store.getIface(0x10000)->getMessage(2);
    store.clearData();
    EXPECT_TRUE(rate.expired());
    EXPECT_TRUE(msg.expired());
    EXPECT_TRUE(bus.expired());
    EXPECT_TRUE(store.bitRates.empty());
}

} // namespace
} // namespace vistra
