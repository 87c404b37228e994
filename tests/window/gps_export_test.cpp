#include "window/gps_export.h"

#include "gui_fixture.h"
#include "views/time_box.h"
#include "virtual/gps_track.h"
#include "virtual/gpx_writer.h"
#include "window/message_dialogs.h"

#include <glibmm/miscutils.h>
#include <gtkmm/clipboard.h>
#include <gtkmm/dialog.h>
#include <gtkmm/filechooserdialog.h>
#include <gtkmm/messagedialog.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace vistra::test {
namespace {

constexpr u64 T0 = 1'700'000'000'000;

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class GpsExportTest : public StoreFixture {
protected:
    GpsExportTest()
    {
        setDialogRunner([this](Gtk::Dialog& dialog) {
            if (auto* message = dynamic_cast<Gtk::MessageDialog*>(&dialog)) {
                dialogs.push_back(message->property_text().get_value().raw());
                return int(Gtk::RESPONSE_OK);
            }
            auto* chooser = dynamic_cast<Gtk::FileChooserDialog*>(&dialog);
            EXPECT_NE(chooser, nullptr);
            return chooser ? choose(*chooser) : int(Gtk::RESPONSE_CANCEL);
        });
        track = GPSTrack::create();
        store.leftRuler = T0 + 1000;
        store.rightRuler = T0 + 2000;
        drainLog();
    }
    ~GpsExportTest() override
    {
        setDialogRunner(nullptr);
        store.leftRuler = kNoTime;
        store.rightRuler = kNoTime;
        store.title = "";
    }

    // Three fixes a second apart; the rulers take the last two.
    void addPoints()
    {
        for (u64 i = 0; i < 3; ++i)
            track->addTrackPoint(T0 + i * 1000, 59.3 + i * 0.001, 18.1, 20.0, 36.0);
        track->hasData = true;
    }
    std::string expectedText() { return gpxText(track->copy().track, GpxRange{T0 + 1000, T0 + 2000}); }

    std::shared_ptr<GPSTrack> track;
    std::vector<std::string> dialogs;
    // What the user does in the file dialog; cancels unless a test says otherwise.
    std::function<int(Gtk::FileChooserDialog&)> choose = [](Gtk::FileChooserDialog&) {
        return int(Gtk::RESPONSE_CANCEL);
    };
};

TEST_F(GpsExportTest, WritesAtOnceWhenTheTrackIsLoaded)
{
    ASSERT_NE(track, nullptr);
    addPoints();
    track->askForFile = false;

    track->exportPath = dir + "/track.gpx";
    exportGpsTrack(track);
    EXPECT_EQ(readFile(dir + "/track.gpx"), expectedText());
    EXPECT_EQ(expectedText().find("lat=\"59.30000000\""), std::string::npos); // before the rulers
    EXPECT_EQ(dialogs, std::vector<std::string>{"GPS Track created!"});

    // No file name: the text goes to the clipboard.
    auto clipboard = Gtk::Clipboard::get(GDK_SELECTION_CLIPBOARD);
    clipboard->set_text("untouched");
    track->exportPath = "";
    exportGpsTrack(track);
    EXPECT_EQ(clipboard->wait_for_text().raw(), expectedText());
    EXPECT_EQ(dialogs.size(), 2u);

    // A file that cannot be written is reported, and no success is claimed.
    const std::string unwritable = dir + "/missing/track.gpx";
    track->exportPath = unwritable;
    exportGpsTrack(track);
    EXPECT_EQ(dialogs.size(), 2u);
    EXPECT_EQ(drainLog(), std::vector<std::string>{"Could not write " + unwritable + ": No such file or directory"});
    EXPECT_FALSE(track->exportPending);
}

TEST_F(GpsExportTest, AsksForTheFileInTheFolderOfTheLastExport)
{
    ASSERT_NE(track, nullptr);
    addPoints();
    store.title = "Drive";
    std::vector<std::string> folders;
    // The chooser reads folders in the background: it names them once it has.
    const auto folderOf = [](Gtk::FileChooserDialog& chooser) {
        EXPECT_TRUE(pumpUntil([&chooser] { return !chooser.get_current_folder().empty(); }, 2000));
        return chooser.get_current_folder();
    };
    choose = [&](Gtk::FileChooserDialog& chooser) {
        EXPECT_EQ(chooser.get_title(), "Write GPS-data to file");
        EXPECT_EQ(chooser.get_action(), Gtk::FILE_CHOOSER_ACTION_SAVE);
        EXPECT_EQ(chooser.get_current_name(), "Drive.gpx");
        std::vector<std::string> filters;
        for (const auto& filter : chooser.list_filters())
            filters.push_back(filter->get_name().raw());
        EXPECT_EQ(filters, (std::vector<std::string>{"GPX-files", "ALL"}));
        folders.push_back(folderOf(chooser));
        chooser.set_current_folder(dir);
        chooser.set_current_name("chosen.gpx");
        EXPECT_TRUE(pumpUntil([&] { return chooser.get_current_folder() == dir; }, 2000));
        return int(Gtk::RESPONSE_OK);
    };
    exportGpsTrack(track);
    EXPECT_EQ(track->exportPath, dir + "/chosen.gpx");
    EXPECT_EQ(readFile(dir + "/chosen.gpx"), expectedText());
    EXPECT_EQ(dialogs, std::vector<std::string>{"GPS Track created!"});

    // The next export opens where this one went; cancelling it writes nothing.
    choose = [&](Gtk::FileChooserDialog& chooser) {
        folders.push_back(folderOf(chooser));
        return int(Gtk::RESPONSE_CANCEL);
    };
    std::filesystem::remove(dir + "/chosen.gpx");
    exportGpsTrack(track);
    ASSERT_EQ(folders.size(), 2u);
    EXPECT_EQ(folders[0], Glib::get_home_dir());
    EXPECT_EQ(folders[1], dir);
    EXPECT_FALSE(std::filesystem::exists(dir + "/chosen.gpx"));
    EXPECT_EQ(dialogs.size(), 1u);
}

TEST_F(GpsExportTest, WithoutDataTheNextLoadComputesTheTrackAndTheExportFollows)
{
    ASSERT_NE(track, nullptr);
    track->askForFile = false;
    track->exportPath = dir + "/later.gpx";
    exportGpsTrack(track);
    EXPECT_TRUE(track->exportPending);
    EXPECT_EQ(track->useCount, 1u);
    EXPECT_EQ(sig("Logger.GPS_POS.lat").useCount, 1u); // the load will decode its inputs
    EXPECT_TRUE(store.parsing);
    EXPECT_FALSE(std::filesystem::exists(dir + "/later.gpx"));

    // The load is done: the data update writes the file, once.
    addPoints();
    store.dataChanged.emit();
    EXPECT_TRUE(pumpUntil([this] { return !dialogs.empty(); }, 2000));
    EXPECT_EQ(readFile(dir + "/later.gpx"), expectedText());
    EXPECT_FALSE(track->exportPending);
    std::filesystem::remove(dir + "/later.gpx");
    store.dataChanged.emit();
    pumpUntil([] { return false; }, 100);
    EXPECT_FALSE(std::filesystem::exists(dir + "/later.gpx"));
    EXPECT_EQ(dialogs.size(), 1u);
    // A second export of the used track asks no second use.
    track->hasData = false;
    exportGpsTrack(track);
    EXPECT_EQ(track->useCount, 1u);
}

} // namespace
} // namespace vistra::test
