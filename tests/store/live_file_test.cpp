#include "store/live_file.h"

#include "core/settings.h"
#include "store/store.h"
#include "test_helpers.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace vistra {
namespace {

using test::drainLog;

mode_t modeOf(const std::string& path)
{
    struct stat info {};
    lstat(path.c_str(), &info);
    return info.st_mode & 0777;
}

class LiveFiles : public testing::Test {
protected:
    LiveFiles()
    {
        drainLog();
        char tmpl[] = "/tmp/tarnwick-livefile-XXXXXX";
        dir = mkdtemp(tmpl);
        store.liveFilePath = dir + "/current";
    }
    ~LiveFiles() override
    {
        Settings::instance()->setDbFile("./dummy");
        Settings::instance()->setVsdFile("./dummy");
        store.networkMode = false;
        store.live = false;
        std::filesystem::remove_all(dir);
        drainLog();
    }

    std::string write(const std::string& name, const std::string& text)
    {
        const std::string path = dir + "/" + name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    Store store;
    std::string dir;
};

TEST(SplitAtFirst, SplitsAtTheFirstDelimiterOnly)
{
    using Split = std::pair<std::string, std::string>;
    EXPECT_EQ(splitAtFirst("a=b=c", "="), Split("a", "b=c"));
    EXPECT_EQ(splitAtFirst("abc", "="), Split("abc", ""));
    EXPECT_EQ(splitAtFirst("=x", "="), Split("", "x"));
    EXPECT_EQ(splitAtFirst("a=", "="), Split("a", ""));
    EXPECT_EQ(splitAtFirst("host:77=x", ":="), Split("host", "77=x")); // any of the set
}

TEST_F(LiveFiles, ReadingSetsWhatTheFileHolds)
{
    struct Case {
        std::string text;
        bool server;
        Glib::ustring host;
        u32 port;
        Glib::ustring key;
        Glib::ustring title;
        std::string dbc;
        std::string vsd;
        std::vector<std::string> log;
    };
    const std::vector<Case> cases = {
        // CRLF lines, a host with '=', a key read twice, an empty key, junk lines.
        {"TITLE=Test car\r\nSERVER=old\r\nSERVER=h=x\r\nPORT=1234\nKEY=pw\nKEY=\nDBC=logs/x.dbc\nVSD=/abs/y.vsd\n"
         "JUNK=1\nnoequals\ntitle=lower\n",
         true, "h=x", 1234, "", "Test car", dir + "/logs/x.dbc", "/abs/y.vsd", {}},
        // No server: the rest is taken, live input stays off.
        {"TITLE=T2\nPORT=2000\nKEY=pw\nVSD=sub/v.vsd", false, "", 2000, "pw", "T2", "", dir + "/sub/v.vsd", {}},
        {"SERVER=h\nPORT=70000\n", true, "h", 777, "", "", "", "", {"Invalid port '70000', using 777 (default)"}},
        {"SERVER=h\nPORT=12ab\n", true, "h", 777, "", "", "", "", {"Invalid port '12ab', using 777 (default)"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Store fresh;
        Glib::ustring dbc;
        Glib::ustring vsd;
        fresh.port = 4242; // a bad PORT line falls back to the default, not to this
        testing::internal::CaptureStderr();
        EXPECT_EQ(applyLiveFile(fresh, write("car.bvlive", c.text), dbc, vsd),
                  c.server ? LiveFileRead::Server : LiveFileRead::NoServer);
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(fresh.networkMode, c.server);
        EXPECT_EQ(fresh.live, c.server);
        EXPECT_EQ(fresh.host, c.host);
        EXPECT_EQ(fresh.port, c.port);
        EXPECT_EQ(fresh.key, c.key);
        EXPECT_EQ(fresh.title, c.title);
        EXPECT_EQ(dbc, c.dbc);
        EXPECT_EQ(vsd, c.vsd);
        EXPECT_EQ(drainLog(), c.log);
        fresh.networkMode = false;
        fresh.live = false;
    }

    Glib::ustring dbc;
    Glib::ustring vsd;
    testing::internal::CaptureStderr();
    EXPECT_EQ(applyLiveFile(store, dir + "/none.bvlive", dbc, vsd), LiveFileRead::Unreadable);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(drainLog(), std::vector<std::string>{"Couldn't open " + dir + "/none.bvlive, nothing was read"});
}

TEST_F(LiveFiles, WritingKeepsTheCurrentConnectionForTheUserAlone)
{
    store.title = "Car";
    store.host = "10.0.0.5";
    store.port = 8000;
    struct Case {
        Glib::ustring key;
        Glib::ustring dbc;
        Glib::ustring vsd;
        std::string text;
    };
    const std::string head = "TITLE=Car\nSERVER=10.0.0.5\nPORT=8000\n";
    const std::vector<Case> cases = {
        {"pw", "/a/x.dbc", "/a/y.vsd", head + "KEY=pw\nDBC=/a/x.dbc\n"}, // never both files
        {"", "./dummy", "/a/y.vsd", head + "VSD=/a/y.vsd\n"},
        {"", "./dummy", "./dummy", head}, // shorter than before: the file is replaced
    };
    for (const Case& c : cases) {
        store.key = c.key;
        Settings::instance()->setDbFile(c.dbc);
        Settings::instance()->setVsdFile(c.vsd);
        store.writeLiveFile();
        EXPECT_EQ(test::readFileText(store.liveFilePath), c.text);
        EXPECT_EQ(modeOf(store.liveFilePath), 0600u);
    }

    // An older file that others could read is tightened.
    store.liveFilePath = write("older", "KEY=old\n");
    chmod(store.liveFilePath.c_str(), 0644);
    store.writeLiveFile();
    EXPECT_EQ(modeOf(store.liveFilePath), 0600u);
    EXPECT_EQ(test::readFileText(store.liveFilePath), head);

    // A link in its place is not followed.
    const std::string target = write("target", "untouched\n");
    store.liveFilePath = dir + "/link";
    ASSERT_EQ(symlink(target.c_str(), store.liveFilePath.c_str()), 0);
    store.writeLiveFile();
    EXPECT_EQ(test::readFileText(target), "untouched\n");

    // Nor is a FIFO waited on (the write would block until someone reads it).
    store.liveFilePath = dir + "/fifo";
    ASSERT_EQ(mkfifo(store.liveFilePath.c_str(), 0600), 0);
    store.writeLiveFile();
    EXPECT_FALSE(writePrivateFile(store.liveFilePath, "KEY=pw\n", PrivateFile::Chosen));
}

// Root passes every permission check: the file's owner decides, as when it is read.
TEST_F(LiveFiles, AnotherUsersCurrentConnectionFileIsLeftAlone)
{
    store.host = "10.0.0.5";
    store.key = "secret";
    store.liveFilePath = write("theirs", "TITLE=Theirs\n");
    chmod(store.liveFilePath.c_str(), 0644);
    if (chown(store.liveFilePath.c_str(), geteuid() + 1000, getegid()) != 0)
        GTEST_SKIP() << "only root can give a file to another user";
    store.writeLiveFile();
    EXPECT_EQ(test::readFileText(store.liveFilePath), "TITLE=Theirs\n");
    EXPECT_EQ(modeOf(store.liveFilePath), 0644u); // not even tightened
    LiveFileEntries entries;
    EXPECT_FALSE(readOwnLiveFile(store.liveFilePath, entries));

    // A file the user chose is written whoever owns it.
    EXPECT_TRUE(writePrivateFile(store.liveFilePath, "KEY=pw\n", PrivateFile::Chosen));
    EXPECT_EQ(test::readFileText(store.liveFilePath), "KEY=pw\n");
}

TEST(LiveFilePath, FollowsHomeOrFallsBackToTmp)
{
    const std::string home = std::getenv("HOME");
    EXPECT_EQ(Store().liveFilePath, home + "/.tarnwicklive");
    unsetenv("HOME");
    const Glib::ustring fallback = Store().liveFilePath;
    setenv("HOME", home.c_str(), 1);
    EXPECT_EQ(fallback, "/tmp/.tarnwicklive");
}

} // namespace
} // namespace vistra
