#include "virtual/gps_track.h"

#include "core/can_iface.h"
#include "core/constants.h"
#include "core/message.h"
#include "core/store_host.h"
#include "virtual/gps_position.h"
#include "virtual/virtual_message.h"

#include <algorithm>
#include <cmath>
#include <exception>

namespace vistra {
namespace {

constexpr u32 kStepMs = 1000;
// Plane units per degree of latitude, and per degree of longitude and cosine of latitude
// (taken at the origin and at the point, hence twice).
constexpr double kNorthScale = 60.00721;
constexpr double kEastScale = 30.053965;
// Input positions after the four position inputs.
constexpr std::size_t kAltitude = 4;
constexpr std::size_t kSpeed = 6;

} // namespace

GPSTrack::GPSTrack(std::shared_ptr<Message> parent, const Glib::ustring& name)
    : CustomSignal(std::move(parent), name)
{
    step = kStepMs;
    hidden = true;
    noPlot = true;
    const Glib::ustring iface = gpsInterfaceName();
    for (const char* input : kGpsPositionInputs)
        addInput(iface + input);
    // The bearing takes part in the stepping; its value is not used.
    for (const char* input : {".GPS_MOT.alt", ".GPS_MOT.bearing", ".GPS_MOT.speed"})
        addInput(iface + input);
}

GPSTrack::~GPSTrack() { dataReady.disconnect(); }

std::shared_ptr<GPSTrack> GPSTrack::create()
{
    try {
        // "ST_Logger" is the statistics interface of the logger's fixed number.
        auto stats = storeHost().getIface(kStatIfaceOffset + kLoggerIface);
        if (!stats || stats->name != "ST_Logger")
            return nullptr;
        auto rates = std::dynamic_pointer_cast<VirtualMessage>(stats->getMessageByName("MsgRate"));
        if (!rates)
            return nullptr;
        // A second call in one load hands out the same track: two would both be computed.
        auto known = rates->signalsByName.find("GPSTrack");
        if (known != rates->signalsByName.end())
            if (auto existing = std::dynamic_pointer_cast<GPSTrack>(known->second))
                return existing;
        auto track = std::make_shared<GPSTrack>(rates, "GPSTrack");
        rates->addSignal(track, track->name);
        return track;
    } catch (const std::exception&) {
        return nullptr;
    }
}

void GPSTrack::compute()
{
    if (const auto position = gpsPosition(inputs[0].value, inputs[1].value, inputs[2].value, inputs[3].value))
        addTrackPoint(currentTime, position->lat, position->lon, inputs[kAltitude].value, inputs[kSpeed].value);
    std::lock_guard lock(*samplesMutex);
    hasData = true;
}

void GPSTrack::addTrackPoint(u64 time, double lat, double lon, double alt, double speed)
{
    if (lat == 0.0 || lon == 0.0)
        return;
    std::lock_guard lock(trackMutex);
    double x = 0.0;
    double y = 0.0;
    if (originLat != 0.0 && originLon != 0.0) {
        y = (originLat - lat) * kNorthScale;
        x = (lon - originLon) * kEastScale * (std::cos(degToRad(originLat)) + std::cos(degToRad(lat)));
    } else {
        originLat = lat;
        originLon = lon;
    }
    track.push_back(TrackPoint{time, lat, lon, x, y, alt, speed});
    lastPointTime = time;
    bounds.maxX = std::max(bounds.maxX, x);
    bounds.minX = std::min(bounds.minX, x);
    bounds.maxY = std::max(bounds.maxY, y);
    bounds.minY = std::min(bounds.minY, y);
}

TrackCopy GPSTrack::copy() const
{
    std::lock_guard lock(trackMutex);
    return TrackCopy{track, bounds, lastPointTime};
}

} // namespace vistra
