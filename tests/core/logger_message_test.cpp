#include "core/can_iface.h"
#include "core/frame_record.h"
#include "core/logger_message.h"
#include "core/message_log.h"
#include "core/report.h"
#include "core/signal.h"
#include "test_helpers.h"
#include "core_samples.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace vistra {
namespace {

using test::T;

class LoggerMessageTest : public testing::Test {
protected:
    void SetUp() override { LoggerMessage::createGpsMessages(logger); }
    void TearDown() override { logger->clear(); }

    Message& message(u32 id) { return *logger->getMessage(static_cast<int>(id)); }

    // The last stored value of every GPS signal of the message that holds one.
    std::map<std::string, double> decode(u32 id, std::vector<u8> data)
    {
        FrameRecord frame;
        frame.idWord = id;
        frame.iface = 255;
        frame.absTime = T;
        frame.length = static_cast<u8>(data.size());
        for (std::size_t i = 0; i < data.size(); ++i)
            frame.data[i] = data[i];
        message(id).addFrame(frame);
        std::map<std::string, double> values;
        for (const auto& signal : message(id).signals)
            if (signal->name != "___rate___" && !signal->samples.empty())
                values[signal->name.raw()] = signal->samples.back().value;
        return values;
    }

    std::shared_ptr<CanIface> logger = CanIface::create("Logger", 255);
};

TEST_F(LoggerMessageTest, Catalogue)
{
    struct Expected {
        const char* fullName;
        const char* unit;
        int decimals;
        const char* comment;
    };
    const std::map<u32, std::vector<Expected>> expected = {
        {10,
         {{"Logger.GPS_POS.lat", "\u00B0", 7, "Latitude"},
          {"Logger.GPS_POS.N_S", "", 2, "Heading north (0) or south (1)"},
          {"Logger.GPS_POS.long", "\u00B0", 7, "Longitude"},
          {"Logger.GPS_POS.E_W", "", 2, "Heading east (0) or west (1)"}}},
        {11,
         {{"Logger.GPS_MOT.alt", "m", 2, "Height above sea level"},
          {"Logger.GPS_MOT.speed", "km/h", 2, "Ground speed"},
          {"Logger.GPS_MOT.bearing", "\u00B0", 2, "Travel direction"}}},
        {12,
         {{"Logger.GPS_STAT.hacc", "", 2, "Horizontal accuracy"},
          {"Logger.GPS_STAT.vacc", "", 2, "Vertical accuracy"},
          {"Logger.GPS_STAT.sats", "", 2, "Number of satellites used"},
          {"Logger.GPS_STAT.fix", "", 2, "Position fix obtained"}}},
    };
    ASSERT_EQ(logger->messages.size(), 3u);
    for (const auto& [id, signals] : expected) {
        Message& msg = message(id);
        SCOPED_TRACE(msg.name.raw());
        ASSERT_EQ(msg.signals.size(), signals.size() + 1);
        EXPECT_EQ(msg.signals[0]->name, "___rate___");
        EXPECT_TRUE(msg.signals[0]->internal);
        for (std::size_t i = 0; i < signals.size(); ++i) {
            const Signal& s = *msg.signals[i + 1];
            EXPECT_EQ(s.fullName, signals[i].fullName);
            EXPECT_EQ(s.unit, signals[i].unit);
            EXPECT_EQ(s.decimals, signals[i].decimals);
            EXPECT_EQ(s.comment, signals[i].comment);
            EXPECT_TRUE(s.valueTable.empty());
        }
    }
    // A second set collides with the first.
    testing::internal::CaptureStderr();
    EXPECT_THROW(LoggerMessage::createGpsMessages(logger), PrintMsgError);
    testing::internal::GetCapturedStderr();
    test::drainLog();
}

TEST_F(LoggerMessageTest, DecodesTheReports)
{
    // 521234567 = 0x1F116887; 131234567 = 0x07D27B07; -521234567 in 31 bits = 0x60EE9779.
    const double lat = 52 + 1234567 / 6000000.0;
    const double lon = 13 + 1234567 / 6000000.0;
    struct Case {
        const char* what;
        u32 id;
        std::vector<u8> data;
        std::map<std::string, double> values;
    };
    const Case cases[] = {
        {"north, east", 10, {0x87, 0x68, 0x11, 0x1F, 0x07, 0x7B, 0xD2, 0x07},
         {{"lat", lat}, {"N_S", 0}, {"long", lon}, {"E_W", 0}}},
        {"south, west: the flags leave the values alone", 10, {0x87, 0x68, 0x11, 0x9F, 0x07, 0x7B, 0xD2, 0x87},
         {{"lat", lat}, {"N_S", 1}, {"long", lon}, {"E_W", 1}}},
        {"bit 30 makes the coordinate negative", 10, {0x79, 0x97, 0xEE, 0x60, 0, 0, 0, 0},
         {{"lat", -lat}, {"N_S", 0}, {"long", 0}, {"E_W", 0}}},
        {"motion", 11, {0x39, 0x30, 0, 0, 0xD2, 0x04, 0x0F, 0x0E},
         {{"alt", 1234.5}, {"speed", 12.34}, {"bearing", 359.9}}},
        {"status: only bit 0 of byte 5 is the fix", 12, {0x02, 0x01, 0x04, 0x03, 9, 0x03, 0xFF, 0xFF},
         {{"hacc", 258}, {"vacc", 772}, {"sats", 9}, {"fix", 1}}},
        {"a short position frame keeps to its bytes", 10, {0x87, 0x68, 0x11, 0x1F},
         {{"lat", lat}, {"N_S", 0}}},
        {"a short motion frame keeps to its bytes", 11, {0x39, 0x30, 0, 0, 0xD2},
         {{"alt", 1234.5}}},
        {"an empty status frame stores nothing", 12, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        logger->clear();
        logger = CanIface::create("Logger", 255);
        LoggerMessage::createGpsMessages(logger);
        const auto values = decode(c.id, c.data);
        ASSERT_EQ(values.size(), c.values.size());
        for (const auto& [name, v] : c.values)
            EXPECT_NEAR(values.at(name), v, 1e-9) << name;
    }
}

TEST_F(LoggerMessageTest, RateSignalFilledOnlyWhenNeeded)
{
    Signal& rate = *message(11).signals[0];
    decode(11, {0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_TRUE(rate.samples.empty());
    rate.addUser(nullptr);
    decode(11, {0, 0, 0, 0, 0, 0, 0, 0});
    decode(11, {1, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(rate.samples.size(), 2u); // one toggle per frame
}

} // namespace
} // namespace vistra
