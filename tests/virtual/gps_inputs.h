#pragma once
// The GPS signals that the track and the geofence read (GPS_POS and GPS_MOT of one
// interface), found by their full names in a TestHost and filled as a load fills them.
#include "test_host.h"

#include <memory>
#include <string>

namespace vistra::test {

struct GpsInputs {
    GpsInputs(TestHost& host, const std::string& ifaceName, u32 number)
    {
        auto iface = CanIface::create(ifaceName, number);
        host.ifaces[number] = iface;
        auto pos = host.keep(std::make_shared<Message>(10, "GPS_POS", iface));
        auto mot = host.keep(std::make_shared<Message>(11, "GPS_MOT", iface));
        iface->addMessage(pos);
        iface->addMessage(mot);
        auto add = [&host](const std::shared_ptr<Message>& msg, const char* name) {
            auto s = std::make_shared<Signal>(msg, name);
            msg->addSignal(name, s);
            host.signals[s->fullName.raw()] = s;
            return s;
        };
        lat = add(pos, "lat");
        ns = add(pos, "N_S");
        lon = add(pos, "long");
        ew = add(pos, "E_W");
        alt = add(mot, "alt");
        bearing = add(mot, "bearing");
        speed = add(mot, "speed");
    }

    // One report of every signal at t (stored change-only).
    void fix(u64 t, double latitude, double northSouth, double longitude, double eastWest, double altitude = 0.0,
             double kmh = 0.0)
    {
        lat->addValue(t, latitude);
        ns->addValue(t, northSouth);
        lon->addValue(t, longitude);
        ew->addValue(t, eastWest);
        alt->addValue(t, altitude);
        bearing->addValue(t, 0.0);
        speed->addValue(t, kmh);
    }

    void finish()
    {
        for (auto& s : {lat, ns, lon, ew, alt, bearing, speed})
            s->finish();
    }

    std::shared_ptr<Signal> lat, ns, lon, ew, alt, bearing, speed;
};

} // namespace vistra::test
