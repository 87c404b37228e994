// The main window's dialogs, each opened by its menu item and answered through the
// dialog runner: log files and folders, the DBC and VSD files, a new VSD file with its
// overwrite question, the signal-list files, the line colour, the title and the help.
#include "core/message.h"
#include "core/settings.h"
#include "gui_fixture.h"
#include "views/painter_task.h"
#include "window/log_folder_walk.h"
#include "window/menu_icon_item.h"
#include "window/message_dialogs.h"
#include "window/new_vsd_file.h"
#include "window/window.h"

#include <glibmm/convert.h>
#include <glibmm/keyfile.h>
#include <gtkmm/colorchooserdialog.h>
#include <gtkmm/dialog.h>
#include <gtkmm/filechooserdialog.h>
#include <gtkmm/messagedialog.h>
#include <gtkmm/label.h>

#include <sys/stat.h>

namespace vistra::test {
namespace {

namespace fs = std::filesystem;

// What the runner saw of one dialog.
struct Seen {
    std::string title;   // a message dialog's primary text
    std::string detail;  // its secondary text; a chooser's filter names, '|'-separated
    int action = -1;     // a file chooser's action
    bool multiple = false;
    std::string folder;  // where a file chooser opened
};

class DialogsTest : public StoreFixture {
protected:
    DialogsTest()
    {
        Settings::instance()->setVsdFile("./dummy");
        Settings::instance()->setDbFile(dbcPath);
        window.reload(true);
        settle(); // the reload's notice comes through the main loop
        drainLog();
        setDialogRunner([this](Gtk::Dialog& dialog) { return run(dialog); });
        reloadedConnection = window.reloaded.connect([this] { ++reloads; });
    }
    ~DialogsTest() override
    {
        reloadedConnection.disconnect();
        setDialogRunner(nullptr);
        store.clearLogFiles();
        Settings::instance()->setVsdFile("./dummy");
        Settings::instance()->setDbFile("./dummy");
    }

    // Lets the dispatchers' notices arrive.
    static void settle() { pumpUntil([] { return false; }, 50); }
    // The reload's notice is a dispatcher's: once emitted it is ready in the main loop,
    // which a busy machine may not reach within the settling time.
    int reloadsSeen()
    {
        settle();
        pumpPending();
        return reloads;
    }

    int run(Gtk::Dialog& dialog)
    {
        Seen s;
        s.title = dialog.get_title().raw();
        if (auto* message = dynamic_cast<Gtk::MessageDialog*>(&dialog)) {
            s.title = message->property_text().get_value().raw();
            s.detail = message->property_secondary_text().get_value().raw();
            seen.push_back(s);
            return answer;
        }
        if (auto* chooser = dynamic_cast<Gtk::FileChooserDialog*>(&dialog)) {
            for (const auto& filter : chooser->list_filters())
                s.detail += (s.detail.empty() ? "" : "|") + filter->get_name().raw();
            s.action = chooser->get_action();
            s.multiple = chooser->get_select_multiple();
            pumpUntil([&] { return !chooser->get_current_folder().empty(); }, 1000);
            s.folder = chooser->get_current_folder();
            seen.push_back(s);
            return choose ? choose(*chooser) : int(Gtk::RESPONSE_CANCEL);
        }
        seen.push_back(s);
        if (auto* colour = dynamic_cast<Gtk::ColorChooserDialog*>(&dialog))
            return pickColour ? pickColour(*colour) : int(Gtk::RESPONSE_CANCEL);
        return other ? other(dialog) : int(Gtk::RESPONSE_CANCEL);
    }

    // Chooses `names` (absolute paths) in the chooser and answers OK: existing ones are
    // selected, others typed as the name to save under.
    static int pick(Gtk::FileChooser& chooser, const std::vector<std::string>& names)
    {
        // A folder chooser answers with the folder it shows.
        if (chooser.get_action() == Gtk::FILE_CHOOSER_ACTION_SELECT_FOLDER && names.size() == 1) {
            chooser.set_current_folder(names.front());
            EXPECT_TRUE(pumpUntil([&] { return chooser.get_filename() == names.front(); }, 3000));
            return Gtk::RESPONSE_OK;
        }
        const std::string folder = fs::path(names.front()).parent_path();
        chooser.set_current_folder(folder);
        EXPECT_TRUE(pumpUntil([&] { return chooser.get_current_folder() == folder; }, 3000));
        if (chooser.get_action() == Gtk::FILE_CHOOSER_ACTION_SAVE) {
            chooser.set_current_name(fs::path(names.front()).filename().string());
            return Gtk::RESPONSE_OK;
        }
        for (const std::string& name : names)
            chooser.select_filename(name);
        EXPECT_TRUE(pumpUntil([&] { return chooser.get_filenames().size() == names.size(); }, 3000))
            << "the chooser did not take " << names.front();
        return Gtk::RESPONSE_OK;
    }
    void chooseFiles(std::vector<std::string> names)
    {
        choose = [names](Gtk::FileChooserDialog& chooser) { return pick(chooser, names); };
    }

    void activate(const char* menu, const char* label)
    {
        for (Gtk::Widget* top : window.menuBar.get_children()) {
            auto* topItem = static_cast<Gtk::MenuItem*>(top);
            if (topItem->get_label() != menu)
                continue;
            for (Gtk::Widget* child : topItem->get_submenu()->get_children())
                if (auto* item = dynamic_cast<MenuIconItem*>(child); item && item->label.get_label() == label) {
                    EXPECT_TRUE(item->get_sensitive()) << label;
                    item->activate();
                    return;
                }
        }
        ADD_FAILURE() << "no menu item " << label;
    }

    // A copy of the example log under `name`.
    std::string logCopy(const std::string& name)
    {
        const std::string path = dir + "/" + name;
        fs::create_directories(fs::path(path).parent_path());
        fs::copy_file(TARNWICK_SOURCE_DIR "/examples/drive.lz4", path);
        return path;
    }

    // The value of a "global" key in the settings file as saved.
    static std::string savedSetting(const char* key)
    {
        Glib::KeyFile file;
        file.load_from_file(Glib::filename_from_utf8(Settings::instance()->settingsPath));
        return file.has_key("global", key) ? file.get_string("global", key).raw() : "";
    }

    Window& window = Window::instance();
    std::vector<Seen> seen;
    int answer = Gtk::RESPONSE_OK; // of message dialogs
    std::function<int(Gtk::FileChooserDialog&)> choose;
    std::function<int(Gtk::ColorChooserDialog&)> pickColour;
    std::function<int(Gtk::Dialog&)> other;
    int reloads = 0;
    sigc::connection reloadedConnection;
};

TEST_F(DialogsTest, EachFileDialogOpensFromItsMenuItemAndCancelChangesNothing)
{
    struct Case {
        const char* menu;
        const char* label;
        const char* title;
        Gtk::FileChooserAction action;
        bool multiple;
        const char* filters;
    };
    const Case cases[] = {
        {"_File", "Load _VSD file", "Select VSD file", Gtk::FILE_CHOOSER_ACTION_OPEN, false, "VSD files|all files"},
        {"_File", "New VSD file", "Create new VSD file", Gtk::FILE_CHOOSER_ACTION_SAVE, false, "New VSD file|all files"},
        {"_File", "Load DB_C file", "Select DBC file", Gtk::FILE_CHOOSER_ACTION_OPEN, false, "DBC files|all files"},
        {"_File", "_Open _log file(s)", "Select log files", Gtk::FILE_CHOOSER_ACTION_OPEN, true, "Log files|all files"},
        {"_File", "Open log _directory", "Select log directories", Gtk::FILE_CHOOSER_ACTION_SELECT_FOLDER, true,
         "Log directories|all files"},
        {"Signal _list", "Store signals _to file", "Store signal list to file", Gtk::FILE_CHOOSER_ACTION_SAVE, false,
         "Signal list files|all files"},
        {"Signal _list", "Restore signals fr_om file", "Select signal list file", Gtk::FILE_CHOOSER_ACTION_OPEN, false,
         "Signal list files|all files"},
    };
    const std::string settingsBefore = readFileText(Settings::instance()->settingsPath);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        seen.clear();
        activate(c.menu, c.label);
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].title, c.title);
        EXPECT_EQ(seen[0].action, c.action);
        EXPECT_EQ(seen[0].multiple, c.multiple);
        EXPECT_EQ(seen[0].detail, c.filters);
    }
    EXPECT_EQ(reloadsSeen(), 0);
    EXPECT_EQ(Settings::instance()->getDbFile(), dbcPath);
    EXPECT_EQ(readFileText(Settings::instance()->settingsPath), settingsBefore);
    EXPECT_TRUE(drainLog().empty());
}

TEST_F(DialogsTest, DefinitionFileDialogsOpenBesideTheFileInUseAndReplaceIt)
{
    // The DBC dialog opens in the DBC file's folder, the VSD dialog falls back to it.
    const std::string vsd = dir + "/defs/drive.vsd";
    fs::create_directories(dir + "/defs");
    fs::copy_file(TARNWICK_SOURCE_DIR "/examples/drive.vsd", vsd);
    fs::copy_file(TARNWICK_SOURCE_DIR "/examples/drive.dbc", dir + "/defs/drive.dbc");
    fs::copy_file(TARNWICK_SOURCE_DIR "/examples/fuel_map.txt", dir + "/defs/fuel_map.txt");

    chooseFiles({vsd});
    activate("_File", "Load _VSD file");
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].folder, dir);
    EXPECT_EQ(Settings::instance()->getVsdFile(), vsd);
    EXPECT_EQ(Settings::instance()->getDbFile(), "./dummy");
    EXPECT_EQ(savedSetting("vsdFile"), vsd);
    EXPECT_EQ(savedSetting("dbFile"), "./dummy");
    EXPECT_EQ(reloadsSeen(), 1);
    EXPECT_NO_THROW(store.findSignal("Virt.Dynamics.SpeedMs")) << testing::PrintToString(drainLog());

    chooseFiles({dbcPath});
    activate("_File", "Load DB_C file");
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].folder, dir + "/defs"); // no DBC file set: the VSD file's folder
    EXPECT_EQ(Settings::instance()->getDbFile(), dbcPath);
    EXPECT_EQ(Settings::instance()->getVsdFile(), "./dummy");
    EXPECT_EQ(savedSetting("dbFile"), dbcPath);
    EXPECT_EQ(savedSetting("vsdFile"), "./dummy");
    EXPECT_EQ(reloadsSeen(), 2);
    EXPECT_NO_THROW(store.findSignal("Can.motor.rpm"));
}

TEST_F(DialogsTest, LogFilesAreCheckedAndTheirFolderRemembered)
{
    const std::string good = logCopy("logs/b.lz4");
    const std::string junk = dir + "/logs/a.lz4";
    std::ofstream(junk) << "no log file\n";

    chooseFiles({good});
    activate("_File", "_Open _log file(s)");
    EXPECT_EQ(store.logFiles(), std::list<Glib::ustring>{good});
    EXPECT_EQ(reloadsSeen(), 1);
    EXPECT_TRUE(drainLog().empty());
    EXPECT_EQ(Settings::instance()->getLogPath(), dir + "/logs");
    EXPECT_EQ(savedSetting("log_path"), dir + "/logs");

    // Nothing usable chosen: the old list is gone and the user is told.
    chooseFiles({junk});
    activate("_File", "_Open _log file(s)");
    EXPECT_EQ(seen.back().folder, dir + "/logs");
    EXPECT_FALSE(store.hasLogFiles());
    // (The reload's flush of the message log takes the skipped file's notice.)
    EXPECT_EQ(drainLog(), std::vector<std::string>{"No log files found"});
    EXPECT_EQ(reloadsSeen(), 2);
}

TEST_F(DialogsTest, LogDirectoriesAreWalkedAndAFolderThatVanishedIsReported)
{
    const std::string log = logCopy("trip1/day/x.lz4");
    logCopy("trip2/y.lz4");
    chooseFiles({dir + "/trip1"});
    activate("_File", "Open log _directory");
    EXPECT_EQ(store.logFiles(), std::list<Glib::ustring>{log});
    EXPECT_EQ(Settings::instance()->getLogPath(), dir); // the chosen folder's parent
    EXPECT_EQ(reloadsSeen(), 1);
    EXPECT_TRUE(drainLog().empty());

    choose = [&](Gtk::FileChooserDialog& chooser) {
        const int response = pick(chooser, {dir + "/trip2"});
        fs::remove_all(dir + "/trip2"); // gone between the choice and the walk
        return response;
    };
    seen.clear();
    testing::internal::CaptureStderr();
    activate("_File", "Open log _directory");
    const std::string stderrText = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(store.hasLogFiles());
    // The warning comes first, in the reload's "Errors and warnings" dialog.
    EXPECT_NE(stderrText.find("Failed to open log directory: " + dir + "/trip2"), std::string::npos) << stderrText;
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].title, "Errors and warnings");
    EXPECT_EQ(drainLog(), std::vector<std::string>{"No log files found"});
    EXPECT_EQ(reloadsSeen(), 2);
}

// The example drive as a new user opens it: the log dialog's own filter shows it, the
// folder walk finds it, and its logger's header brings the GPS menu.
TEST_F(DialogsTest, TheExampleDriveIsOfferedByBothLogDialogsAndShowsTheGpsMenu)
{
    const std::string examples = TARNWICK_SOURCE_DIR "/examples";
    const std::string drive = examples + "/drive.lz4";
    const auto gpsMenuShown = [this] {
        for (Gtk::Widget* top : window.menuBar.get_children())
            if (static_cast<Gtk::MenuItem*>(top)->get_label() == "_GPS")
                return top->get_visible();
        ADD_FAILURE() << "no GPS menu";
        return false;
    };
    EXPECT_FALSE(gpsMenuShown()); // no log yet

    bool shownByFilter = false;
    choose = [&](Gtk::FileChooserDialog& chooser) {
        const std::string name = fs::path(drive).filename().string();
        GtkFileFilterInfo info{};
        info.contains = GtkFileFilterFlags(GTK_FILE_FILTER_FILENAME | GTK_FILE_FILTER_DISPLAY_NAME);
        info.filename = drive.c_str();
        info.display_name = name.c_str();
        shownByFilter = chooser.get_filter() && gtk_file_filter_filter(chooser.get_filter()->gobj(), &info);
        return pick(chooser, {drive});
    };
    activate("_File", "_Open _log file(s)");
    EXPECT_TRUE(shownByFilter) << "the \"Log files\" filter hides " << drive;
    EXPECT_EQ(store.logFiles(), std::list<Glib::ustring>{drive});
    EXPECT_TRUE(store.multiCanHeader);
    EXPECT_TRUE(gpsMenuShown());

    chooseFiles({examples});
    activate("_File", "Open log _directory");
    EXPECT_EQ(store.logFiles(), std::list<Glib::ustring>{drive});
    EXPECT_TRUE(gpsMenuShown());
    EXPECT_TRUE(drainLog().empty());
}

TEST(LogFolderWalk, FindsExactlyTheLz4FilesAtAnyDepthWithoutFollowingFolderLinks)
{
    char tmpl[] = "/tmp/tarnwick-walk-XXXXXX";
    const fs::path root = mkdtemp(tmpl);
    const std::pair<const char*, bool> files[] = {
        {"a.lz4", true},          {"deep/er/still/b.lz4", true}, {"c.LZ4", false},
        {"d.lz4.bak", false},     {"e.lz4x", false},             {"f.lz", false},
        {"dir.lz4/g.lz4", true}, // a folder named like a log is walked, not added
    };
    for (const auto& [name, _] : files) {
        fs::create_directories((root / name).parent_path());
        std::ofstream(root / name) << "x";
    }
    fs::create_symlink(root / "a.lz4", root / "deep/link.lz4");      // a link to a file counts
    fs::create_symlink(root / "nowhere", root / "dangling.lz4");     // a link to nothing does not
    fs::create_symlink(root, root / "deep/loop");                     // never followed
    fs::create_symlink(root / "deep/er", root / "shortcut");          // nor this one

    std::set<std::string> found;
    std::size_t calls = 0;
    EXPECT_TRUE(collectLogFiles(root, [&](const std::string& path) {
        found.insert(fs::path(path).lexically_relative(root).string());
        ++calls;
    }));
    std::set<std::string> expected = {"deep/link.lz4"};
    for (const auto& [name, in] : files)
        if (in)
            expected.insert(name);
    EXPECT_EQ(found, expected);
    EXPECT_EQ(calls, expected.size());

    EXPECT_FALSE(collectLogFiles(root / "missing", [](const std::string&) { ADD_FAILURE(); }));
    EXPECT_FALSE(collectLogFiles(root / "a.lz4", [](const std::string&) { ADD_FAILURE(); }));
    fs::remove_all(root);
}

TEST(NewVsdFile, NamesGetTheirExtensionOnceAndTheExampleIsExact)
{
    const std::pair<const char*, const char*> names[] = {
        {"n", "n.vsd"}, {"n.vsd", "n.vsd"}, {"n.VSD", "n.VSD.vsd"}, {"n.vsd.bak", "n.vsd.bak.vsd"}, {"", ".vsd"}};
    for (const auto& [in, out] : names)
        EXPECT_EQ(withExtension(in, ".vsd"), out) << in;
    EXPECT_EQ(withExtension("sel", ".bvlist"), "sel.bvlist");
    EXPECT_EQ(withExtension("sel.bvlist", ".bvlist"), "sel.bvlist");

    const std::string text = kNewVsdText;
    EXPECT_EQ(text.size(), 241u);
    EXPECT_EQ(linesOf(text).size(), 11u);
    EXPECT_EQ(text.back(), '\n');
    // It reads as a VSD file: two interfaces, an include, no signal.
    Glib::KeyFile file;
    ASSERT_NO_THROW(file.load_from_data(text));
    EXPECT_EQ(file.get_groups().size(), 1u);
    EXPECT_EQ(file.get_string("settings", "dbcfile_0"),
              "dbc_in_sam_dir.dbc;/home/me/path/to/file/dbc_in_other_dir.dbc");
    EXPECT_EQ(file.get_string("settings", "include"), "path_to_other.vsd");
}

class NewVsdTest : public DialogsTest {
protected:
    NewVsdTest()
    {
        // The "editor" notes the file it was asked to open.
        editor = dir + "/editor.sh";
        std::ofstream(editor) << "#!/bin/sh\nprintf '%s' \"$1\" > " << dir << "/edited\n";
        chmod(editor.c_str(), 0755);
        Settings::instance()->setDefaultEditor(editor);
    }
    std::string editor;
};

TEST_F(NewVsdTest, ANewFileGetsTheExampleAndBecomesTheVsdFile)
{
    chooseFiles({dir + "/fresh"});
    activate("_File", "New VSD file");
    const std::string path = dir + "/fresh.vsd";
    EXPECT_EQ(readFileText(path), kNewVsdText);
    EXPECT_FALSE(fs::exists(path + "~"));
    EXPECT_EQ(Settings::instance()->getVsdFile(), path);
    EXPECT_EQ(Settings::instance()->getDbFile(), "./dummy");
    EXPECT_EQ(savedSetting("vsdFile"), path);
    EXPECT_EQ(reloadsSeen(), 1);
    EXPECT_TRUE(pumpUntil([&] { return readFileText(dir + "/edited") == path; }));
    // Only the chooser asked: no overwrite question for a new file. (The example's
    // DBC files do not exist, which the reload reports.)
    EXPECT_EQ(seen.front().title, "Create new VSD file");
    for (std::size_t i = 1; i < seen.size(); ++i)
        EXPECT_EQ(seen[i].title, "Errors and warnings");
    drainLog();
}

TEST_F(NewVsdTest, AnExistingFileIsReplacedOnlyAfterYes)
{
    struct Case {
        const char* typed;
        int answer;
        bool replaced;
    };
    const Case cases[] = {
        {"old", Gtk::RESPONSE_NO, false},
        {"old.vsd", Gtk::RESPONSE_DELETE_EVENT, false}, // closed without an answer
        {"old", Gtk::RESPONSE_YES, true},
    };
    const std::string path = dir + "/old.vsd";
    const std::string before = "[Mine]\nmethod=average\n";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        std::ofstream(path, std::ios::trunc) << before;
        fs::remove(path + "~");
        Settings::instance()->setVsdFile("./dummy");
        Settings::instance()->setDbFile(dbcPath);
        seen.clear();
        settle();
        reloads = 0;
        answer = c.answer;
        chooseFiles({dir + "/" + c.typed});
        activate("_File", "New VSD file");
        ASSERT_GE(seen.size(), 2u);
        EXPECT_EQ(seen[1].title, "\"old.vsd\" already exists, do you want to overwrite it?");
        if (c.replaced) {
            EXPECT_EQ(readFileText(path), kNewVsdText);
            EXPECT_EQ(readFileText(path + "~"), before);
            EXPECT_EQ(Settings::instance()->getVsdFile(), path);
            EXPECT_EQ(reloadsSeen(), 1);
        } else {
            EXPECT_EQ(readFileText(path), before);
            EXPECT_FALSE(fs::exists(path + "~"));
            EXPECT_EQ(Settings::instance()->getVsdFile(), "./dummy");
            EXPECT_EQ(Settings::instance()->getDbFile(), dbcPath);
            EXPECT_EQ(reloadsSeen(), 0);
            EXPECT_FALSE(fs::exists(dir + "/edited"));
        }
    }
    drainLog();
}

TEST_F(NewVsdTest, AFileThatCannotBeWrittenIsReportedAndChangesNothing)
{
    fs::create_directory(dir + "/taken.vsd");
    chooseFiles({dir + "/taken"});
    answer = Gtk::RESPONSE_YES;
    activate("_File", "New VSD file");
    const auto log = drainLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].rfind("Couldn't create new VSD file: ", 0), 0u) << log[0];
    EXPECT_EQ(Settings::instance()->getVsdFile(), "./dummy");
    EXPECT_EQ(Settings::instance()->getDbFile(), dbcPath);
    EXPECT_EQ(reloadsSeen(), 0);
    pumpUntil([] { return false; }, 100);
    EXPECT_FALSE(fs::exists(dir + "/edited"));
}

TEST_F(DialogsTest, SignalListFilesStoreAndRestoreTheSelection)
{
    sig("Can.motor.rpm").setEnabled(true);
    sig("Can.Body.door").setEnabled(true);
    const std::string listDir = dir + "/lists";
    fs::create_directory(listDir);

    for (const char* typed : {"sel", "other.bvlist"}) {
        chooseFiles({listDir + "/" + typed});
        activate("Signal _list", "Store signals _to file");
    }
    Glib::KeyFile stored;
    ASSERT_NO_THROW(stored.load_from_file(listDir + "/sel.bvlist"));
    EXPECT_EQ(stored.get_string("storetofile", "signalList"), "Can.motor.rpm;Can.Body.door;");
    EXPECT_TRUE(fs::exists(listDir + "/other.bvlist"));
    EXPECT_FALSE(fs::exists(listDir + "/other.bvlist.bvlist"));
    EXPECT_EQ(Settings::instance()->getListPath(), listDir);

    // A file without the list changes nothing.
    const std::string stranger = listDir + "/stranger.bvlist";
    std::ofstream(stranger) << "[elsewhere]\nsignalList=Can.Body.Speed;\n";
    Settings::instance()->setListPath(dir);
    sig("Can.Body.door").setEnabled(false);
    chooseFiles({stranger});
    activate("Signal _list", "Restore signals fr_om file");
    EXPECT_EQ(enabledSignals(), std::vector<std::string>{"Can.motor.rpm"});
    EXPECT_EQ(Settings::instance()->getListPath(), dir);

    chooseFiles({listDir + "/sel.bvlist"});
    activate("Signal _list", "Restore signals fr_om file");
    EXPECT_EQ(enabledSignals(), (std::vector<std::string>{"Can.Body.door", "Can.motor.rpm"}));
    EXPECT_EQ(Settings::instance()->getListPath(), listDir);
    EXPECT_TRUE(drainLog().empty());

    // Within one run the dialogs keep opening where the first of them did.
    ASSERT_EQ(seen.size(), 4u);
    for (const Seen& s : seen)
        EXPECT_EQ(s.folder, seen[0].folder);
}

TEST_F(DialogsTest, LineColourIsStoredAndShownOnlyAfterOk)
{
    int redraws = 0;
    sigc::connection counting = store.dataChanged.connect([&] { ++redraws; });
    const auto rowMarkup = [&](LogList& list, const Glib::ustring& name) {
        Glib::ustring markup;
        list.get_model()->foreach_iter([&](const Gtk::TreeIter& row) {
            if ((*row)[listColumns().name] == name)
                markup = (*row)[listColumns().markup];
            return !markup.empty();
        });
        return markup.raw();
    };
    // Signals get their colours from the settings through the look-up the program installs.
    store.setColorCallback([](const Glib::ustring& iface, const Glib::ustring& msg, const Glib::ustring& sig) {
        return Settings::instance()->getSignalColor(iface, msg, sig);
    });
    window.reload(true);
    std::shared_ptr<Signal> rpm = store.findSignal("Can.motor.rpm");
    std::shared_ptr<Signal> load;
    store.forEachSignal([&](Signal& s) {
        if (!load && s.parent && s.parent->name == "BusLoad")
            load = s.shared_from_this();
    });
    ASSERT_TRUE(load);

    struct Case {
        std::shared_ptr<Signal> signal;
        LogList* list;
        Glib::ustring row;
        Glib::ustring settingsKey[3];
        bool ok;
    };
    const Case cases[] = {
        {rpm, &window.dataList, "rpm", {"Can", "motor", "rpm"}, false},
        {rpm, &window.dataList, "rpm", {"Can", "motor", "rpm"}, true},
        {load, &window.statList, load->name, {"ST_Can", "BusLoad", load->name}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.signal->fullName + (c.ok ? " OK" : " cancelled"));
        const Glib::ustring before = c.signal->colour;
        const std::string markupBefore = rowMarkup(*c.list, c.row);
        Glib::ustring preset;
        pickColour = [&](Gtk::ColorChooserDialog& chooser) {
            EXPECT_EQ(chooser.get_title(), "Select line color");
            EXPECT_EQ(chooser.get_transient_for(), &window);
            preset = chooser.get_rgba().to_string();
            chooser.set_rgba(Gdk::RGBA("rgba(51,102,153,0.5)"));
            return c.ok ? int(Gtk::RESPONSE_OK) : int(Gtk::RESPONSE_CANCEL);
        };
        settle();
        redraws = 0;
        window.prepareSignalMenu(c.signal);
        window.popupItem(PopupSignal, PopupChangeColor).activate();
        EXPECT_EQ(preset, Gdk::RGBA(before).to_string());
        const auto& key = c.settingsKey;
        pumpUntil([] { return false; }, 50);
        if (!c.ok) {
            EXPECT_EQ(c.signal->colour, before);
            EXPECT_EQ(rowMarkup(*c.list, c.row), markupBefore);
            EXPECT_EQ(Settings::instance()->getSignalColor(key[0], key[1], key[2]), before);
            EXPECT_EQ(redraws, 0);
            continue;
        }
        EXPECT_EQ(c.signal->colour, "#333366669999"); // the alpha is dropped
        EXPECT_EQ(Settings::instance()->getSignalColor(key[0], key[1], key[2]), "#333366669999");
        EXPECT_NE(rowMarkup(*c.list, c.row).find("#333366669999"), std::string::npos) << rowMarkup(*c.list, c.row);
        EXPECT_EQ(redraws, 1);
        // The plots' next paint of the signal takes the colour.
        const PainterTask task(nullptr, 0, c.signal, 0, 1, 10, 10, 0, 0);
        EXPECT_DOUBLE_EQ(task.red, 0x3333 / 65535.0);
        EXPECT_DOUBLE_EQ(task.green, 0x6666 / 65535.0);
        EXPECT_DOUBLE_EQ(task.blue, 0x9999 / 65535.0);
    }
    // The next load takes the stored colour.
    window.reload(true);
    store.setColorCallback(nullptr);
    EXPECT_EQ(store.findSignal("Can.motor.rpm")->colour, "#333366669999");
    counting.disconnect();
}

TEST_F(DialogsTest, TitleChangesOnUpdateOrEnterOnly)
{
    struct Case {
        const char* typed;
        int response;
        bool enter;
        const char* title;
    };
    const Case cases[] = {
        {"Cancelled", Gtk::RESPONSE_DELETE_EVENT, false, "Before"},
        {"Updated", Gtk::RESPONSE_OK, false, "Updated"},
        {"Entered", Gtk::RESPONSE_NONE, true, "Entered"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        store.title = "Before";
        window.set_title("Before");
        bool hidden = false;
        other = [&](Gtk::Dialog& dialog) {
            EXPECT_EQ(dialog.get_title(), "Change title");
            EXPECT_EQ(dialog.get_transient_for(), &window);
            std::vector<Gtk::Widget*> children = dialog.get_content_area()->get_children();
            Gtk::Entry* entry = nullptr;
            for (Gtk::Widget* child : children)
                if (!entry)
                    entry = dynamic_cast<Gtk::Entry*>(child);
            EXPECT_TRUE(entry);
            if (!entry)
                return int(Gtk::RESPONSE_CANCEL);
            EXPECT_EQ(entry->get_text(), "Before");
            entry->set_text(c.typed);
            if (c.enter) {
                dialog.show();
                GdkEvent* key = gdk_event_new(GDK_KEY_PRESS);
                key->key.window = GDK_WINDOW(g_object_ref(entry->get_window()->gobj()));
                key->key.keyval = GDK_KEY_KP_Enter;
                gboolean handled = false;
                g_signal_emit_by_name(entry->gobj(), "key-press-event", key, &handled);
                gdk_event_free(key);
                hidden = !dialog.get_visible();
            }
            return c.response;
        };
        activate("_Window", "_Change title");
        EXPECT_EQ(store.title, c.title);
        EXPECT_EQ(window.get_title(), c.title);
        EXPECT_EQ(hidden, c.enter);
    }
    store.title = "Signal Plot";
    window.set_title(store.title);
}

TEST_F(DialogsTest, HelpShowsTheCommandsAndLinksTheQuickGuide)
{
    answer = Gtk::RESPONSE_OK;
    activate("_Help", "_Commands and controls (F1)");
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].title, "Commands and controls");
    const std::string markup = seen[0].detail;
    EXPECT_EQ(markup, helpMarkup(Window::quickGuidePath()).raw());
    Gtk::Label shown;
    shown.set_markup(markup);
    const std::string shownText = shown.get_text().raw();
    EXPECT_EQ(shownText.find('<'), std::string::npos) << "the markup did not parse";
    EXPECT_NE(shownText.find("Open Quick Guide"), std::string::npos);
    const auto lines = linesOf(markup);
    ASSERT_EQ(lines.size(), 31u);
    EXPECT_EQ(lines[1], "<b>Left click</b>                show main ruler");
    EXPECT_EQ(lines[28], "</span><span foreground='black' font_family='monospace' ><b>Version:</b> 5.04");
    // The guide lies in the documentation folder of the install.
    EXPECT_EQ(lines[30], "</span><span font_family='monospace' weight='bold'><a href=\"file:///" +
                             Window::docDir().raw() +
                             "/help/tarnwick_quick_guide/index.html\">Open Quick Guide</a></span>");
}

} // namespace
} // namespace vistra::test
