#pragma once
// The GPS track as GPX 1.1 text, written to a file or handed to the caller (the GUI puts it
// on the clipboard). No GUI here: the export command of the main window gathers the rulers
// and the visible interval and calls writeGpx.
#include "core/types.h"
#include "virtual/gps_track.h"

#include <glibmm/ustring.h>

#include <functional>
#include <string>
#include <vector>

namespace vistra {

struct GpxRange {
    u64 from;
    u64 to;
};

// The exported interval: between the rulers when both are set (kNoTime: unset), in either
// order; else the visible interval; when that ends at 0 (nothing shown yet), the data's.
GpxRange gpxRange(u64 leftRuler, u64 rightRuler, u64 visibleFrom, u64 visibleTo, u64 dataFirst, u64 dataLast);

// The GPX document of the points of `track` in `range`, in track order.
std::string gpxText(const std::vector<TrackPoint>& track, GpxRange range);

// Writes `text` to `path`, replacing the file's content. A file that cannot be opened,
// written or closed, or a path that holds something else than a regular file (a FIFO is
// not waited on), is reported (ERR "Could not write <path>: <reason>") and gives false.
bool writeTextFile(const std::string& path, const std::string& text);

using TextSink = std::function<void(const std::string& text)>;

// The GPX text of the track's points in `range` goes to `path`, or to `elsewhere` when the
// path is empty. False (and reported) when the file could not be written.
bool writeGpx(const GPSTrack& track, GpxRange range, const Glib::ustring& path, const TextSink& elsewhere);

} // namespace vistra
