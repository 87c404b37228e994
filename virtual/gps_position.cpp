#include "virtual/gps_position.h"

#include "core/can_iface.h"
#include "core/store_host.h"
#include "core/types.h"

#include <cmath>
#include <stdexcept>

namespace vistra {

Glib::ustring gpsInterfaceName()
{
    if (!storeHost().legacyGps)
        return "Logger";
    auto iface = storeHost().getIface(0);
    if (!iface)
        throw std::invalid_argument("Can't find interface with id 0");
    return iface->name;
}

std::optional<double> legacyDegrees(double raw)
{
    // The conversion truncates toward zero; NaN fails both comparisons.
    if (!(raw > -2147483649.0 && raw < 2147483648.0))
        return std::nullopt;
    const i32 degrees = static_cast<i32>(raw) / 10000000;
    return degrees + (raw - degrees * 1e7) * 1.6666666666666668e-7;
}

std::optional<GpsPosition> gpsPosition(double lat, double northSouth, double lon, double eastWest)
{
    if (storeHost().legacyGps) {
        const std::optional<double> legacyLat = legacyDegrees(lat);
        const std::optional<double> legacyLon = legacyDegrees(lon);
        if (!legacyLat || !legacyLon)
            return std::nullopt;
        lat = *legacyLat;
        lon = *legacyLon;
    }
    if (northSouth == 1.0)
        lat = -lat;
    if (eastWest == 1.0)
        lon = -lon;
    return GpsPosition{lat, lon};
}

} // namespace vistra
