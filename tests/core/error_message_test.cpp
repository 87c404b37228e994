#include "core/can_iface.h"
#include "core/error_message.h"
#include "core/error_signal.h"
#include "core/store_host.h"
#include "core_samples.h"

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace vistra {
namespace {

using test::Points;
using test::stored;
using test::T;

FrameRecord errorFrame(u32 classBits, u8 length, std::initializer_list<u8> data, u64 t = T, u8 iface = 0)
{
    FrameRecord f;
    f.idWord = kErrorFrameFlag | classBits;
    f.length = length;
    u8 i = 0;
    for (u8 b : data)
        f.data[i++] = b;
    f.iface = iface;
    f.absTime = t;
    return f;
}

FrameRecord loggerReport(u32 idWord, u8 length, u8 b4, u8 b5, u8 b6, u8 b7, u64 t = T)
{
    FrameRecord f = errorFrame(0, length, {0, 0, 0, 0, b4, b5, b6, b7}, t, 255);
    f.idWord = idWord;
    return f;
}

class ErrorMessageTest : public testing::Test {
protected:
    void TearDown() override
    {
        for (auto& msg : made)
            msg->clear();
        storeHost().liveDecode = false;
        storeHost().keepErrorFrames = false;
    }
    std::shared_ptr<ErrorMessage> make(bool loggerVariant, bool enableAll = true)
    {
        auto iface = CanIface::create(loggerVariant ? "ST_Logger" : "ST_Can", loggerVariant ? 0x100FF : 0x10000);
        auto msg = ErrorMessage::create("Error", iface, loggerVariant);
        made.push_back(msg);
        if (enableAll)
            msg->setAllEnabled(true);
        return msg;
    }
    std::vector<std::shared_ptr<ErrorMessage>> made;
};

TEST_F(ErrorMessageTest, BusCatalogue)
{
    struct Entry {
        const char* name;
        const char* comment;
        std::map<int, Glib::ustring> table;
    };
    const std::vector<Entry> expected = {
        {"LostArbPos", "Which bit arbitration was lost at", {{0, "Unspec"}}},
        {"CountLostArb", "Count of how many times arbitration was lost", {}},
        {"DescriptionCtrlErr", "Description of what caused last controller error",
         {{0, "Unspec"}, {1, "RXOvf"}, {2, "TXOvf"}, {4, "RXWarn"}, {8, "TXWarn"}, {16, "RXPassive"},
          {32, "TXPassive"}, {64, "ErrActive"}}},
        {"CountCtrlErr", "Count of errors caused by controller problems", {}},
        {"DescriptionProtErr", "Description of what caused last protocol error",
         {{0, "Unspec"}, {1, "BitErr"}, {2, "FrameFormat"}, {4, "BitStuffErr"}, {8, "BitDomErr"},
          {16, "BitRecErr"}, {32, "Overload"}, {64, "ActiveErr"}, {128, "TXErr"}}},
        {"CountProtErr", "Count of errors caused by CAN protocol violations", {}},
        {"DescriptionTrxErr", "Description of what caused last transceiver error",
         {{0, "Unspec"}, {4, "No CANH wire"}, {5, "CANH short bat"}, {6, "CANH short VCC"},
          {7, "CANH short GND"}, {64, "No CANL wire"}, {80, "CANL short bat"}, {96, "CANL short VCC"},
          {112, "CANL short GND"}, {128, "CANL short CANH"}}},
        {"CountTrxErr", "Count of status errors from CAN transceiver", {}},
        {"CountAckErr", "Count of errors caused by no ACK being received on transmission", {}},
        {"CountBusOff", "How many times the CAN controller has entered the 'bus off' state", {}},
        {"CountBusErr", "Count of errors on the bus", {}},
        {"CountCtrlRestart", "How many times the CAN controller has restarted", {}},
    };
    auto msg = make(false, false);
    EXPECT_EQ(msg->id, 1u);
    EXPECT_EQ(msg->comment, "Bus errors reported by the CAN controller");
    ASSERT_EQ(msg->signals.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const Signal& s = *msg->signals[i];
        EXPECT_EQ(s.name, expected[i].name);
        EXPECT_EQ(s.comment, expected[i].comment) << s.name;
        EXPECT_EQ(s.valueTable, expected[i].table) << s.name;
        EXPECT_EQ(s.unit, "") << s.name;
    }
    EXPECT_EQ(msg->signals[3]->fullName, "ST_Can.Error.CountCtrlErr");

    // Each counter reference names its signal, and each described counter is followed
    // by the description added just before it.
    const std::pair<std::shared_ptr<ErrorSignal>, std::size_t> counters[] = {
        {msg->lostArb, 1}, {msg->ctrlErr, 3}, {msg->protErr, 5}, {msg->trxErr, 7},
        {msg->ackErr, 8},  {msg->busOff, 9},  {msg->busErr, 10}, {msg->ctrlRestart, 11},
    };
    for (const auto& [counter, index] : counters) {
        EXPECT_EQ(counter, msg->signals[index]) << index;
        EXPECT_EQ(counter->companion, index < 8 ? msg->signals[index - 1] : nullptr) << index;
    }
    EXPECT_EQ(msg->msgDrop, nullptr);
}

TEST_F(ErrorMessageTest, LoggerCatalogue)
{
    auto msg = make(true, false);
    EXPECT_EQ(msg->comment, "Errors reported by the logger");
    ASSERT_EQ(msg->signals.size(), 1u);
    EXPECT_EQ(msg->signals[0], msg->msgDrop);
    EXPECT_EQ(msg->msgDrop->name, "CountMsgDrop");
    EXPECT_EQ(msg->msgDrop->comment, "Count of dropped messages due to logger being overloaded");
    EXPECT_EQ(msg->msgDrop->companion, nullptr);
    EXPECT_EQ(msg->ctrlErr, nullptr);
    EXPECT_EQ(msg->lostArb, nullptr);
}

TEST_F(ErrorMessageTest, ErrorFramesFeedCountersAndDescriptions)
{
    struct Case {
        const char* name;
        FrameRecord frame;
        std::map<std::string, double> expected; // every other signal stays empty
    };
    const std::vector<Case> cases = {
        {"controller and protocol", errorFrame(0x00C, 8, {0x00, 0x04, 0x02}),
         {{"CountCtrlErr", 1}, {"DescriptionCtrlErr", 4}, {"CountProtErr", 1}, {"DescriptionProtErr", 2}}},
        {"time-out bit wins", errorFrame(0x003, 8, {0x05}), {}},
        {"lost arbitration, no data", errorFrame(0x002, 0, {0x05}), {{"CountLostArb", 1}, {"LostArbPos", 0}}},
        {"lost arbitration", errorFrame(0x002, 1, {0x05}), {{"CountLostArb", 1}, {"LostArbPos", 5}}},
        {"transceiver byte 4", errorFrame(0x010, 5, {0, 0, 0, 0xFF, 0x45}),
         {{"CountTrxErr", 1}, {"DescriptionTrxErr", 0x45}}},
        {"transceiver byte beyond the length", errorFrame(0x010, 4, {0, 0, 0, 0, 0x45}),
         {{"CountTrxErr", 1}, {"DescriptionTrxErr", 0}}},
        {"length above 8 reads 8 bytes", errorFrame(0x018, 15, {0, 0, 0x10, 0, 0x07}),
         {{"CountProtErr", 1}, {"DescriptionProtErr", 0x10}, {"CountTrxErr", 1}, {"DescriptionTrxErr", 7}}},
        {"classes without detail", errorFrame(0x1E0, 8, {1, 2, 3, 4, 5, 6, 7, 8}),
         {{"CountAckErr", 1}, {"CountBusOff", 1}, {"CountBusErr", 1}, {"CountCtrlRestart", 1}}},
        {"a logger report on a bus interface is not a bus error",
         loggerReport(0x20000101, 8, 0x0A, 0, 0, 0), {}},
    };
    for (const Case& c : cases) {
        auto msg = make(false);
        msg->addFrame(c.frame);
        for (const auto& s : msg->signals) {
            auto it = c.expected.find(s->name.raw());
            if (it == c.expected.end()) {
                EXPECT_TRUE(s->samples.empty()) << c.name << ": " << s->name;
            } else {
                EXPECT_EQ(stored(*s), (Points{{T, it->second}})) << c.name << ": " << s->name;
            }
        }
    }
}

TEST_F(ErrorMessageTest, FormatValue)
{
    struct Case {
        const char* signal;
        double value;
        const char* text;
    };
    const Case cases[] = {
        {"DescriptionCtrlErr", 0x14, "RXWarn, RXPassive (20)"},
        {"DescriptionCtrlErr", 0, "Unspec (0)"},
        {"DescriptionCtrlErr", 4, "RXWarn (4)"},
        {"DescriptionProtErr", 2, "FrameFormat (2)"},
        {"DescriptionProtErr", 0x81, "BitErr, TXErr (129)"},
        {"LostArbPos", 5, " (5)"},
        // The transceiver byte holds one code per half byte.
        {"DescriptionTrxErr", 5, "CANH short bat (5)"},
        {"DescriptionTrxErr", 7, "CANH short GND (7)"},
        {"DescriptionTrxErr", 0x50, "CANL short bat (80)"},
        {"DescriptionTrxErr", 0x70, "CANL short GND (112)"},
        {"DescriptionTrxErr", 0x80, "CANL short CANH (128)"},
        {"DescriptionTrxErr", 0x45, "CANH short bat, No CANL wire (69)"},
        {"DescriptionTrxErr", 0x01, " (1)"},
        {"CountCtrlErr", 3, "3.00"},
        {"DescriptionCtrlErr", NAN, "nan"},
        {"DescriptionCtrlErr", 1e12, "1000000000000.00"},
    };
    auto msg = make(false, false);
    for (const Case& c : cases) {
        char buf[128];
        msg->getSignal(c.signal)->formatValue(buf, sizeof buf, c.value);
        EXPECT_STREQ(buf, c.text) << c.signal << " " << c.value;
    }
}

TEST_F(ErrorMessageTest, HoldPointAfterLongPause)
{
    struct Case {
        const char* name;
        std::vector<u64> times;
        Points counter;
    };
    const Case cases[] = {
        {"30 s apart", {T, T + 30000}, {{T, 1}, {T + 5000, 1}, {T + 30000, 2}}},
        // Without a hold point the signal base closes the first run with a keep-alive point.
        {"10000 ms is no pause", {T, T + 10000}, {{T, 1}, {T, 1}, {T + 10000, 2}}},
        {"10001 ms is", {T, T + 10001}, {{T, 1}, {T + 5000, 1}, {T + 10001, 2}}},
        // No hold point after the later event: it would lie after the earlier one.
        {"backward", {T + 30000, T}, {{T + 30000, 1}, {T + 30000, 1}, {T, 2}}},
    };
    for (const Case& c : cases) {
        auto msg = make(false);
        for (std::size_t i = 0; i < c.times.size(); ++i)
            msg->addFrame(errorFrame(0x004, 2, {0, u8(i == 0 ? 4 : 2)}, c.times[i]));
        EXPECT_EQ(stored(*msg->ctrlErr), c.counter) << c.name;
        // The description follows at the same times with the value of each event.
        Points description = c.counter;
        for (auto& [t, v] : description)
            v = v == 1 ? 4 : 2;
        EXPECT_EQ(stored(*msg->ctrlErr->companion), description) << c.name;
    }
}

TEST_F(ErrorMessageTest, LoggerOverloadReports)
{
    struct Case {
        const char* name;
        std::vector<FrameRecord> frames;
        Points expected;
    };
    const Case cases[] = {
        {"count in bytes 4-7", {loggerReport(0x20000101, 8, 0x0A, 0, 0, 0)}, {{T, 10}}},
        {"little-endian", {loggerReport(0x20000100, 8, 0x01, 0x02, 0x03, 0x04)}, {{T, 0x04030201}}},
        {"last report code", {loggerReport(0x20000102, 8, 0x00, 0x01, 0, 0)}, {{T, 256}}},
        {"negative count is one more event",
         {loggerReport(0x20000101, 8, 0x0A, 0, 0, 0), loggerReport(0x20000101, 8, 0xFF, 0xFF, 0xFF, 0xFF, T + 100)},
         {{T, 10}, {T + 100, 11}}},
        {"length 7", {loggerReport(0x20000101, 7, 0x0A, 0, 0, 0)}, {}},
        {"other code", {loggerReport(0x20000103, 8, 0x0A, 0, 0, 0)}, {}},
        {"no error flag", {loggerReport(0x00000101, 8, 0x0A, 0, 0, 0)}, {}},
        {"a bus error frame is no report", {errorFrame(0x004, 8, {0, 4})}, {}},
    };
    for (const Case& c : cases) {
        auto msg = make(true);
        for (const FrameRecord& f : c.frames)
            msg->addFrame(f);
        EXPECT_EQ(stored(*msg->msgDrop), c.expected) << c.name;
    }
}

TEST_F(ErrorMessageTest, OnlyWantedCountersAreFed)
{
    const FrameRecord frame = errorFrame(0x00C, 8, {0, 4, 2});

    // Nothing in use: nothing is decoded, and the parsers need not keep error frames.
    auto idle = make(false, false);
    idle->updateSignalCounts();
    EXPECT_FALSE(idle->startThread());
    EXPECT_FALSE(storeHost().keepErrorFrames);
    idle->addFrame(frame);
    for (const auto& s : idle->signals)
        EXPECT_TRUE(s->samples.empty()) << s->name;

    // A description in use is filled even while its counter is not.
    auto described = make(false, false);
    described->getSignal("DescriptionCtrlErr")->setEnabled(true);
    described->updateSignalCounts();
    EXPECT_TRUE(described->startThread());
    EXPECT_TRUE(storeHost().keepErrorFrames);
    described->addFrame(frame);
    EXPECT_EQ(stored(*described->getSignal("DescriptionCtrlErr")), (Points{{T, 4}}));
    EXPECT_TRUE(described->protErr->samples.empty());

    // Live data feed every counter, used or not.
    storeHost().liveDecode = true;
    auto live = make(false, false);
    live->addFrame(frame);
    EXPECT_FALSE(live->ctrlErr->samples.empty());
    EXPECT_FALSE(live->protErr->samples.empty());
}

TEST_F(ErrorMessageTest, ClearDropsCounterReferences)
{
    auto msg = make(false);
    std::weak_ptr<Signal> description = msg->ctrlErr->companion;
    msg->clear();
    EXPECT_EQ(msg->ctrlErr, nullptr);
    EXPECT_EQ(msg->ctrlRestart, nullptr);
    EXPECT_TRUE(msg->signals.empty());
    EXPECT_TRUE(description.expired());
}

} // namespace
} // namespace vistra
