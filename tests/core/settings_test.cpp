#include "core/settings.h"

#include "core/message_log.h"
#include "core/store_host.h"

#include <glibmm/fileutils.h>
#include <glibmm/keyfile.h>
#include <glibmm/miscutils.h>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace vistra {
namespace {

std::vector<MessageLog::Entry> drainLog()
{
    std::vector<MessageLog::Entry> entries;
    while (!MessageLog::instance().empty())
        entries.push_back(MessageLog::instance().pop());
    return entries;
}

bool logged(const std::vector<MessageLog::Entry>& entries, Level level, const std::string& text)
{
    for (const auto& e : entries)
        if (e.level == level && e.text.raw().rfind(text, 0) == 0)
            return true;
    return false;
}

// Points HOME at a fresh folder for one test and restores it afterwards.
class SettingsTest : public testing::Test {
protected:
    void SetUp() override
    {
        if (const char* h = std::getenv("HOME"))
            savedHome = h;
        std::string pattern = savedHome.value_or("/tmp") + "/home-XXXXXX";
        ASSERT_TRUE(mkdtemp(pattern.data()));
        home = pattern;
        setenv("HOME", home.c_str(), 1);
        drainLog();
    }
    void TearDown() override
    {
        if (savedHome)
            setenv("HOME", savedHome.value().c_str(), 1);
        else
            unsetenv("HOME");
        drainLog();
    }

    void writeSettingsFile(const std::string& text) { std::ofstream(home + "/.tarnwick") << text; }

    // The settings file as another program would read it.
    Glib::KeyFile readBack()
    {
        Glib::KeyFile file;
        file.load_from_file(home + "/.tarnwick");
        return file;
    }

    std::optional<std::string> savedHome;
    std::string home;
};

// Counts the calls that a change of the default colour makes into the Store.
struct SettingsHost : StoreHost {
    SettingsHost() { install(this); }
    ~SettingsHost() override { install(nullptr); }
    void reloadSignalColors() override { ++reloads; }
    void emitSettingsChanged() override { ++changes; }
    int reloads = 0;
    int changes = 0;
};

TEST_F(SettingsTest, FreshHomeGetsDefaultsWrittenBack)
{
    SettingsHost host;
    {
        Settings s;
        EXPECT_TRUE(Glib::file_test(home + "/.tarnwick", Glib::FILE_TEST_IS_REGULAR));
        EXPECT_TRUE(Glib::file_test(home + "/.tarnwick_siglist", Glib::FILE_TEST_IS_REGULAR));
        EXPECT_EQ(s.settingsPath, home + "/.tarnwick");
        EXPECT_EQ(s.listPath, home + "/.tarnwick_siglist");

        EXPECT_TRUE(s.getSplitView());
        EXPECT_EQ(s.getDbFile(), "./dummy");
        EXPECT_EQ(s.getVsdFile(), "./dummy");
        EXPECT_TRUE(s.getPrettyTime());
        EXPECT_FALSE(s.getShowDelta());
        EXPECT_EQ(s.getLineWidth(), 2.0);
        EXPECT_EQ(s.getListFont(), "10.0");
        EXPECT_FALSE(s.getDecimalComma());
        EXPECT_EQ(s.getBitrateInterval(), 100);
        EXPECT_EQ(s.getDefSigColor(), "#eded33333b3b");
        EXPECT_EQ(s.getBgColor(), "#efc8efc8efc8");
        EXPECT_EQ(s.getRulerColor(), "#000000000000");
        EXPECT_EQ(s.getRulerTransparency(), 0.5);
        EXPECT_EQ(s.getGridColor(), "#d2c5d2c5d2c5");
        EXPECT_EQ(s.getRulerTextColor(), "#000000000000");
        EXPECT_EQ(s.getRulerTxtTransparency(), 1.0);
        EXPECT_EQ(s.getRulerTextBackgroundColor(), "#ffffffffffff");
        EXPECT_EQ(s.getRulerTxtBackgroundTransparency(), 0.5);
        EXPECT_EQ(s.getFontSize(), 10);
        EXPECT_EQ(s.getLogPath(), "/usr/share/tarnwick/templates");
        EXPECT_EQ(s.getLivePath(), "");
        EXPECT_EQ(s.getListPath(), "");
        EXPECT_EQ(s.getDefaultEditor(), "/usr/bin/gedit");
        // The first read of the default colour stores it, which counts as a change.
        EXPECT_EQ(host.reloads, 1);
        EXPECT_EQ(host.changes, 1);
        ASSERT_TRUE(s.save());
    }
    Glib::KeyFile file = readBack();
    const char* keys[] = {"split_view", "dbFile", "vsdFile", "pretty_time", "show_delta", "line_width",
                          "list_font", "decimal_comma", "bitrate_interval", "def_sig_color", "bg_color",
                          "ruler_color", "ruler_transparancy", "grid_color", "ruler_text_color",
                          "ruler_txt_transparency", "ruler_text_background_color",
                          "ruler_txt_background_transparency", "font_size", "log_path", "live_path",
                          "list_path"};
    for (const char* key : keys)
        EXPECT_TRUE(file.has_key("global", key)) << key;
    EXPECT_EQ(file.get_double("global", "line_width"), 2.0);
    EXPECT_EQ(file.get_integer("global", "bitrate_interval"), 100);
    EXPECT_EQ(file.get_string("global", "def_sig_color"), "#eded33333b3b");
    // The editor default is stored only when it is an executable on this machine.
    EXPECT_EQ(file.has_key("global", "default_editor"),
              Glib::file_test("/usr/bin/gedit", Glib::FILE_TEST_IS_EXECUTABLE));
}

TEST_F(SettingsTest, StoredAndWrongValues)
{
    struct Case {
        const char* line;
        std::function<double(Settings&)> get;
        double expected;
        const char* key;
        const char* rewritten; // the key's text in the file after save
        const char* warning;   // expected "WRN", or null
    };
    const Case cases[] = {
        {"line_width=3.5", &Settings::getLineWidth, 3.5, "line_width", "3.5", nullptr},
        {"line_width=abc", &Settings::getLineWidth, 2.0, "line_width", "2", nullptr},
        {"font_size=12.5", &Settings::getFontSize, 10, "font_size", "10", nullptr},
        {"split_view=maybe", &Settings::getSplitView, 1, "split_view", "true", nullptr},
        {"bitrate_interval=250", &Settings::getBitrateInterval, 250, "bitrate_interval", "250", nullptr},
        {"bitrate_interval=0", &Settings::getBitrateInterval, 100, "bitrate_interval", "100",
         "Invalid bitrate update interval, setting to 100 ms"},
        {"bitrate_interval=-5", &Settings::getBitrateInterval, 100, "bitrate_interval", "100",
         "Invalid bitrate update interval, setting to 100 ms"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        writeSettingsFile(std::string("[global]\n") + c.line + "\n");
        {
            Settings s;
            EXPECT_EQ(c.get(s), c.expected);
            EXPECT_EQ(c.get(s), c.expected); // the second read finds the rewritten value
            ASSERT_TRUE(s.save());
        }
        EXPECT_EQ(readBack().get_value("global", c.key), c.rewritten);
        const auto log = drainLog();
        EXPECT_EQ(logged(log, Level::Warning, "Invalid bitrate"), c.warning != nullptr);
        if (c.warning) {
            EXPECT_TRUE(logged(log, Level::Warning, c.warning));
        }
    }
}

TEST_F(SettingsTest, UnparsableFileIsMovedAsideBeforeANewOneIsWritten)
{
    const std::string text = "[global]\nline_width=3.5\nlog_path=/data/logs\nthis line is no key\n";
    // A file moved aside earlier, and the next free name taken as well: neither is lost.
    const std::string earlier = "[global]\nline_width=1.5\nthe first damaged file\n";
    std::ofstream(home + "/.tarnwick.bad") << earlier;
    std::ofstream(home + "/.tarnwick.bad.1") << "second\n";
    writeSettingsFile(text);
    {
        Settings s;
        const auto log = drainLog();
        EXPECT_TRUE(logged(log, Level::Warning,
                           "Failed to parse settings file " + home + "/.tarnwick, Key file contains line "));
        EXPECT_TRUE(std::any_of(log.begin(), log.end(), [this](const MessageLog::Entry& e) {
            return e.text.raw().find("; moved it to " + home + "/.tarnwick.bad.2") != std::string::npos;
        }));
        EXPECT_EQ(s.getLineWidth(), 2.0);
        ASSERT_TRUE(s.save());
    }
    EXPECT_EQ(readBack().get_double("global", "line_width"), 2.0);
    EXPECT_EQ(Glib::file_get_contents(home + "/.tarnwick.bad"), earlier);
    EXPECT_EQ(Glib::file_get_contents(home + "/.tarnwick.bad.1"), "second\n");
    EXPECT_EQ(Glib::file_get_contents(home + "/.tarnwick.bad.2"), text); // the user's data
}

// Dotfile managers keep ~/.tarnwick as a link into a folder of their own: the settings
// are read and written there, and the link stays.
TEST_F(SettingsTest, ALinkIsReadAndWrittenThrough)
{
    const std::string dotfiles = home + "/dotfiles";
    mkdir(dotfiles.c_str(), 0700);
    const std::string target = dotfiles + "/tarnwick";
    const std::string link = home + "/.tarnwick";
    struct Case {
        const char* what;
        const char* linkText; // the link as written: absolute or relative
        const char* content;  // of the target; null: no target yet
        double lineWidth;     // read at the start
        const char* aside;    // where a damaged target went, beside it
    };
    const Case cases[] = {
        {"absolute link", nullptr, "[global]\nline_width=3.5\n", 3.5, nullptr},
        {"relative link", "dotfiles/tarnwick", "[global]\nline_width=3.5\n", 3.5, nullptr},
        {"link to no file yet", nullptr, nullptr, 2.0, nullptr},
        {"link to a damaged file", nullptr, "[global]\nno key\n", 2.0, "/tarnwick.bad"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        unlink(target.c_str());
        unlink(link.c_str());
        ASSERT_EQ(symlink(c.linkText ? c.linkText : target.c_str(), link.c_str()), 0);
        if (c.content)
            std::ofstream(target) << c.content;
        {
            Settings s;
            const auto log = drainLog();
            EXPECT_FALSE(logged(log, Level::Error, "")) << (log.empty() ? "" : log.front().text.raw());
            EXPECT_EQ(s.getLineWidth(), c.lineWidth);
            s.setLineWidth(4.5);
            ASSERT_TRUE(s.save());
        }
        struct stat info{};
        ASSERT_EQ(lstat(link.c_str(), &info), 0);
        EXPECT_TRUE(S_ISLNK(info.st_mode));
        EXPECT_EQ(readBack().get_double("global", "line_width"), 4.5); // through the link
        Glib::KeyFile saved;
        saved.load_from_file(target);
        EXPECT_EQ(saved.get_double("global", "line_width"), 4.5);
        if (c.aside) {
            EXPECT_EQ(Glib::file_get_contents(dotfiles + c.aside), c.content);
            unlink((dotfiles + c.aside).c_str());
        }
    }
}

// Root may run the program with HOME set to a user's home (sudo -E, su scripts,
// services). That user's links there may name any file of root's, and their files are
// their own: neither is read, written, moved aside or created through, and the program
// goes on with defaults. A link of one's own still is read and written through.
TEST_F(SettingsTest, AnotherUsersLinksAndFilesAreLeftAlone)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "only root can give links and files to another user";
    constexpr uid_t kOther = 65534;
    const std::string dbc = "/data/test.dbc";
    const std::string group = "sigList_" + std::to_string(std::hash<std::string>{}(dbc));
    // Settings and a signal list in one; the line width is not the default.
    const std::string valid = "[global]\nline_width=3.5\n[" + group + "]\nsignalList=\n";
    struct Case {
        const char* what;
        bool link;          // the path is a link to a file in a folder only root may write
        bool theirs;        // the link, or the file at the path, belongs to another user
        std::string target; // its content; empty: no such file
    };
    const Case cases[] = {
        {"own link to a file", true, false, valid},
        {"another user's link to a file", true, true, "root:secret:0:0\n"}, // no key file
        {"another user's link to a missing file", true, true, ""},
        {"another user's file", false, true, valid},
    };
    int run = 0;
    for (const std::string name : {"/.tarnwick", "/.tarnwick_siglist"}) {
        const bool settingsFile = name == "/.tarnwick";
        for (const Case& c : cases) {
            SCOPED_TRACE(name + ", " + c.what);
            const std::string useHome = home + "/" + std::to_string(run++);
            const std::string rootOnly = useHome + "/root-only";
            ASSERT_EQ(mkdir(useHome.c_str(), 0755), 0);
            ASSERT_EQ(mkdir(rootOnly.c_str(), 0700), 0);
            const std::string path = useHome + name;
            const std::string target = c.link ? rootOnly + "/target" : path;
            if (!c.target.empty()) {
                std::ofstream(target) << c.target;
                ASSERT_EQ(chmod(target.c_str(), c.link ? 0600 : 0644), 0);
            }
            if (c.link) {
                ASSERT_EQ(symlink(target.c_str(), path.c_str()), 0);
            }
            ASSERT_EQ(lchown(path.c_str(), c.theirs ? kOther : 0, 0), 0);
            struct stat before{};
            lstat(target.c_str(), &before);
            setenv("HOME", useHome.c_str(), 1);
            {
                Settings s;
                EXPECT_TRUE(s.created()); // the program starts
                s.setDbFile(dbc);
                if (settingsFile) {
                    EXPECT_EQ(s.getLineWidth(), c.theirs ? 2.0 : 3.5);
                    s.setLineWidth(4.5);
                    EXPECT_EQ(s.save(), !c.theirs);
                } else {
                    EXPECT_EQ(s.restoreSelectedSignals(), !c.theirs);
                    s.storeSelectedSignals();
                }
                std::vector<std::string> texts;
                for (const auto& e : drainLog())
                    texts.push_back(std::string(levelTag(e.level)) + " " + e.text.raw());
                std::vector<std::string> expected;
                const std::string what = settingsFile ? "settings file " : "signal-list file ";
                if (c.theirs)
                    expected.push_back("WRN The " + what + path + " belongs to another user and is left as it is");
                EXPECT_EQ(texts, expected);
            }
            struct stat at{};
            ASSERT_EQ(lstat(path.c_str(), &at), 0);
            EXPECT_EQ(S_ISLNK(at.st_mode), c.link);
            EXPECT_EQ(at.st_uid, c.theirs ? kOther : 0u);
            EXPECT_FALSE(Glib::file_test(path + ".bad", Glib::FILE_TEST_EXISTS));
            EXPECT_FALSE(Glib::file_test(target + ".bad", Glib::FILE_TEST_EXISTS));
            if (!c.theirs) {
                Glib::KeyFile written; // through the link
                written.load_from_file(target);
                if (settingsFile) {
                    EXPECT_EQ(written.get_double("global", "line_width"), 4.5);
                } else {
                    EXPECT_EQ(written.get_string(group, "file"), dbc);
                }
            } else if (c.target.empty()) {
                EXPECT_FALSE(Glib::file_test(target, Glib::FILE_TEST_EXISTS)) << "created";
            } else {
                EXPECT_EQ(Glib::file_get_contents(target), c.target);
                struct stat after{};
                ASSERT_EQ(lstat(target.c_str(), &after), 0);
                EXPECT_EQ(after.st_ino, before.st_ino); // not replaced
                EXPECT_EQ(after.st_uid, before.st_uid);
                EXPECT_EQ(after.st_mode, before.st_mode);
            }
        }
    }
}

TEST_F(SettingsTest, FilesThatCannotBeMadeOrReadLeaveDefaultsInMemory)
{
    struct Case {
        const char* what;
        std::function<std::string(const std::string& home)> prepare; // gives the HOME to use
        Level level;
        const char* report;
        bool permissions = false; // rests on file permissions, which root passes by
        bool created = true;      // false: the program cannot start
    };
    // A home of its own holding a FIFO named `file`.
    auto fifoHome = [](std::string file) {
        return [file](const std::string& h) {
            const std::string sub = h + "/fifo" + std::to_string(file.size());
            mkdir(sub.c_str(), 0700);
            mkfifo((sub + file).c_str(), 0600);
            return sub;
        };
    };
    const Case cases[] = {
        {"home folder missing", [](const std::string& h) { return h + "/missing"; }, Level::Error, "Couldn't create ",
         false, false},
        {"settings file is a folder",
         [](const std::string& h) {
             mkdir((h + "/.tarnwick").c_str(), 0700);
             return h;
         },
         Level::Error, "Couldn't read settings file "},
        // A FIFO would block every start until someone writes to it.
        {"settings file is a FIFO", fifoHome("/.tarnwick"), Level::Error, "Couldn't read settings file "},
        {"signal-list file is a FIFO", fifoHome("/.tarnwick_siglist"), Level::Error, "Couldn't read signal-list file "},
        {"settings file not readable",
         [](const std::string& h) {
             const std::string sub = h + "/locked";
             mkdir(sub.c_str(), 0700);
             std::ofstream(sub + "/.tarnwick") << "[global]\nline_width=5\n";
             chmod((sub + "/.tarnwick").c_str(), 0200);
             return sub;
         },
         Level::Error, "Couldn't read settings file ", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.permissions && geteuid() == 0)
            continue;
        const std::string useHome = c.prepare(home);
        setenv("HOME", useHome.c_str(), 1);
        struct stat before{};
        const bool existed = stat((useHome + "/.tarnwick").c_str(), &before) == 0;
        {
            Settings s; // neither throws nor ends the process
            EXPECT_TRUE(logged(drainLog(), c.level, std::string(c.report) + useHome + "/.tarnwick"));
            EXPECT_EQ(s.created(), c.created);
            EXPECT_EQ(s.getLineWidth(), 2.0);
            s.setLineWidth(4.0);
            EXPECT_EQ(s.getLineWidth(), 4.0);
            // What could not be read is not saved over.
            if (existed) {
                EXPECT_FALSE(s.save());
                struct stat after{};
                ASSERT_EQ(stat((useHome + "/.tarnwick").c_str(), &after), 0);
                EXPECT_EQ(after.st_mode & S_IFMT, before.st_mode & S_IFMT);
            }
            drainLog();
        }
    }
    // A save that fails reports and answers false.
    setenv("HOME", (home + "/missing").c_str(), 1);
    Settings s;
    drainLog();
    EXPECT_FALSE(s.save());
    EXPECT_TRUE(logged(drainLog(), Level::Error, "Couldn't save settings to " + home + "/missing/.tarnwick"));
}

TEST_F(SettingsTest, ModelFilesAreStoredAbsolute)
{
    Settings s;
    const std::string cwd = Glib::get_current_dir();
    struct Case {
        const char* given;
        std::string stored;
    };
    const Case cases[] = {
        {"./dummy", "./dummy"},
        {"x.dbc", cwd + "/x.dbc"},
        {"/a/b/../c/./d.vsd", "/a/c/d.vsd"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.given);
        s.setDbFile(c.given);
        s.setVsdFile(c.given);
        EXPECT_EQ(s.getDbFile(), c.stored);
        EXPECT_EQ(s.getVsdFile(), c.stored);
    }
}

TEST_F(SettingsTest, SignalColours)
{
    SettingsHost host;
    {
        Settings s;
        EXPECT_EQ(s.getSignalColor("Can", "Msg", "Plain"), "#eded33333b3b"); // stores the marker
        s.setSignalColor("Can", "Msg", "Own", "#123412341234");
        s.setSignalColor("Can", "Msg", "Follows", "#eded33333b3b");
        EXPECT_EQ(s.getSignalColor("Can", "Msg", "Own"), "#123412341234");

        const int reloads = host.reloads;
        s.setDefSigColor("#eded33333b3b"); // unchanged: the Store is not bothered
        EXPECT_EQ(host.reloads, reloads);
        s.setDefSigColor("#111111111111");
        EXPECT_EQ(host.reloads, reloads + 1);
        EXPECT_EQ(host.changes, reloads + 1);

        EXPECT_EQ(s.getSignalColor("Can", "Msg", "Plain"), "#111111111111");
        EXPECT_EQ(s.getSignalColor("Can", "Msg", "Follows"), "#111111111111");
        EXPECT_EQ(s.getSignalColor("Can", "Msg", "Own"), "#123412341234");
        ASSERT_TRUE(s.save());
    }
    Glib::KeyFile file = readBack();
    EXPECT_EQ(file.get_string("signal_colors", "Can.Msg.Plain"), "#00007833ffff");
    EXPECT_EQ(file.get_string("signal_colors", "Can.Msg.Follows"), "#00007833ffff");
    EXPECT_EQ(file.get_string("signal_colors", "Can.Msg.Own"), "#123412341234");
}

TEST_F(SettingsTest, EditorMustBeExecutable)
{
    Settings s;
    s.setDefaultEditor("/nonexistent/editor");
    EXPECT_TRUE(logged(drainLog(), Level::Info, "/nonexistent/editor is not an executable"));
    EXPECT_EQ(s.getDefaultEditor(), "/usr/bin/gedit"); // also when it is not installed
    EXPECT_TRUE(drainLog().empty()); // the default is not the user's choice: no notice
    s.setDefaultEditor("/bin/sh");
    EXPECT_EQ(s.getDefaultEditor(), "/bin/sh");
}

TEST_F(SettingsTest, WithoutHomeFilesLieInTmp)
{
    const bool hadSettings = Glib::file_test("/tmp/.tarnwick", Glib::FILE_TEST_EXISTS);
    const bool hadList = Glib::file_test("/tmp/.tarnwick_siglist", Glib::FILE_TEST_EXISTS);
    // An empty HOME is no home either: not the root of the file system.
    for (const char* value : {static_cast<const char*>(nullptr), ""}) {
        SCOPED_TRACE(value ? "empty" : "unset");
        if (value)
            setenv("HOME", value, 1);
        else
            unsetenv("HOME");
        Settings s;
        EXPECT_EQ(s.settingsPath, "/tmp/.tarnwick");
        EXPECT_EQ(s.listPath, "/tmp/.tarnwick_siglist");
        EXPECT_EQ(homeFolder(), "/tmp");
        EXPECT_TRUE(Glib::file_test("/tmp/.tarnwick_siglist", Glib::FILE_TEST_EXISTS));
    }
    if (!hadSettings)
        unlink("/tmp/.tarnwick");
    if (!hadList)
        unlink("/tmp/.tarnwick_siglist");
}

TEST_F(SettingsTest, NamesThatAreNoKeysKeepTheirColours)
{
    // Names from DBC and VSD files; the key of an ordinary name stays the name.
    struct Case {
        const char* msg;
        const char* sig;
        const char* key;
    };
    const Case cases[] = {
        {"Msg", "Plain", "Can.Msg.Plain"},
        {"Msg 2", "%x", "Can.Msg 2.%x"},
        {"Msg[1]", "a=b", "Can.Msg%5B1%5D.a%3Db"},
        {"Msg", "end ", "Can.Msg.end%20"},
        {"Line\nbreak", "x", "Can.Line%0Abreak.x"},
        {"Esc\x1b[2J", "x", "Can.Esc%1B%5B2J.x"},
    };
    {
        Settings s;
        for (const Case& c : cases)
            s.setSignalColor("Can", c.msg, c.sig, "#123412341234");
        ASSERT_TRUE(s.save());
    }
    Glib::KeyFile file = readBack(); // the whole file still parses
    Settings again;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        EXPECT_EQ(file.get_string("signal_colors", c.key), "#123412341234");
        EXPECT_EQ(again.getSignalColor("Can", c.msg, c.sig), "#123412341234");
    }
}

TEST_F(SettingsTest, WorkerReadsWhileGuiWrites)
{
    Settings s;
    std::thread worker([&s] {
        for (int i = 0; i < 20000; ++i) {
            ASSERT_GT(s.getBitrateInterval(), 0);
            ASSERT_GE(s.getLineWidth(), 0.0);
            ASSERT_FALSE(s.getSignalColor("Can", "Msg", "Sig" + std::to_string(i % 4000)).empty());
        }
    });
    // The GUI replaces values and adds keys, so the key file changes under the worker.
    for (int i = 0; i < 4000; ++i) {
        s.setLineWidth(i);
        s.setSignalColor("Can", "Msg", "Sig" + std::to_string(i), "#123412341234");
    }
    worker.join();
    EXPECT_EQ(s.getLineWidth(), 3999.0);
    EXPECT_EQ(s.getSignalColor("Can", "Msg", "Sig1234"), "#123412341234");
}

} // namespace
} // namespace vistra
