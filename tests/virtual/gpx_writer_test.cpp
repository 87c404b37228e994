#include "virtual/gpx_writer.h"

#include "core/constants.h"
#include "virtual/gps_track.h"

#include "gps_inputs.h"
#include "test_helpers.h"
#include "test_host.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace vistra {
namespace {

using test::T0;

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class GpxWriterTest : public testing::Test {
protected:
    GpxWriterTest()
    {
        char tmpl[] = "/tmp/tarnwick-gpx-XXXXXX";
        dir = mkdtemp(tmpl);
        test::drainLog();
    }
    ~GpxWriterTest() override
    {
        std::filesystem::remove_all(dir);
        test::drainLog();
    }

    // Three points with rounding in every field, both hemispheres and a leap day.
    const std::vector<TrackPoint> threePoints = {
        {1700000000123, 59.123456789, 18.0654321, 0, 0, 12.5, 36.0},
        {1700000061999, -33.86785, -151.20732, 0, 0, -3.256, 50.0},
        {1709251199000, 0.5, 179.99999999, 0, 0, 1234.567, 0.0},
    };
    const GpxRange everything{0, kNoTime};
    std::string dir;
};

TEST_F(GpxWriterTest, TextMatchesTheGoldenFile)
{
    EXPECT_EQ(gpxText(threePoints, everything), readFile(TARNWICK_TEST_DATA "/gpx/three_points.gpx"));
}

TEST_F(GpxWriterTest, AnIndependentReaderSeesTheSamePoints)
{
    const std::string path = dir + "/track.gpx";
    ASSERT_TRUE(writeTextFile(path, gpxText(threePoints, everything)));
    const std::string command =
        "/usr/bin/python3 " TARNWICK_SOURCE_DIR "/tests/virtual/read_gpx.py " + path + " 2>&1";
    FILE* reader = popen(command.c_str(), "r");
    ASSERT_NE(reader, nullptr);
    std::string output;
    char buf[256];
    while (std::fgets(buf, sizeof buf, reader))
        output += buf;
    ASSERT_EQ(pclose(reader), 0) << output;

    std::istringstream lines(output);
    for (const TrackPoint& p : threePoints) {
        double lat = 0, lon = 0, ele = 0;
        u64 seconds = 0;
        ASSERT_TRUE(lines >> lat >> lon >> ele >> seconds) << output;
        EXPECT_NEAR(lat, p.latitude, 5e-9);
        EXPECT_NEAR(lon, p.longitude, 5e-9);
        EXPECT_NEAR(ele, p.altitude, 0.005);
        EXPECT_EQ(seconds, p.time / 1000);
    }
    double extra;
    EXPECT_FALSE(lines >> extra) << output;
}

TEST_F(GpxWriterTest, RangeFromRulersVisibleIntervalOrData)
{
    const u64 none = kNoTime;
    const struct {
        u64 left, right, visibleFrom, visibleTo;
        GpxRange expected;
    } cases[] = {
        {T0 + 2000, T0 + 4000, T0, T0 + 9000, {T0 + 2000, T0 + 4000}},
        {T0 + 4000, T0 + 2000, T0, T0 + 9000, {T0 + 2000, T0 + 4000}}, // either order
        {T0 + 2000, none, T0 + 1000, T0 + 3000, {T0 + 1000, T0 + 3000}}, // one ruler: the visible interval
        {none, T0 + 2000, T0 + 1000, T0 + 3000, {T0 + 1000, T0 + 3000}},
        {none, none, T0 + 1000, T0 + 3000, {T0 + 1000, T0 + 3000}},
        {none, none, 0, 0, {T0 - 500, T0 + 99000}}, // nothing shown yet: the loaded data
    };
    for (const auto& c : cases) {
        const GpxRange got = gpxRange(c.left, c.right, c.visibleFrom, c.visibleTo, T0 - 500, T0 + 99000);
        EXPECT_EQ(got.from, c.expected.from) << c.left - T0 << " " << c.right - T0;
        EXPECT_EQ(got.to, c.expected.to) << c.left - T0 << " " << c.right - T0;
    }
}

TEST_F(GpxWriterTest, PointsOfTheRangeOnly)
{
    std::vector<TrackPoint> track;
    for (u64 i = 0; i <= 5; ++i)
        track.push_back({T0 + i * 1000, 59.0 + i * 0.001, 18.0, 0, 0, 0, 0});
    track.insert(track.begin() + 3, TrackPoint{T0 + 2500, 0.0, 18.0, 0, 0, 0, 0}); // no fix
    const auto count = [](const std::string& text) {
        std::size_t n = 0;
        for (std::size_t at = text.find("<trkpt"); at != std::string::npos; at = text.find("<trkpt", at + 1))
            ++n;
        return n;
    };
    EXPECT_EQ(count(gpxText(track, {T0 + 1000, T0 + 3000})), 3u); // both ends included
    EXPECT_EQ(count(gpxText(track, {T0 + 1001, T0 + 2999})), 1u);
    EXPECT_EQ(count(gpxText(track, {T0 + 6000, T0 + 9000})), 0u);
    EXPECT_EQ(count(gpxText(track, everything)), 6u);
    const std::string middle = gpxText(track, {T0 + 1000, T0 + 3000});
    EXPECT_NE(middle.find("lat=\"59.00100000\""), std::string::npos);
    EXPECT_NE(middle.find("lat=\"59.00300000\""), std::string::npos);
    EXPECT_EQ(middle.find("lat=\"59.00400000\""), std::string::npos);
}

TEST_F(GpxWriterTest, FailedWritesAreReported)
{
    const std::string text = gpxText(threePoints, everything);
    std::filesystem::create_directory(dir + "/folder");
    const struct {
        std::string path;
        const char* reason;
    } cases[] = {
        {dir + "/missing/track.gpx", "No such file or directory"},
        {dir + "/folder", "Is a directory"},
        {"/dev/full", "not a regular file"},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(writeTextFile(c.path, text)) << c.path;
        EXPECT_EQ(test::drainLog(), std::vector<std::string>{"Could not write " + c.path + ": " + c.reason});
    }

    // A FIFO would hold the GUI thread until someone reads it. With a reader open the
    // test cannot hang whatever the writer does; the FIFO must stay empty.
    const std::string fifo = dir + "/track.gpx";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    const bool written = writeTextFile(fifo, text);
    char byte;
    const ssize_t got = read(reader, &byte, 1);
    close(reader);
    ASSERT_FALSE(written);
    ASSERT_LE(got, 0); // nothing arrived
    EXPECT_EQ(test::drainLog(), std::vector<std::string>{"Could not write " + fifo + ": not a regular file"});
    // Without a reader it is refused as well, without waiting for one.
    EXPECT_FALSE(writeTextFile(fifo, text));
    EXPECT_EQ(test::drainLog(), std::vector<std::string>{"Could not write " + fifo + ": not a regular file"});

    // A write that fails on the way to the disk: the file may grow no larger than 10 bytes.
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 10;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::string big = dir + "/big.gpx";
    const bool bigWritten = writeTextFile(big, text);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(bigWritten);
    EXPECT_EQ(test::drainLog(), std::vector<std::string>{"Could not write " + big + ": File too large"});
}

TEST_F(GpxWriterTest, TheTrackGoesToTheFileOrElsewhere)
{
    test::TestHost host;
    test::GpsInputs gps(host, "Logger", kLoggerIface);
    GPSTrack track(host.virtualMessage(), "GPSTrack");
    track.addTrackPoint(T0, 59.3, 18.1, 10.0, 36.0);
    track.addTrackPoint(T0 + 1000, 59.4, 18.1, 10.0, 36.0);
    const std::string expected = gpxText(track.copy().track, everything);

    std::string elsewhere;
    const auto sink = [&elsewhere](const std::string& text) { elsewhere = text; };
    EXPECT_TRUE(writeGpx(track, everything, "", sink));
    EXPECT_EQ(elsewhere, expected);

    elsewhere.clear();
    const std::string path = dir + "/track.gpx";
    EXPECT_TRUE(writeGpx(track, everything, path, sink));
    EXPECT_EQ(readFile(path), expected);
    EXPECT_TRUE(elsewhere.empty());
    EXPECT_FALSE(writeGpx(track, everything, dir + "/missing/track.gpx", sink));
    EXPECT_EQ(test::drainLog().size(), 1u);
}

} // namespace
} // namespace vistra
