#include "virtual/gps_track.h"

#include "core/constants.h"
#include "virtual/gps_position.h"

#include "gps_inputs.h"
#include "test_host.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

namespace vistra {
namespace {

using test::GpsInputs;
using test::T0;

class GpsTrackTest : public testing::Test {
protected:
    std::shared_ptr<GPSTrack> makeTrack() { return std::make_shared<GPSTrack>(host.virtualMessage(), "GPSTrack"); }

    test::TestHost host;
};

TEST_F(GpsTrackTest, PointsOnThePlaneOfTheFirstFix)
{
    GpsInputs gps(host, "Logger", kLoggerIface);
    auto track = makeTrack();
    // No fix: neither a point nor the origin.
    track->addTrackPoint(T0, 0.0, 18.1, 10.0, 5.0);
    track->addTrackPoint(T0 + 1000, 59.3, 0.0, 10.0, 5.0);
    EXPECT_TRUE(track->copy().track.empty());

    track->addTrackPoint(T0 + 2000, 59.3, 18.1, 10.0, 5.0); // the origin
    track->addTrackPoint(T0 + 3000, 59.4, 18.1, 11.0, 6.0); // north of it
    track->addTrackPoint(T0 + 4000, 59.3, 18.2, 12.0, 7.0); // east of it
    const TrackCopy copy = track->copy();
    ASSERT_EQ(copy.track.size(), 3u);
    const TrackPoint& origin = copy.track[0];
    EXPECT_EQ(origin.time, T0 + 2000);
    EXPECT_EQ(origin.x, 0.0);
    EXPECT_EQ(origin.y, 0.0);
    const TrackPoint& north = copy.track[1];
    EXPECT_NEAR(north.y, -0.1 * 60.00721, 1e-9);
    EXPECT_NEAR(north.x, 0.0, 1e-12);
    EXPECT_EQ(north.altitude, 11.0);
    EXPECT_EQ(north.speed, 6.0);
    const TrackPoint& east = copy.track[2];
    EXPECT_NEAR(east.y, 0.0, 1e-12);
    EXPECT_NEAR(east.x, 0.1 * 30.053965 * 2 * std::cos(59.3 * M_PI / 180), 1e-9);
    EXPECT_EQ(east.latitude, 59.3);
    EXPECT_EQ(east.longitude, 18.2);

    EXPECT_EQ(copy.lastPointTime, T0 + 4000);
    EXPECT_EQ(copy.bounds.maxX, east.x);
    EXPECT_EQ(copy.bounds.minX, 0.0);
    EXPECT_EQ(copy.bounds.maxY, 0.0);
    EXPECT_EQ(copy.bounds.minY, north.y);
}

TEST_F(GpsTrackTest, StepsThroughTheLoggerSignals)
{
    GpsInputs gps(host, "Logger", kLoggerIface);
    auto track = makeTrack();
    ASSERT_EQ(track->inputs.size(), 7u);
    EXPECT_EQ(track->inputs[5].source, gps.bearing);
    EXPECT_EQ(track->step, 1000u);
    EXPECT_TRUE(track->hidden);
    EXPECT_TRUE(track->noPlot);

    gps.fix(T0, 0.0, 0, 18.1, 0);                    // no fix yet
    gps.fix(T0 + 1000, 59.3, 1, 18.1, 0, 25.5, 36);  // south
    gps.fix(T0 + 2000, 59.3, 0, 18.1, 1, 26.0, 40);  // west
    gps.fix(T0 + 2500, 59.3, 0, 18.1, 1, 26.0, 40);  // between steps: no change
    gps.fix(T0 + 3000, 59.3, 0.5, 18.1, 0, 26.5, 0); // only exactly 1.0 is south
    gps.fix(T0 + 4000, 59.3, 0.5, 18.1, 0, 26.5, 0);
    gps.finish();
    track->process();

    const TrackCopy copy = track->copy();
    ASSERT_EQ(copy.track.size(), 3u);
    const struct {
        u64 time;
        double lat, lon, alt, speed;
    } expected[] = {
        {T0 + 1000, -59.3, 18.1, 25.5, 36},
        {T0 + 2000, 59.3, -18.1, 26.0, 40},
        {T0 + 3000, 59.3, 18.1, 26.5, 0},
    };
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(copy.track[i].time, expected[i].time) << i;
        EXPECT_EQ(copy.track[i].latitude, expected[i].lat) << i;
        EXPECT_EQ(copy.track[i].longitude, expected[i].lon) << i;
        EXPECT_EQ(copy.track[i].altitude, expected[i].alt) << i;
        EXPECT_EQ(copy.track[i].speed, expected[i].speed) << i;
    }
    // The southern fix is the origin.
    EXPECT_EQ(copy.track[0].y, 0.0);
    EXPECT_DOUBLE_EQ(copy.track[1].y, -59.3 * 2 * 60.00721);
    EXPECT_TRUE(track->hasData);
    EXPECT_TRUE(track->samples.empty());
}

TEST_F(GpsTrackTest, LegacyDegreesAndMinutes)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double raw;
        std::optional<double> degrees;
    } cases[] = {
        {593012345, 59 + 3012345 * 1.6666666666666668e-7}, // 59.50205750
        {-593012345, -(59 + 3012345 * 1.6666666666666668e-7)},
        {593012345.5, 59 + 3012345.5 * 1.6666666666666668e-7}, // only the degrees are truncated
        {2147483647, 214 + 7483647 * 1.6666666666666668e-7},
        {-2147483648.0, -(214 + 7483648 * 1.6666666666666668e-7)},
        {2147483648.0, std::nullopt},
        {-2147483649.0, std::nullopt},
        {1e300, std::nullopt},
        {nan, std::nullopt},
        {inf, std::nullopt},
    };
    for (const auto& c : cases) {
        const std::optional<double> got = legacyDegrees(c.raw);
        ASSERT_EQ(got.has_value(), c.degrees.has_value()) << c.raw;
        if (got) {
            EXPECT_DOUBLE_EQ(*got, *c.degrees) << c.raw;
        }
    }
    EXPECT_NEAR(*legacyDegrees(593012345), 59.50205750, 1e-8);
}

TEST_F(GpsTrackTest, LegacyCodingReadsInterfaceZero)
{
    host.legacyGps = true;
    try {
        makeTrack();
        ADD_FAILURE() << "built without interface 0";
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "Can't find interface with id 0");
    }

    GpsInputs gps(host, "Gps", 0);
    auto track = makeTrack();
    EXPECT_EQ(track->inputs[0].source, gps.lat);
    gps.fix(T0, 593012345, 1, 180301234, 0);
    gps.fix(T0 + 1000, 3e9, 0, 180301234, 0); // out of the 32-bit range: skipped
    gps.fix(T0 + 2000, 593012345, 0, 180301234, 1);
    gps.fix(T0 + 3000, 593012345, 0, 180301234, 1);
    gps.finish();
    track->process();

    const TrackCopy copy = track->copy();
    ASSERT_EQ(copy.track.size(), 2u);
    EXPECT_NEAR(copy.track[0].latitude, -59.50205750, 1e-8);
    EXPECT_NEAR(copy.track[0].longitude, 18.05020567, 1e-8);
    EXPECT_EQ(copy.track[1].time, T0 + 2000);
    EXPECT_NEAR(copy.track[1].latitude, 59.50205750, 1e-8);
    EXPECT_NEAR(copy.track[1].longitude, -18.05020567, 1e-8);
}

TEST_F(GpsTrackTest, CreateTakesItsPlaceInTheLoggersStatistics)
{
    EXPECT_EQ(GPSTrack::create(), nullptr); // no "ST_Logger"

    const u32 stats = kStatIfaceOffset + kLoggerIface;
    host.ifaces[stats] = CanIface::create("ST_Logger", stats);
    auto rates = host.keep(VirtualMessage::createWithId(kStatMsgRateMessageId, "MsgRate", stats));
    host.ifaces[stats]->addMessage(rates);
    EXPECT_EQ(GPSTrack::create(), nullptr); // no GPS signals
    EXPECT_TRUE(rates->signals.empty());

    GpsInputs gps(host, "Logger", kLoggerIface);
    auto track = GPSTrack::create();
    ASSERT_NE(track, nullptr);
    EXPECT_EQ(track->fullName, "ST_Logger.MsgRate.GPSTrack");
    EXPECT_EQ(rates->getSignal("GPSTrack"), track);
    EXPECT_EQ(VirtualMessage::allSignals.back(), track);
    // Asked again in the same load: the same track, not a second one computed beside it.
    EXPECT_EQ(GPSTrack::create(), track);
    EXPECT_EQ(rates->signals.size(), 1u);
    EXPECT_EQ(VirtualMessage::allSignals.size(), 1u);
}

TEST_F(GpsTrackTest, ReadersGetAConsistentCopyWhileTheTrackGrows)
{
    GpsInputs gps(host, "Logger", kLoggerIface);
    auto track = makeTrack();
    constexpr int kPoints = 20000;
    std::atomic<bool> done{false};
    // Northward, one point a second: the newest point is always the lowest y.
    std::thread writer([&] {
        for (int i = 0; i < kPoints; ++i)
            track->addTrackPoint(T0 + i * 1000, 59.0 + i * 1e-5, 18.0, 0.0, 0.0);
        done = true;
    });
    int copies = 0;
    while (!done || copies == 0) {
        const TrackCopy copy = track->copy();
        ++copies;
        if (copy.track.empty())
            continue;
        ASSERT_EQ(copy.lastPointTime, copy.track.back().time);
        ASSERT_EQ(copy.bounds.minY, copy.track.back().y);
        ASSERT_EQ(copy.track.back().time, T0 + (copy.track.size() - 1) * 1000);
    }
    writer.join();
    EXPECT_EQ(track->copy().track.size(), std::size_t(kPoints));
}

} // namespace
} // namespace vistra
