#pragma once
// 1.0 while the logger's GPS position lies inside a circle or a rectangle, 0.0 while it
// lies outside. The fence and the position are compared on a plane of metres-like units
// (see geofence.cpp for its scale, which stored definitions are tuned to).
#include "virtual/custom_signal.h"

#include <vector>

namespace vistra {

class Geofence : public CustomSignal {
public:
    // Keys: type ("circle" or "square"), center and radius (circle), topleft and
    // bottomright (square), each position as "latitude;longitude" in decimal degrees. The
    // inputs are the logger's (or, with the legacy coding, interface 0's) GPS position.
    Geofence(std::shared_ptr<Message> parent, const Glib::ustring& group, Glib::KeyFile& keyFile);
    ~Geofence() override;

    static std::shared_ptr<Signal> create(std::shared_ptr<Message> parent, const Glib::ustring& group,
                                          Glib::KeyFile& keyFile);

    void compute() override;

    // For a circle {centre y, centre x}; for a square {top-left y, top-left x,
    // bottom-right y, bottom-right x}.
    std::vector<double> fence;
    i32 radius = 0; // metres
    bool (Geofence::*insideTest)(double y, double x) const = nullptr;

private:
    void readCircle(Glib::KeyFile& keyFile, const Glib::ustring& group);
    void readSquare(Glib::KeyFile& keyFile, const Glib::ustring& group);
    // Appends the plane coordinates (y, x) of a "latitude;longitude" key to the fence.
    void readCorner(Glib::KeyFile& keyFile, const Glib::ustring& group, const char* key);
    bool insideCircle(double y, double x) const;
    bool insideSquare(double y, double x) const;
};

} // namespace vistra
