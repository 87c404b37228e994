#pragma once
// The logger's GPS position as the track and the geofence read it: which interface carries
// the GPS messages, and how the latitude and longitude inputs become signed degrees.
#include <glibmm/ustring.h>

#include <optional>

namespace vistra {

inline double degToRad(double degrees) { return degrees * 0.017453292519943295; }

struct GpsPosition {
    double lat; // degrees, south negative
    double lon; // degrees, west negative
};

// The position inputs, in input order, each after the interface name.
inline constexpr const char* kGpsPositionInputs[] = {".GPS_POS.lat", ".GPS_POS.N_S", ".GPS_POS.long", ".GPS_POS.E_W"};

// The name of the interface whose GPS_POS and GPS_MOT messages the position comes from:
// "Logger", or with the legacy GPS coding the interface numbered 0 (a user's DBC file).
// Throws std::invalid_argument "Can't find interface with id 0" when that one is missing.
Glib::ustring gpsInterfaceName();

// Degrees from the legacy coding, whole degrees × 10^7 + minutes × 10^5. Empty for a value
// that is no 32-bit number: it cannot come from the logger, and the integer conversion
// would be undefined.
std::optional<double> legacyDegrees(double raw);

// The signed position from the input values: latitude and longitude (legacy-coded when the
// store says so), and the hemisphere flags, exactly 1.0 for south and west. Empty when a
// legacy coordinate is out of range.
std::optional<GpsPosition> gpsPosition(double lat, double northSouth, double lon, double eastWest);

} // namespace vistra
