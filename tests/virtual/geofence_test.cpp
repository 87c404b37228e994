#include "virtual/geofence.h"

#include "core/constants.h"
#include "virtual/method_factory.h"

#include "gps_inputs.h"
#include "test_host.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

namespace vistra {
namespace {

using test::Definition;
using test::GpsInputs;
using test::T0;

class GeofenceTest : public testing::Test {
protected:
    // Builds the fence of `keys` through the factory over fresh logger inputs holding one
    // position (signed degrees, sent as the logger does: magnitude and hemisphere flag) and
    // returns its output: 1.0 inside, 0.0 outside, NaN when nothing was computed.
    double fenceAt(const std::string& keys, double lat, double lon)
    {
        GpsInputs gps(host, "Logger", kLoggerIface);
        for (u64 t : {T0, T0 + 1000})
            gps.fix(t, std::fabs(lat), lat < 0, std::fabs(lon), lon < 0);
        gps.finish();
        return output(keys);
    }

    double output(const std::string& keys)
    {
        auto msg = host.virtualMessage();
        Definition d("method=geofence\nstep=1000\n" + keys);
        createVirtualSignal(msg, d.group, "Sig", d.file, "/defs/fence.vsd");
        auto fence = msg->getSignal("Sig");
        EXPECT_NE(dynamic_cast<Geofence*>(fence.get()), nullptr);
        fence->process();
        return fence->samples.empty() ? std::numeric_limits<double>::quiet_NaN() : fence->samples.front().value;
    }

    test::TestHost host;
};

TEST_F(GeofenceTest, Circle)
{
    // 10.125 degrees north of the centre is exactly 13915 units away.
    const std::string around10N = "type=circle\ncenter=10;0\nradius=";
    // At the pole a degree of longitude shrinks to nothing: a point at 89.99 degrees is
    // 1113 units from the pole northward and up to 1737 units sideways.
    const std::string northPole = "type=circle\ncenter=90;0\nradius=2000\n";
    const struct {
        std::string keys;
        double lat, lon;
        double inside;
    } cases[] = {
        {around10N + "13915", 10.125, 0.0, 1.0}, // on the circle
        {around10N + "13914", 10.125, 0.0, 0.0},
        {around10N + "13915", 9.875, 0.0, 1.0},
        {around10N + "0", 10.0, 0.0, 1.0}, // radius 0: only the centre itself
        {around10N + "0", 10.000001, 0.0, 0.0},
        {around10N + "13915", -10.125, 0.0, 0.0}, // the same latitude south
        {northPole, 89.99, 0.0, 1.0},
        {northPole, 89.99, 90.0, 1.0},
        {northPole, 89.99, 180.0, 0.0},
        {northPole, 89.99, -180.0, 0.0},
        {northPole, 89.9, 0.0, 0.0},
        {"type=circle\ncenter=-90;0\nradius=2000\n", -89.99, 45.0, 1.0},
        {"type=circle\ncenter=-90;0\nradius=2000\n", 89.99, 45.0, 0.0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(fenceAt(c.keys, c.lat, c.lon), c.inside) << c.keys << " at " << c.lat << ";" << c.lon;
}

TEST_F(GeofenceTest, Square)
{
    const std::string stockholm = "type=square\ntopleft=59.5;18.0\nbottomright=59.0;18.5\n";
    const std::string sydney = "type=square\ntopleft=-33.8;151.1\nbottomright=-33.9;151.3\n";
    // Each corner's own latitude sets its x edge: near the pole the western edge, taken at
    // 89.9 degrees, lies far east of where it lies at 89.5.
    const std::string polarCap = "type=square\ntopleft=89.9;-180\nbottomright=89.0;180\n";
    const struct {
        std::string keys;
        double lat, lon;
        double inside;
    } cases[] = {
        {stockholm, 59.25, 18.25, 1.0},
        {stockholm, 59.5, 18.25, 0.0}, // on the northern edge
        {stockholm, 59.0, 18.25, 0.0}, // on the southern edge
        {stockholm, 59.5, 18.0, 0.0},  // the corner itself
        {stockholm, 59.6, 18.25, 0.0},
        {stockholm, 59.25, 17.5, 0.0},
        {stockholm, 59.25, 19.0, 0.0},
        {sydney, -33.85, 151.2, 1.0},
        {sydney, 33.85, 151.2, 0.0},
        {sydney, -33.85, -151.2, 0.0},
        {polarCap, 89.5, 170.0, 1.0},
        {polarCap, 89.5, -170.0, 0.0},
        {polarCap, 89.95, 0.0, 0.0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(fenceAt(c.keys, c.lat, c.lon), c.inside) << c.keys << " at " << c.lat << ";" << c.lon;
}

TEST_F(GeofenceTest, LegacyCodedPosition)
{
    host.legacyGps = true;
    const std::string keys = "type=circle\ncenter=59.50205750;18.0\nradius=1\n";
    try {
        output(keys);
        ADD_FAILURE() << "built without interface 0";
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "Can't find interface with id 0");
    }

    GpsInputs gps(host, "Gps", 0);
    gps.fix(T0, 593012345, 0, 180000000, 0);     // 59.50205750;18.0, the fence's centre
    gps.fix(T0 + 1000, 593112345, 0, 180000000, 0); // a minute further north
    gps.fix(T0 + 2000, 3e9, 0, 180000000, 0);       // no 32-bit number: no position
    gps.fix(T0 + 3000, 593012345, 0, 180000000, 0);
    gps.fix(T0 + 4000, 593012345, 0, 180000000, 0);
    gps.finish();
    auto msg = host.virtualMessage();
    Definition d("method=geofence\nstep=1000\n" + keys);
    auto fence = Geofence::create(msg, d.group, d.file);
    fence->process();
    const std::vector<Sample> expected = {{T0, 1.0}, {T0 + 1000, 0.0}, {T0 + 3000, 1.0}};
    EXPECT_EQ(fence->samples, expected);
}

TEST_F(GeofenceTest, RefusedDefinitions)
{
    GpsInputs gps(host, "Logger", kLoggerIface);
    const std::string twoDoubles = " to be two (2) doubles seperated by a semicolon (;)";
    const struct {
        const char* keys;
        std::string refusal;
    } cases[] = {
        {"", "Mandatory Geofence attribute missing: 'type'"},
        {"type=Circle\ncenter=1;2\nradius=5\n", "Unknown Geofence type 'Circle'"},
        {"type=polygon\n", "Unknown Geofence type 'polygon'"},
        {"type=\n", "Unknown Geofence type ''"},
        {"type=circle\nradius=5\n", "Missing value 'center'"},
        {"type=circle\ncenter=59.3;18.1\n", "Missing value 'radius'"},
        {"type=circle\ncenter=59.3;18.1;7\nradius=5\n", "Expected 'center'" + twoDoubles},
        {"type=circle\ncenter=59.3\nradius=5\n", "Expected 'center'" + twoDoubles},
        {"type=square\nbottomright=59.0;18.5\n", "Missing value 'topleft'"},
        {"type=square\ntopleft=59.5;18.0\n", "Missing value 'bottomright'"},
        {"type=square\ntopleft=59.5;18.0\nbottomright=59.0;18.5;1\n", "Expected 'bottomright'" + twoDoubles},
    };
    for (const auto& c : cases) {
        Definition d(std::string("method=geofence\nstep=1000\n") + c.keys);
        try {
            Geofence::create(host.virtualMessage(), d.group, d.file);
            ADD_FAILURE() << c.keys << " was built";
        } catch (const std::invalid_argument& e) {
            EXPECT_EQ(e.what(), c.refusal) << c.keys;
        }
    }
    for (const char* keys : {"type=circle\ncenter=north;east\nradius=5\n", "type=circle\ncenter=1;2\nradius=ten\n"}) {
        Definition d(std::string("method=geofence\nstep=1000\n") + keys);
        EXPECT_THROW(Geofence::create(host.virtualMessage(), d.group, d.file), Glib::KeyFileError) << keys;
    }
}

} // namespace
} // namespace vistra
