// The stored signal lists of the settings against a loaded store.
#include "core/settings.h"
#include "core/signal.h"
#include "dbc_fixture.h"

#include <glibmm/keyfile.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <functional>
#include <future>
#include <thread>

namespace vistra::test {
namespace {

// Message 200 comes first in the file and its signals out of name order: the list is
// written by identifier and definition order, not by file or name order.
const char* kDbc = R"(VERSION ""
BO_ 200 B: 8 ECU
 SG_ z : 0|8@1+ (1,0) [0|255] "" Vector__XXX
 SG_ a : 8|8@1+ (1,0) [0|255] "" Vector__XXX

BO_ 100 A: 8 ECU
 SG_ x : 0|8@1+ (1,0) [0|255] "" Vector__XXX
)";

class SignalListTest : public DbcFixture {
protected:
    SignalListTest()
    {
        EXPECT_TRUE(load(kDbc));
        dbcPath = dir + "/test.dbc";
        settings.setVsdFile("./dummy");
        settings.setDbFile(dbcPath);
    }
    ~SignalListTest() override { store.clearData(); }

    void select(std::initializer_list<const char*> names)
    {
        store.deselectAllSignals();
        for (const char* name : names)
            store.findSignal(name)->setEnabled(true);
    }
    std::vector<std::string> enabled()
    {
        std::vector<std::string> out;
        store.forEachSignal([&out](Signal& s) {
            if (s.enabled)
                out.push_back(s.fullName.raw());
        });
        return out;
    }
    std::string listFile(const std::string& text)
    {
        const std::string path = dir + "/list.bvlist";
        std::ofstream(path) << text;
        return path;
    }

    Settings settings;
    std::string dbcPath;
};

TEST_F(SignalListTest, StoreAndLoadRoundTrip)
{
    select({"Can.B.a", "Can.A.x", "Can.B.z"});
    const std::string path = dir + "/round.bvlist";
    const long before = std::time(nullptr);
    settings.storeSignalList(path, "storetofile");

    Glib::KeyFile file;
    file.load_from_file(path);
    EXPECT_EQ(file.get_string("storetofile", "signalList"), "Can.A.x;Can.B.z;Can.B.a;");
    EXPECT_EQ(file.get_string("storetofile", "file"), dbcPath);
    EXPECT_NEAR(file.get_integer("storetofile", "time"), before, 5);

    select({"Can.B.z"});
    EXPECT_TRUE(settings.loadSignalList(path, "storetofile"));
    EXPECT_EQ(enabled(), (std::vector<std::string>{"Can.A.x", "Can.B.z", "Can.B.a"}));
}

TEST_F(SignalListTest, LoadTable)
{
    struct Case {
        const char* name;
        const char* text;
        bool applied;
        std::vector<std::string> enabled; // starting from Can.B.a alone
    };
    const Case cases[] = {
        {"listed names only", "[storetofile]\nsignalList=Can.A.x;Can.B.z;\n", true, {"Can.A.x", "Can.B.z"}},
        {"no listed name exists", "[storetofile]\nsignalList=Can.A.gone;Nope.A.x;x;\n", true, {}},
        {"empty list", "[storetofile]\nsignalList=\n", true, {}},
        {"name listed twice", "[storetofile]\nsignalList=Can.A.x;Can.A.x;\n", true, {"Can.A.x"}},
        {"text after the last ';'", "[storetofile]\nsignalList=Can.A.x;Can.B.z\n", true, {"Can.A.x"}},
        {"group missing", "[other]\nsignalList=Can.A.x;\n", false, {"Can.B.a"}},
        {"list missing", "[storetofile]\nfile=/x.dbc\n", false, {"Can.B.a"}},
        {"not a key file", "signalList=Can.A.x;\n[storetofile\n", false, {"Can.B.a"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        select({"Can.B.a"});
        EXPECT_EQ(settings.loadSignalList(listFile(c.text), "storetofile"), c.applied);
        EXPECT_EQ(enabled(), c.enabled);
    }
    // Enabled once: one use, not two.
    EXPECT_EQ(store.findSignal("Can.A.x")->useCount, 0u);
    settings.loadSignalList(listFile("[storetofile]\nsignalList=Can.A.x;Can.A.x;\n"), "storetofile");
    EXPECT_EQ(store.findSignal("Can.A.x")->useCount, 1u);
}

TEST_F(SignalListTest, StoringKeepsOtherGroupsAndReportsAFileItCannotCreate)
{
    const std::string path = listFile("[mine]\nnote=kept\n[storetofile]\nsignalList=Can.B.z;\nextra=1\n");
    select({"Can.A.x"});
    settings.storeSignalList(path, "storetofile");
    Glib::KeyFile file;
    file.load_from_file(path);
    EXPECT_EQ(file.get_string("mine", "note"), "kept");
    EXPECT_EQ(file.get_string("storetofile", "signalList"), "Can.A.x;");

    testing::internal::CaptureStderr();
    settings.storeSignalList(dir + "/no/such/folder/x.bvlist", "storetofile");
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(logTexts(), std::vector<std::string>{"WRN Couldn't create " + dir + "/no/such/folder/x.bvlist"});
}

// Runs `call` on a thread of its own. Should it hang in a blocking open of the FIFO at
// `fifo` (waiting for a writer), a writer comes and goes after a time-out, so that the
// test fails instead of hanging. False when the call did not finish in time.
bool finishesWithoutWaitingOn(const std::string& fifo, const std::function<void()>& call)
{
    std::packaged_task<void()> task(call);
    std::future<void> done = task.get_future();
    std::thread thread(std::move(task));
    const bool inTime = done.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    while (done.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready) {
        const int fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            close(fd);
    }
    thread.join();
    return inTime;
}

TEST_F(SignalListTest, AListThatIsNoRegularFileIsRefusedWithoutWaiting)
{
    const std::string fifo = dir + "/list.bvlist";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    select({"Can.A.x"});
    testing::internal::CaptureStderr();
    EXPECT_TRUE(finishesWithoutWaitingOn(fifo, [&] { settings.storeSignalList(fifo, "storetofile"); }));
    bool loaded = true;
    EXPECT_TRUE(finishesWithoutWaitingOn(fifo, [&] { loaded = settings.loadSignalList(fifo, "storetofile"); }));
    testing::internal::GetCapturedStderr();
    EXPECT_FALSE(loaded);
    EXPECT_EQ(logTexts(), (std::vector<std::string>{"ERR Couldn't write " + fifo + ", not a regular file",
                                                    "ERR Couldn't read " + fifo + ", not a regular file"}));
    struct stat info{};
    ASSERT_EQ(lstat(fifo.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode)); // not replaced by a list either
    EXPECT_EQ(enabled(), std::vector<std::string>{"Can.A.x"});
}

TEST_F(SignalListTest, AListIsWrittenThroughALink)
{
    const std::string target = listFile("[mine]\nnote=kept\n");
    const std::string link = dir + "/link.bvlist";
    ASSERT_EQ(symlink("list.bvlist", link.c_str()), 0);
    select({"Can.A.x"});
    settings.storeSignalList(link, "storetofile");
    struct stat info{};
    ASSERT_EQ(lstat(link.c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    Glib::KeyFile file;
    file.load_from_file(target);
    EXPECT_EQ(file.get_string("mine", "note"), "kept");
    EXPECT_EQ(file.get_string("storetofile", "signalList"), "Can.A.x;");

    // Another user's link is neither followed nor replaced.
    if (lchown(link.c_str(), 65534, 65534) != 0)
        GTEST_SKIP() << "only root can give a link to another user";
    const std::string before = readFileText(target);
    select({"Can.B.z"});
    testing::internal::CaptureStderr();
    settings.storeSignalList(link, "storetofile");
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(logTexts(), std::vector<std::string>{"WRN " + link + " belongs to another user and is left as it is"});
    ASSERT_EQ(lstat(link.c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(readFileText(target), before);
}

TEST_F(SignalListTest, SelectionPerDefinitionFile)
{
    EXPECT_EQ(settings.signalListGroup(), "sigList_" + std::to_string(std::hash<std::string>{}(dbcPath)));
    const std::string vsd = dir + "/defs.vsd";
    settings.setVsdFile(vsd); // the VSD file wins
    EXPECT_EQ(settings.signalListGroup(), "sigList_" + std::to_string(std::hash<std::string>{}(vsd)));

    // Each file keeps its own selection.
    select({"Can.A.x"});
    settings.storeSelectedSignals();
    settings.setVsdFile("./dummy");
    select({"Can.B.z"});
    settings.storeSelectedSignals();
    select({});
    EXPECT_TRUE(settings.restoreSelectedSignals());
    EXPECT_EQ(enabled(), std::vector<std::string>{"Can.B.z"});
    settings.setVsdFile(vsd);
    EXPECT_TRUE(settings.restoreSelectedSignals());
    EXPECT_EQ(enabled(), std::vector<std::string>{"Can.A.x"});

    // Without a definition file there is no group: nothing is stored or restored.
    settings.setVsdFile("./dummy");
    settings.setDbFile("./dummy");
    EXPECT_EQ(settings.signalListGroup(), "");
    Glib::KeyFile before;
    before.load_from_file(settings.listPath);
    settings.storeSelectedSignals();
    Glib::KeyFile after;
    after.load_from_file(settings.listPath);
    EXPECT_EQ(after.to_data(), before.to_data());
    EXPECT_FALSE(settings.restoreSelectedSignals());
    EXPECT_EQ(enabled(), std::vector<std::string>{"Can.A.x"});
}

} // namespace
} // namespace vistra::test
