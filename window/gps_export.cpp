#include "window/gps_export.h"

#include "store/store.h"
#include "views/file_chooser.h"
#include "views/time_box.h"
#include "virtual/gps_track.h"
#include "virtual/gpx_writer.h"
#include "window/message_dialogs.h"

#include <glibmm/miscutils.h>
#include <gtkmm/clipboard.h>
#include <gtkmm/filechooserdialog.h>
#include <gtkmm/messagedialog.h>

namespace vistra {
namespace {

// Where the previous export went, for the life of the process.
Glib::ustring& exportFolder()
{
    static Glib::ustring folder = Glib::get_home_dir();
    return folder;
}

void onDataReady(GPSTrack& track)
{
    if (!track.exportPending)
        return;
    track.exportPending = false;
    writeGpsTrack(track);
}

} // namespace

Glib::ustring chooseGpxFile()
{
    Gtk::FileChooserDialog dialog("Write GPS-data to file", Gtk::FILE_CHOOSER_ACTION_SAVE);
    setUpFileChooser(dialog, "GPX-files", {"*.gpx", "*.GPX"}, "ALL");
    dialog.set_current_folder(exportFolder());
    dialog.set_current_name(Store::instance().title + ".gpx");
    if (runDialog(dialog) != Gtk::RESPONSE_OK)
        return {};
    const std::string file = dialog.get_filename();
    if (file.empty())
        return {};
    exportFolder() = Glib::path_get_dirname(file);
    // The path's bytes as the file system has them: they are what the file is opened by.
    return Glib::ustring(file);
}

bool writeGpsTrack(GPSTrack& track)
{
    const Store& store = Store::instance();
    const TimeBox& box = timeBox();
    const GpxRange range =
        gpxRange(store.leftRuler, store.rightRuler, box.from, box.to, store.firstTime, store.lastTime);
    const bool written = writeGpx(track, range, track.exportPath, [](const std::string& text) {
        Gtk::Clipboard::get()->set_text(text);
    });
    if (!written)
        return false;
    Gtk::MessageDialog done("GPS Track created!", false, Gtk::MESSAGE_INFO, Gtk::BUTTONS_OK);
    runDialog(done);
    return true;
}

void exportGpsTrack(const std::shared_ptr<GPSTrack>& track)
{
    if (track->askForFile) {
        track->exportPath = chooseGpxFile();
        if (track->exportPath.empty())
            return;
    }
    Store& store = Store::instance();
    // The network flag first: with live data the track is being computed on the worker,
    // and the export waits for the next block anyway.
    if (!store.networkMode && track->hasData) {
        writeGpsTrack(*track);
        return;
    }
    if (!track->dataReady.connected()) {
        std::weak_ptr<GPSTrack> weak = track;
        track->dataReady = store.dataChanged.connect([weak] {
            if (auto pending = weak.lock())
                onDataReady(*pending);
        });
    }
    // Without a user the next load would not compute the track: it gets an anonymous one.
    if (track->useCount == 0) {
        track->addUser(nullptr);
        store.refreshPlotSignals();
    }
    track->exportPending = true;
    if (!store.live)
        store.requestParse();
}

} // namespace vistra
