#include "views/ruler_label.h"

#include "core/message.h"
#include "core/signal.h"

#include <gtest/gtest.h>

#include <optional>

namespace vistra {
namespace {

// Samples at 1000 (1.5) and 2000 (4.0), and a signal that received nothing, as one that
// got no frame of a live stream yet.
TEST(RulerLabel, ShowsNoValueWhereTheSignalHasNoSampleAtOrBeforeTheRuler)
{
    auto msg = std::make_shared<Message>(0x10, "Pos", nullptr);
    auto speed = std::make_shared<Signal>(msg, "speed");
    speed->fullName = "CAN0.Pos.speed";
    speed->unit = "km/h";
    speed->samples = {{1000, 1.5}, {2000, 4.0}};
    auto lat = std::make_shared<Signal>(msg, "lat");
    lat->fullName = "Logger.GPS_POS.lat";
    lat->unit = "\u00b0";
    lat->decimals = 7;

    struct Case {
        Signal& signal;
        u64 at;
        std::optional<u64> deltaFrom;
        const char* want;
    };
    const Case cases[] = {
        {*speed, 1000, {}, "1.50 CAN0.Pos.speed (km/h)"},   // at a sample
        {*speed, 1999, {}, "1.50 CAN0.Pos.speed (km/h)"},   // the last one before
        {*speed, 999, {}, "CAN0.Pos.speed (km/h)"},         // before the first sample
        {*lat, 1500, {}, "Logger.GPS_POS.lat (\u00b0)"},    // no sample at all
        {*speed, 2000, 1000, "\u03942.50 CAN0.Pos.speed (km/h)"},
        {*speed, 2000, 500, "CAN0.Pos.speed (km/h)"},       // the main ruler before the first sample
        {*speed, 500, 2000, "CAN0.Pos.speed (km/h)"},
        {*lat, 2000, 1000, "Logger.GPS_POS.lat (\u00b0)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.at);
        EXPECT_EQ(rulerValueText(c.signal, c.at, c.deltaFrom), c.want);
    }
    EXPECT_EQ(speed->valueAt(999), 0.0); // other readers keep their zero
}

} // namespace
} // namespace vistra
