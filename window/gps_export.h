#pragma once
// The GPS menu's export of the track as a GPX file: asks for the file, then writes the
// track at once when it is loaded, or makes the next load compute it and writes when the
// data are in.
#include <glibmm/ustring.h>

#include <memory>

namespace vistra {

class GPSTrack;

// The export command. A cancelled file dialog ends it.
void exportGpsTrack(const std::shared_ptr<GPSTrack>& track);

// The save dialog "Write GPS-data to file", opened in the folder of the previous export
// (first: the home folder) with the store's title as the suggested name. The chosen file
// name, or empty when cancelled.
Glib::ustring chooseGpxFile();

// Writes the track's points between the rulers (else of the visible interval, else of the
// loaded data) to its export path, or to the clipboard when the path is empty, and tells
// the user "GPS Track created!". A file that cannot be written is reported instead, and
// false is returned.
bool writeGpsTrack(GPSTrack& track);

} // namespace vistra
