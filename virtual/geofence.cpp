#include "virtual/geofence.h"

#include "core/number_setting.h"
#include "virtual/gps_position.h"

#include <cmath>
#include <stdexcept>
#include <string>

namespace vistra {
namespace {

// The plane: y grows northward, x eastward. The east-west scale is about half the length
// of a degree of longitude, so a circle is about twice as wide as it is high; stored fence
// definitions were drawn on this plane and must keep meaning what they meant.
struct Plane {
    double y;
    double x;
};

Plane plane(double lat, double lon)
{
    return Plane{lat * 111320.0, lon * 55287.0 * std::cos(degToRad(lat)) + 19903320.0};
}

} // namespace

Geofence::Geofence(std::shared_ptr<Message> parent, const Glib::ustring& group, Glib::KeyFile& keyFile)
    : CustomSignal(std::move(parent), group, keyFile)
{
    const Glib::ustring iface = gpsInterfaceName();
    for (const char* input : kGpsPositionInputs)
        addInput(iface + input);

    if (!keyFile.has_key(group, "type"))
        throw std::invalid_argument("Mandatory Geofence attribute missing: 'type'");
    const Glib::ustring type = keyFile.get_value(group, "type");
    if (type == "square") {
        readSquare(keyFile, group);
        insideTest = &Geofence::insideSquare;
    } else if (type == "circle") {
        readCircle(keyFile, group);
        insideTest = &Geofence::insideCircle;
    } else {
        // Without a shape there is nothing to test against.
        throw std::invalid_argument("Unknown Geofence type '" + type.raw() + "'");
    }
}

Geofence::~Geofence() = default;

std::shared_ptr<Signal> Geofence::create(std::shared_ptr<Message> parent, const Glib::ustring& group,
                                         Glib::KeyFile& keyFile)
{
    return build<Geofence>(std::move(parent), group, keyFile);
}

void Geofence::readCorner(Glib::KeyFile& keyFile, const Glib::ustring& group, const char* key)
{
    if (!keyFile.has_key(group, key))
        throw std::invalid_argument(std::string("Missing value '") + key + "'");
    const std::vector<double> position = finiteNumbers(keyFile, group, key);
    if (position.size() != 2)
        throw std::invalid_argument(std::string("Expected '") + key +
                                    "' to be two (2) doubles seperated by a semicolon (;)");
    const Plane p = plane(position[0], position[1]);
    fence.push_back(p.y);
    fence.push_back(p.x);
}

void Geofence::readCircle(Glib::KeyFile& keyFile, const Glib::ustring& group)
{
    readCorner(keyFile, group, "center");
    if (!keyFile.has_key(group, "radius"))
        throw std::invalid_argument("Missing value 'radius'");
    radius = keyFile.get_integer(group, "radius");
}

void Geofence::readSquare(Glib::KeyFile& keyFile, const Glib::ustring& group)
{
    readCorner(keyFile, group, "topleft");
    readCorner(keyFile, group, "bottomright");
}

bool Geofence::insideCircle(double y, double x) const
{
    const double dy = fence[0] - y;
    const double dx = fence[1] - x;
    return radius >= std::sqrt(dx * dx + dy * dy);
}

bool Geofence::insideSquare(double y, double x) const
{
    return fence[2] < y && y < fence[0] && fence[1] < x && x < fence[3];
}

void Geofence::compute()
{
    const auto position = gpsPosition(inputs[0].value, inputs[1].value, inputs[2].value, inputs[3].value);
    // A position the legacy coding cannot hold is no position: nothing for this step.
    if (!position)
        return;
    const Plane p = plane(position->lat, position->lon);
    addValue(currentTime, (this->*insideTest)(p.y, p.x) ? 1.0 : 0.0);
}

} // namespace vistra
