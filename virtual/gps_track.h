#pragma once
// The logger's GPS fixes as a track of points on a local plane, for the GPS plot and the
// GPX export. A built-in computed signal that stores no samples: each step of the walk over
// the GPS inputs adds one point to the track instead.
//
// The track grows on the thread that computes the virtual signals (with live data the
// worker, block after block) while the GUI thread draws and exports it, so the track, its
// bounds and the time of its last point are read only as a copy taken under their lock.
#include "core/types.h"
#include "virtual/custom_signal.h"

#include <glibmm/ustring.h>
#include <sigc++/connection.h>

#include <cfloat>
#include <memory>
#include <mutex>
#include <vector>

namespace vistra {

struct TrackPoint {
    u64 time;         // ms since the epoch: the step the fix was taken at
    double latitude;  // degrees, south negative
    double longitude; // degrees, west negative
    double x;         // eastward from the first fix
    double y;         // southward from the first fix
    double altitude;  // as the logger reports it
    double speed;     // as the logger reports it, km/h
};

// The largest and smallest x and y of the track; empty: the extremes of the type.
struct TrackBounds {
    double maxX = -DBL_MAX;
    double minX = DBL_MAX;
    double maxY = -DBL_MAX;
    double minY = DBL_MAX;
};

// A consistent copy of the track for a reader on another thread.
struct TrackCopy {
    std::vector<TrackPoint> track;
    TrackBounds bounds;
    u64 lastPointTime = 0;
};

class GPSTrack : public CustomSignal {
public:
    // Steps of 1000 ms over the GPS inputs (position, hemispheres, altitude, bearing and
    // speed) of the "Logger" interface, or of interface 0 with the legacy coding; hidden and
    // never plotted. Throws SignalNotFoundException for a missing input and
    // std::invalid_argument when the legacy coding has no interface 0.
    GPSTrack(std::shared_ptr<Message> parent, const Glib::ustring& name);
    ~GPSTrack() override;

    // The signal "GPSTrack" in the message "MsgRate" of "ST_Logger", added there (the one
    // there already when this load has one). Empty when the interface, the message or an
    // input is missing.
    static std::shared_ptr<GPSTrack> create();

    // One point per step from the inputs' values.
    void compute() override;
    // One fix in signed degrees. No point where the latitude or longitude is exactly 0.0
    // (no fix); the first point is the origin of the plane.
    void addTrackPoint(u64 time, double lat, double lon, double alt, double speed);

    TrackCopy copy() const;

    // State of the GPX export command (GUI thread only): an export waits for the next data
    // update, where it writes to (empty: the clipboard), and whether it asks for a file.
    bool exportPending = false;
    Glib::ustring exportPath;
    bool askForFile = true;
    // The export's handler of the store's data updates; ends with the track.
    sigc::connection dataReady;

private:
    mutable std::mutex trackMutex; // guards every member below
    // The first fix; 0.0 while there is none (a fix at 0.0 never makes a point).
    double originLat = 0.0;
    double originLon = 0.0;
    std::vector<TrackPoint> track;
    TrackBounds bounds;
    u64 lastPointTime = 0;
};

} // namespace vistra
