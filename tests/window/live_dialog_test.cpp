#include "window/live_dialog.h"

#include "core/settings.h"
#include "gui_fixture.h"
#include "store/live_file.h"
#include "window/live_address.h"
#include "window/window.h"

#include "views/dialog_runner.h"

#include <glibmm/fileutils.h>
#include <glibmm/miscutils.h>
#include <gtkmm/dialog.h>
#include <gtkmm/messagedialog.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vistra::test {
namespace {

mode_t modeOf(const std::string& path)
{
    struct stat info {};
    lstat(path.c_str(), &info);
    return info.st_mode & 0777;
}

TEST(LiveAddress, PortTextsAndTheAddressShown)
{
    struct Case {
        const char* text;
        u32 port;
        bool warned;
    };
    const Case cases[] = {
        {"", 777, false},      {"8080", 8080, false}, {"0x1F90", 8080, false}, {"010", 8, false},
        {"8080:9", 8080, false}, {"1", 1, false},     {"65535", 65535, false}, {"0", 777, true},
        {"-5", 777, true},     {"abc", 777, true},    {"65536", 777, true},   {"5000000000", 777, true},
        {"99999999999999999999", 777, true},
    };
    drainLog();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        testing::internal::CaptureStderr();
        EXPECT_EQ(livePortFromText(c.text), c.port);
        testing::internal::GetCapturedStderr();
        const std::vector<std::string> warning{std::string("Invalid port '") + c.text + "', using 777 (default)"};
        EXPECT_EQ(drainLog(), c.warned ? warning : std::vector<std::string>{});
    }
    EXPECT_EQ(composeLiveAddress("h", ""), "h");
    EXPECT_EQ(composeLiveAddress("h", "777"), "h");
    EXPECT_EQ(composeLiveAddress("h", "0777"), "h:0777");
    EXPECT_EQ(composeLiveAddress("h", "8080"), "h:8080");
}

class LiveDialogTest : public StoreFixture {
protected:
    LiveDialogTest()
    {
        savedLivePath = store.liveFilePath;
        store.liveFilePath = dir + "/current";
        Settings::instance()->setVsdFile("./dummy");
        Settings::instance()->setDbFile(dbcPath);
        setDialogRunner([this](Gtk::Dialog& dialog) {
            if (auto* message = dynamic_cast<Gtk::MessageDialog*>(&dialog)) {
                dialogs.push_back(message->property_text().get_value().raw());
                return answer;
            }
            auto* chooser = dynamic_cast<Gtk::FileChooserDialog*>(&dialog);
            if (!chooser) {
                dialogs.push_back(dialog.get_title().raw());
                return int(Gtk::RESPONSE_CANCEL);
            }
            dialogs.push_back(chooser->get_title().raw());
            // The chooser reads folders in the background: the name counts once it has.
            const std::string wanted = dir + "/" + chosenName;
            if (chooser->get_action() == Gtk::FILE_CHOOSER_ACTION_SAVE) {
                chooser->set_current_folder(Glib::path_get_dirname(wanted));
                chooser->set_current_name(Glib::path_get_basename(wanted));
            } else {
                chooser->set_filename(wanted);
            }
            pumpUntil([&] { return chooser->get_filename() == wanted; }, 2000);
            return int(Gtk::RESPONSE_OK);
        });
        dialog.needsRefresh = false;
        dialog.vsdFromFile.clear();
        dialog.dbcFromFile.clear();
        drainLog();
    }
    ~LiveDialogTest() override
    {
        dialog.endConnecting();
        setDialogRunner(nullptr);
        store.networkMode = false;
        store.live = false;
        store.liveFilePath = savedLivePath;
        store.host = "";
        store.key = "";
        store.port = 777;
        Settings::instance()->setDbFile("./dummy");
        Settings::instance()->setVsdFile("./dummy");
    }

    void fill(const char* name, const char* address, const char* key)
    {
        dialog.nameEntry.set_text(name);
        dialog.addressEntry.set_text(address);
        dialog.keyEntry.set_text(key);
    }
    std::vector<std::string> fields()
    {
        return {dialog.nameEntry.get_text(), dialog.addressEntry.get_text(), dialog.keyEntry.get_text()};
    }

    ConnectLiveDialog& dialog = Window::instance().connectLiveDialog;
    std::string savedLivePath;
    std::vector<std::string> dialogs;
    std::string chosenName = "conn";
    int answer = Gtk::RESPONSE_YES;
};

TEST_F(LiveDialogTest, ConnectHandsTheFieldsToTheStoreAndWaitsForTheAttempt)
{
    fill("Bench", "host:0x1F90", "pw");
    Settings::instance()->setVsdFile(dir + "/old.vsd");
    dialog.dbcFromFile = dbcPath; // as an opened file leaves it
    dialog.show();
    dialog.connectLive();

    EXPECT_EQ(store.host, "host");
    EXPECT_EQ(store.port, 8080u);
    EXPECT_EQ(store.key, "pw");
    EXPECT_EQ(store.title, "Bench");
    EXPECT_TRUE(store.networkMode);
    EXPECT_TRUE(store.live);
    EXPECT_FALSE(store.parsing); // a live source is no parse: the window stays usable
    EXPECT_EQ(Window::instance().get_title(), "Bench");
    EXPECT_EQ(Settings::instance()->getVsdFile(), "./dummy");
    const Glib::ustring dbc = Settings::instance()->getDbFile();
    EXPECT_EQ(dbc, Glib::canonicalize_filename(dbcPath));
    EXPECT_TRUE(dialog.dbcFromFile.empty());
    EXPECT_EQ(readFileText(store.liveFilePath), "TITLE=Bench\nSERVER=host\nPORT=8080\nKEY=pw\nDBC=" + dbc + "\n");
    EXPECT_EQ(modeOf(store.liveFilePath), 0600u);

    // While the attempt runs, Enter does not start another one.
    EXPECT_TRUE(dialog.connecting);
    EXPECT_FALSE(dialog.connectButton.get_visible());
    EXPECT_TRUE(dialog.spinner.get_visible());
    EXPECT_FALSE(dialog.addressEntry.get_sensitive());
    EXPECT_FALSE(dialog.keyEntry.get_sensitive());
    EXPECT_TRUE(dialog.nameEntry.get_sensitive());
    dialog.nameEntry.set_text("Other");
    GdkEventKey enter{};
    enter.keyval = 0xff8d;
    EXPECT_FALSE(dialog.onKeyPress(&enter));
    EXPECT_EQ(store.title, "Bench");

    store.connectFinished.emit();
    ASSERT_TRUE(pumpUntil([&] { return !dialog.connecting; }, 2000));
    EXPECT_FALSE(dialog.get_visible());
    EXPECT_TRUE(dialog.connectButton.get_visible());
    EXPECT_FALSE(dialog.spinner.get_visible());
    EXPECT_TRUE(dialog.addressEntry.get_sensitive());
    EXPECT_TRUE(dialog.keyEntry.get_sensitive());
}

TEST_F(LiveDialogTest, BusyStoreShowsNoChooserAndConnectsNothing)
{
    store.parsing = true;
    fill("Bench", "host", "");
    dialog.show();
    testing::internal::CaptureStderr();
    dialog.connectLive();
    dialog.saveLiveFile();
    dialog.openLiveFile();
    testing::internal::GetCapturedStderr();
    EXPECT_FALSE(dialog.get_visible());
    EXPECT_FALSE(dialog.connecting);
    EXPECT_FALSE(store.networkMode);
    EXPECT_TRUE(dialogs.empty());
    EXPECT_FALSE(Glib::file_test(store.liveFilePath, Glib::FILE_TEST_EXISTS));
}

TEST_F(LiveDialogTest, SaveAndOpenRoundTrip)
{
    const Glib::ustring dbc = Settings::instance()->getDbFile();
    const std::string saved = dir + "/conn.bvlive";
    fill("Car", "10.0.0.5", "");
    dialog.saveLiveFile();
    EXPECT_EQ(readFileText(saved), "TITLE=Car\nSERVER=10.0.0.5\nPORT=777\nDBC=" + dbc + "\n");
    EXPECT_EQ(modeOf(saved), 0600u);
    EXPECT_EQ(Settings::instance()->getLivePath(), dir);
    EXPECT_EQ(dialogs, std::vector<std::string>{"Select file to save to"});

    // The final name exists: No keeps the file as it is, Yes replaces it (user-only again).
    fill("Car", "10.0.0.5:8000", "pw");
    answer = Gtk::RESPONSE_NO;
    dialog.saveLiveFile();
    EXPECT_EQ(readFileText(saved), "TITLE=Car\nSERVER=10.0.0.5\nPORT=777\nDBC=" + dbc + "\n");
    EXPECT_EQ(dialogs.back(), "\"conn.bvlive\" already exists, do you want to overwrite it?");
    chmod(saved.c_str(), 0644);
    answer = Gtk::RESPONSE_YES;
    dialog.saveLiveFile();
    EXPECT_EQ(readFileText(saved), "TITLE=Car\nSERVER=10.0.0.5\nPORT=8000\nKEY=pw\nDBC=" + dbc + "\n");
    EXPECT_EQ(modeOf(saved), 0600u);

    chosenName = "conn.BVLIVE";
    dialog.saveLiveFile();
    EXPECT_TRUE(Glib::file_test(dir + "/conn.BVLIVE.bvlive", Glib::FILE_TEST_IS_REGULAR));

    fill("", "", "");
    chosenName = "conn.bvlive";
    dialog.openLiveFile();
    EXPECT_EQ(fields(), (std::vector<std::string>{"Car", "10.0.0.5:8000", "pw"}));
    EXPECT_EQ(dialog.dbcFromFile, dbc);

    // A hand-written file with CR LF lines and a path relative to its folder; the paths of
    // the first file are gone.
    std::filesystem::create_directory(dir + "/live");
    std::ofstream(dir + "/live/hand.bvlive") << "TITLE=Hand\r\nSERVER=h\r\nPORT=777\r\nVSD=sub/defs.vsd\r\n";
    chosenName = "live/hand.bvlive";
    dialog.openLiveFile();
    EXPECT_EQ(fields(), (std::vector<std::string>{"Hand", "h", "pw"}));
    EXPECT_EQ(dialog.vsdFromFile, dir + "/live/sub/defs.vsd");
    EXPECT_TRUE(dialog.dbcFromFile.empty());

    // Something that is no file to read (a FIFO would block a plain reader).
    chosenName = "fifo.bvlive";
    ASSERT_EQ(mkfifo((dir + "/fifo.bvlive").c_str(), 0600), 0);
    testing::internal::CaptureStderr();
    dialog.openLiveFile();
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(drainLog(), std::vector<std::string>{"Couldn't open " + dir + "/fifo.bvlive"});
    EXPECT_EQ(fields(), (std::vector<std::string>{"Hand", "h", "pw"}));
}

TEST_F(LiveDialogTest, FirstOpenFillsFromTheRunningConnectionOrTheLastOne)
{
    std::ofstream(store.liveFilePath) << "TITLE=Last\nSERVER=srv\nPORT=9000\nKEY=k\nVSD=/abs/x.vsd\nDBC=/abs/y.dbc\n";
    chmod(store.liveFilePath.c_str(), 0600);
    dialog.needsRefresh = true;
    dialog.open();
    EXPECT_EQ(fields(), (std::vector<std::string>{"Last", "srv:9000", "k"}));
    EXPECT_EQ(dialog.vsdFromFile, "/abs/x.vsd");
    EXPECT_TRUE(dialog.dbcFromFile.empty()); // a DBC file is loaded already
    EXPECT_FALSE(dialog.needsRefresh);

    // Only once: later changes stay as typed.
    fill("typed", "typed", "typed");
    dialog.open();
    EXPECT_EQ(fields(), (std::vector<std::string>{"typed", "typed", "typed"}));

    // A link at the path (the fixed /tmp path without HOME may hold one) is not read.
    const std::string target = store.liveFilePath;
    store.liveFilePath = dir + "/link";
    ASSERT_EQ(symlink(target.c_str(), store.liveFilePath.c_str()), 0);
    dialog.refreshFromLive();
    EXPECT_EQ(fields(), (std::vector<std::string>{"typed", "typed", "typed"}));
    // Nor is a file that another user put there.
    store.liveFilePath = target;
    if (geteuid() == 0 && chown(target.c_str(), 65534, 65534) == 0) {
        dialog.refreshFromLive();
        EXPECT_EQ(fields(), (std::vector<std::string>{"typed", "typed", "typed"}));
    }

    store.networkMode = true;
    store.host = "h";
    store.key = "pw";
    for (auto [port, address] : {std::pair{777u, "h"}, std::pair{8000u, "h:8000"}}) {
        store.port = port;
        dialog.refreshFromLive();
        EXPECT_EQ(fields(), (std::vector<std::string>{"Live connection", address, "pw"}));
    }
    dialog.hide();
}

} // namespace
} // namespace vistra::test
