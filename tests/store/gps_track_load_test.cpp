#include "core/report.h"
#include "core/signal.h"
#include "store/store.h"
#include "test_helpers.h"
#include "virtual/gps_track.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace vistra {
namespace {

// The example drive: its logger reports a GPS fix every second for a minute, and its VSD
// file has a geofence around a point of the cruise stretch.
TEST(GpsTrackLoad, TheExampleDriveMakesATrackAndCrossesTheFence)
{
    auto store = std::make_unique<Store>();
    store->textMode = true;
    store->addLoggerIface();
    store->loadVsd(TARNWICK_SOURCE_DIR "/examples/drive.vsd");
    auto track = GPSTrack::create();
    ASSERT_NE(track, nullptr);
    track->addUser(nullptr); // as the GPS plot and the export make it used
    auto fence = store->findSignal("Virt.Position.NearCruisePoint");
    fence->setEnabled(true);
    store->refreshPlotSignals();
    store->addLogFile(TARNWICK_SOURCE_DIR "/examples/drive.lz4");
    store->parseNow();
    EXPECT_TRUE(test::drainLog().empty());

    const TrackCopy copy = track->copy();
    ASSERT_GE(copy.track.size(), 55u);
    ASSERT_LE(copy.track.size(), 60u);
    auto lat = store->findSignal("Logger.GPS_POS.lat");
    auto lon = store->findSignal("Logger.GPS_POS.long");
    auto speed = store->findSignal("Logger.GPS_MOT.speed");
    const TrackPoint& origin = copy.track.front();
    double minX = 0, maxX = 0, minY = 0, maxY = 0;
    for (std::size_t i = 0; i < copy.track.size(); ++i) {
        const TrackPoint& p = copy.track[i];
        if (i > 0) {
            EXPECT_EQ(p.time - copy.track[i - 1].time, 1000u) << i;
        }
        // Every point is the fix that the logger's signals hold at its time.
        EXPECT_EQ(p.latitude, lat->valueAt(p.time)) << i;
        EXPECT_EQ(p.longitude, lon->valueAt(p.time)) << i;
        EXPECT_EQ(p.speed, speed->valueAt(p.time)) << i;
        EXPECT_EQ(p.altitude, 120.0) << i;
        const double r = M_PI / 180;
        EXPECT_NEAR(p.y, (origin.latitude - p.latitude) * 60.00721, 1e-9) << i;
        EXPECT_NEAR(p.x, (p.longitude - origin.longitude) * 30.053965 * (std::cos(origin.latitude * r) + std::cos(p.latitude * r)),
                    1e-9)
            << i;
        minX = std::min(minX, p.x);
        maxX = std::max(maxX, p.x);
        minY = std::min(minY, p.y);
        maxY = std::max(maxY, p.y);
    }
    EXPECT_EQ(origin.x, 0.0);
    EXPECT_EQ(origin.y, 0.0);
    // North-east: east grows x, north lowers y.
    EXPECT_GT(copy.track.back().x, 0.3);
    EXPECT_LT(copy.track.back().y, -0.05);
    EXPECT_EQ(copy.bounds.minX, minX);
    EXPECT_EQ(copy.bounds.maxX, maxX);
    EXPECT_EQ(copy.bounds.minY, minY);
    EXPECT_EQ(copy.bounds.maxY, maxY);
    EXPECT_EQ(copy.lastPointTime, copy.track.back().time);
    EXPECT_TRUE(track->hasData);

    // The fence: outside while accelerating, inside around 25 s, outside again while braking.
    const u64 start = store->firstTime;
    EXPECT_EQ(fence->valueAt(start + 5000), 0.0);
    EXPECT_EQ(fence->valueAt(start + 25000), 1.0);
    EXPECT_EQ(fence->valueAt(start + 50000), 0.0);
    int changes = 0;
    for (std::size_t i = 1; i < fence->samples.size(); ++i)
        changes += fence->samples[i].value != fence->samples[i - 1].value;
    EXPECT_EQ(changes, 2);
}

} // namespace
} // namespace vistra
