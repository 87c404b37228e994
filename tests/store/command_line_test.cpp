#include "store/command_line.h"

#include "core/can_iface.h"
#include "core/message.h"
#include "core/message_log.h"
#include "core/settings.h"
#include "core/signal.h"
#include "store/store.h"
#include "command_line_run.h"
#include "test_helpers.h"

#include <glibmm/fileutils.h>
#include <glibmm/miscutils.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace vistra {
namespace {

using test::drainLog;
using test::RunResult;
using test::runCommandLine;

const std::string kUsage = test::readFileText(TARNWICK_TEST_DATA "/usage.txt");

TEST(CommandLine, ExitCodesAndOutputs)
{
    ASSERT_NE(kUsage.find("OPTIONS:\n\t -l            list messages and signals\n"), std::string::npos);
    struct Case {
        std::vector<std::string> args;
        int code;
        std::string out; // "usage": the usage text
    };
    const std::vector<Case> cases = {
        {{"-v"}, 0, "tarnwick version 5.04\n"},
        {{"-h"}, 0, "usage"},
        {{"-k", "x"}, 1, "usage"},
        {{"-r", "x"}, 1, "usage"},
        {{"-c"}, 1, "usage"},
        {{"-a"}, 1, "usage"},
        {{"-z"}, 1, "usage"},
        {{"-q", "-d"}, 1, "usage"},          // missing argument
        {{"-p", "70000", "-q"}, 1, "usage"}, // would be truncated to another port
        {{"-p", "0", "-q"}, 1, "usage"},
        {{"-p", "80x", "-q"}, 1, "usage"},
        {{"-p", "", "-q"}, 1, "usage"},
        {{"-y", "", "-q"}, 1, ""},
        {{"-q"}, 0, ""},                     // nothing to print without a VSD
        {{"-q", "-i", "-s", "a.b.c"}, 0, ""},
        {{"-v", "-z"}, 0, "tarnwick version 5.04\n"}, // options act in the order given
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const RunResult run = runCommandLine(c.args);
        EXPECT_EQ(run.code, c.code);
        EXPECT_EQ(run.out, c.out == "usage" ? kUsage : c.out);
        EXPECT_FALSE(run.guiStarted);
    }
}

TEST(CommandLine, EmptyKeyIsRefusedBeforeAnyFileIsRead)
{
    const RunResult run = runCommandLine({"-y", "", "-q", "-d", "later.dbc"});
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.log, std::vector<std::string>{"Decryption key is invalid"});
    EXPECT_EQ(Settings::instance()->getDbFile(), "./dummy");
}

TEST(CommandLine, OptionsReachTheStore)
{
    Store store;
    const RunResult run = runCommandLine({"-n", "logger.local", "-p", "8080", "-y", "secret", "-t", "Bench", "-g"}, &store);
    EXPECT_EQ(run.code, 7); // the application's result
    EXPECT_TRUE(run.guiStarted);
    EXPECT_TRUE(run.linked);
    EXPECT_EQ(store.host, "logger.local");
    EXPECT_TRUE(store.networkMode);
    EXPECT_TRUE(store.live);
    EXPECT_EQ(store.port, 8080u);
    EXPECT_EQ(store.key, "secret");
    EXPECT_EQ(store.title, "Bench");
    store.networkMode = false;
    store.live = false;
}

TEST(CommandLine, OnlyADesktopRunWithGNeedsTheLink)
{
    const std::string failure = "shmget failed: No space left on device";
    struct Case {
        std::vector<std::string> args;
        std::string failure;
        int code;
        std::vector<Level> levels;
    };
    const std::vector<Case> cases = {
        {{"-g"}, "", 7, {}},
        {{"-g"}, failure, 1, {Level::Error}},          // asked for and not to be had
        {{}, failure, 7, {Level::Warning}},            // runs unlinked
        {{"-g", "-q"}, failure, 0, {Level::Warning}},  // text modes never need it
        {{"-o", "-g"}, failure, 0, {Level::Warning}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args) + " " + c.failure);
        Store store;
        const RunResult run = runCommandLine(c.args, &store, c.failure);
        EXPECT_TRUE(run.linkOpened);
        EXPECT_EQ(run.code, c.code);
        EXPECT_EQ(run.guiStarted, c.code == 7);
        // The window changes the model: it is built before the worker takes the first parse.
        EXPECT_EQ(run.windowBuiltBeforeParse, c.code == 7);
        EXPECT_EQ(run.levels, c.levels);
        if (!c.levels.empty()) {
            EXPECT_EQ(run.log.front(), failure);
        }
    }
    // Usage and version texts end before the link is set up.
    EXPECT_FALSE(runCommandLine({"-v"}, nullptr, failure).linkOpened);
}

TEST(CommandLine, DefaultTitleAndTextModes)
{
    Store store;
    EXPECT_EQ(runCommandLine({}, &store).code, 7);
    EXPECT_EQ(store.title, "Signal Plot");
    EXPECT_FALSE(store.textMode);

    Store asc;
    const RunResult run = runCommandLine({"-m"}, &asc);
    EXPECT_EQ(run.code, 0);
    EXPECT_FALSE(run.guiStarted);
    EXPECT_TRUE(asc.textMode);
    EXPECT_TRUE(asc.ascOutput);
    EXPECT_TRUE(asc.dateStamp);
}

TEST(CommandLine, ChoiceOfDbcOrVsdIsRecorded)
{
    const std::string dir = Glib::get_current_dir();
    struct Case {
        std::vector<std::string> args;
        std::string db;
        std::string vsd;
        std::vector<std::string> log;
        int code = kExitOk;
    };
    const std::string missing = ", No such file or directory";
    const std::vector<Case> cases = {
        // DBC wins, and is loaded: a text mode cannot go on without it.
        {{"-q", "-d", "x.dbc", "-f", "y.vsd"}, dir + "/x.dbc", "./dummy",
         {"Could not open DBC file " + dir + "/x.dbc" + missing}, kExitFailed},
        {{"-q", "-f", "y.vsd"}, "./dummy", dir + "/y.vsd", {"Could not open VSD file " + dir + "/y.vsd" + missing},
         kExitFailed},
        {{"-q", "-o", "-d", "x.dbc"}, "./dummy", "./dummy", {}}, // ASC output records nothing
        // The suffix test applies to the first argument that is a file; the case of the
        // stored path is the argument's own. The input named first is missing.
        {{"-q", "nosuch", "A.DBC"}, dir + "/A.DBC", "./dummy",
         {"Argument not a recognzied as a file: nosuch", "Could not open DBC file " + dir + "/A.DBC" + missing},
         kExitFailed},
        {{"-q", "b.Vsd", "c.dbc"}, "./dummy", dir + "/b.Vsd", {"Could not open VSD file " + dir + "/b.Vsd" + missing},
         kExitFailed},
        // The window starts without them, as before.
        {{"-d", "x.dbc"}, dir + "/x.dbc", "./dummy", {"Could not open DBC file: " + dir + "/x.dbc"}, 7},
        {{"-f", "y.vsd"}, "./dummy", dir + "/y.vsd", {}, 7},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const RunResult run = runCommandLine(c.args);
        EXPECT_EQ(run.code, c.code);
        EXPECT_EQ(Settings::instance()->getDbFile(), c.db);
        EXPECT_EQ(Settings::instance()->getVsdFile(), c.vsd);
        EXPECT_EQ(run.log, c.log);
    }
}

TEST(CommandLine, ListModeLoadsTheDbcFileAndExits)
{
    const std::string dbc = Glib::build_filename(Glib::get_home_dir(), "mini.dbc");
    Glib::file_set_contents(dbc, "BO_ 100 MsgA: 8 X\n"
                                 " SG_ Sig0 : 0|8@1+ (1,0) [0|255] \"\" X\n"
                                 " SG_ Sig1 : 8|8@1+ (1,0) [0|255] \"\" X\n");
    const RunResult run = runCommandLine({"-l", "-d", dbc, "-s", "Can.MsgA"});
    EXPECT_EQ(run.code, 0);
    EXPECT_FALSE(run.guiStarted);
    // The DBC interface comes first; the built-in interfaces follow it.
    EXPECT_EQ(run.out.rfind("Can\n\tMsgA\n\t\tSig0\n\t\tSig1\n", 0), 0u) << run.out;
    EXPECT_EQ(Settings::instance()->getDbFile(), dbc);
    EXPECT_EQ(Settings::instance()->getVsdFile(), "./dummy");
    EXPECT_TRUE(run.log.empty()); // the bad selection is never reached
}

TEST(CommandLine, LiveConnectionFileSetsUpTheConnectionAndIsKeptWithItsDbcFile)
{
    const std::string dir = Glib::build_filename(Glib::get_home_dir(), "live");
    g_mkdir_with_parents((dir + "/logs").c_str(), 0700);
    Glib::file_set_contents(dir + "/logs/x.dbc", "BO_ 100 Speedo: 8 X\n SG_ v : 0|8@1+ (1,0) [0|255] \"\" X\n");
    Glib::file_set_contents(dir + "/car.BVLIVE", "TITLE=Car\nSERVER=127.0.0.1\nPORT=7777\nKEY=pw\nDBC=logs/x.dbc\n");
    Glib::file_set_contents(dir + "/title.bvlive", "TITLE=Only\nDBC=logs/x.dbc\n");
    const std::string current = Glib::build_filename(Glib::get_home_dir(), ".tarnwicklive");
    std::remove(current.c_str());

    // One that cannot be read: the text modes have read nothing, the window starts empty.
    for (const auto& [args, code] : {std::pair{std::vector<std::string>{"-l"}, kExitInputFailed}, {{}, 7}}) {
        std::vector<std::string> withFile = args;
        withFile.push_back(dir + "/none.bvlive");
        const RunResult run = runCommandLine(withFile);
        EXPECT_EQ(run.code, code);
        EXPECT_EQ(run.log, std::vector<std::string>{"Couldn't open " + dir + "/none.bvlive, nothing was read"});
    }

    // Without a SERVER line nothing is written.
    Store plain;
    EXPECT_EQ(runCommandLine({"-l", dir + "/title.bvlive"}, &plain).code, 0);
    EXPECT_EQ(plain.title, "Only");
    EXPECT_FALSE(plain.networkMode);
    EXPECT_FALSE(Glib::file_test(current, Glib::FILE_TEST_EXISTS));

    // Written once the file's DBC choice is recorded, so it names that DBC file.
    Store store;
    const RunResult run = runCommandLine({"-l", dir + "/car.BVLIVE", "ignored.log"}, &store);
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.out.rfind("Can\n\tSpeedo\n\t\tv\n", 0), 0u) << run.out; // the file's DBC is loaded
    EXPECT_TRUE(store.networkMode);
    EXPECT_EQ(store.port, 7777u);
    EXPECT_EQ(Settings::instance()->getDbFile(), dir + "/logs/x.dbc");
    EXPECT_EQ(Settings::instance()->getLivePath(), dir);
    EXPECT_EQ(test::readFileText(current), "TITLE=Car\nSERVER=127.0.0.1\nPORT=7777\nKEY=pw\nDBC=" + dir + "/logs/x.dbc\n");
    store.networkMode = false;
    store.live = false;
}

TEST(CommandLine, ListModeLoadsTheVsdFile)
{
    const std::string vsd = TARNWICK_SOURCE_DIR "/examples/drive.vsd";
    // With -f, and as the first argument.
    for (const std::vector<std::string>& args : {std::vector<std::string>{"-l", "-f", vsd}, {"-l", vsd}}) {
        const RunResult run = runCommandLine(args);
        EXPECT_EQ(run.code, 0);
        EXPECT_NE(run.out.find("Can\n\tBrakeData\n"), std::string::npos) << run.out; // the DBC file it names
        EXPECT_NE(run.out.find("Virt\n\tDynamics\n\t\tSpeedMs\n\t\tAccelFromSpeed\n\t\tLateralAccel\n"),
                  std::string::npos)
            << run.out;
        EXPECT_EQ(Settings::instance()->getVsdFile(), vsd);
        EXPECT_TRUE(run.log.empty());
    }
}

TEST(CommandLine, VsdHelpHasItsSectionsInOrder)
{
    const RunResult run = runCommandLine({"-e"});
    EXPECT_EQ(run.code, 0);
    const std::string line(103, '_');
    const std::vector<std::string> parts = {
        "VSD FILE FORMAT:", "\033[1m\033[37m[settings]\033[0m", "\033[1m\033[32mifname_0\033[0m",
        "\033[1m\033[32mlegacygps\033[0m=\033[33mfalse\033[0m", "\n" + line + "\n",
        "COMMON (NOT MANDATORY) OPTIONS FOR ALL VIRTUAL SIGNALS", "NOTES ON HOW COMMON OPTIONS ARE APPLIED",
        "SIGNAL REFERENCE", "CAN0.MsgA.Signal0", "VIRTUAL SIGNAL NAMING", "[AverageExample]", "[SlopeExample]",
        "[IntegrateExample]", "[MathExample]", "[ExpressionExample]", "[EqualsExample]", "[AboveBelowExample]",
        "[CountExample]", "[TimekeepingExample]", "[AccumulateExample]", "[FrequencyExample]",
        "[EstimateExample]", "[IIRFilterExample]", "[MultiplexExample]", "[LookupTableExample]",
        "[GeofenceSquareExample]", "[GeofenceCircleExample]", "[StatisticsExample]"};
    std::size_t at = 0;
    for (const auto& part : parts) {
        const std::size_t found = run.out.find(part, at);
        ASSERT_NE(found, std::string::npos) << part;
        at = found + part.size();
    }
    // Every example group names its method on the line after it; the summary methods say so.
    std::size_t group = 0;
    int groups = 0;
    while ((group = run.out.find("Example]", group)) != std::string::npos) {
        const std::size_t next = run.out.find('\n', group);
        EXPECT_EQ(run.out.compare(next + 1, 20, "\033[1m\033[32mmethod\033[0m="), 0) << group;
        group = next;
        ++groups;
    }
    EXPECT_EQ(groups, 18);
    for (const char* method : {"integrate", "count", "time", "accumulate"}) {
        const std::string key = "\033[33m" + std::string(method) + "\033[0m";
        const std::size_t pos = run.out.find(key);
        ASSERT_NE(pos, std::string::npos) << method;
        EXPECT_NE(run.out.substr(pos, run.out.find('\n', pos) - pos).find("(summary output at end of parse)"),
                  std::string::npos)
            << method;
    }
}

// Can: MsgA (Sig0, Sig1, hidden Secret), MsgB (Sig0, Sig.1); Other: MsgA (Sig0).
class ModelStore : public testing::Test {
protected:
    void SetUp() override
    {
        auto can = add("Can", 0);
        msgA = message(can, 100, "MsgA", {"Sig0", "Sig1", "Secret"});
        msgA->signals[2]->hidden = true;
        msgB = message(can, 200, "MsgB", {"Sig0", "Sig.1"});
        other = message(add("Other", 1), 100, "MsgA", {"Sig0"});
        drainLog();
    }

    std::shared_ptr<CanIface> add(const char* name, u32 number)
    {
        auto iface = CanIface::create(name, number);
        store.interfaces[number] = iface;
        return iface;
    }

    static std::shared_ptr<Message> message(const std::shared_ptr<CanIface>& iface, u32 id, const char* name,
                                            const std::vector<const char*>& signals)
    {
        auto msg = std::make_shared<Message>(id, name, iface);
        for (const char* s : signals)
            msg->addSignal(s, std::make_shared<Signal>(msg, s));
        iface->addMessage(msg);
        return msg;
    }

    std::vector<bool> enabled() const
    {
        std::vector<bool> on;
        for (const auto& msg : {msgA, msgB, other})
            for (const auto& s : msg->signals)
                on.push_back(s->enabled);
        return on;
    }

    Store store;
    std::shared_ptr<Message> msgA, msgB, other;
};

TEST_F(ModelStore, ListingLeavesHiddenSignalsOut)
{
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&buffer, &size);
    printSignalTree(store, out);
    std::fclose(out);
    EXPECT_EQ(std::string(buffer, size), "Can\n\tMsgA\n\t\tSig0\n\t\tSig1\n\tMsgB\n\t\tSig0\n\t\tSig.1\n"
                                         "Other\n\tMsgA\n\t\tSig0\n");
    std::free(buffer);
}

TEST_F(ModelStore, SelectionsApplyGlobsInOrderUntilABadEntry)
{
    struct Case {
        std::list<Glib::ustring> patterns;
        bool complete;
        std::vector<bool> enabled; // MsgA Sig0 Sig1 Secret, MsgB Sig0 Sig.1, Other.MsgA Sig0
        std::vector<std::string> log;
    };
    const std::vector<Case> cases = {
        {{"Can.Msg*.Sig0"}, true, {1, 0, 0, 1, 0, 0}, {}},
        {{"*.MsgA.Sig?"}, true, {1, 1, 0, 0, 0, 1}, {}},
        {{"Can.MsgB.Sig.1"}, true, {0, 0, 0, 0, 1, 0}, {}}, // the signal part may hold '.'
        {{"Can.MsgA.Sig1", "Can.MsgB", "Can.MsgB.Sig0"}, false, {0, 1, 0, 0, 0, 0},
         {"No signal name given in Can.MsgB"}},
        {{"Can.MsgA.", "Can.MsgA.Sig0"}, false, {0, 0, 0, 0, 0, 0}, {"No signal name given in Can.MsgA."}},
        {{"Can", "Can.MsgA.Sig0"}, false, {0, 0, 0, 0, 0, 0}, {"No message name given in Can"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.log));
        store.deselectAllSignals();
        EXPECT_EQ(applySelections(store, c.patterns), c.complete);
        EXPECT_EQ(enabled(), c.enabled);
        EXPECT_EQ(drainLog(), c.log);
    }
}

TEST(WalkLogDir, StopsBelowTwoLevels)
{
    const std::string root = Glib::build_filename(Glib::get_home_dir(), "logs");
    const std::string deep = Glib::build_filename(root, "a", "b", "c");
    ASSERT_EQ(g_mkdir_with_parents(deep.c_str(), 0700), 0);
    Store store;
    drainLog();
    EXPECT_TRUE(walkLogDir(store, root, 3)); // what lies deeper is left out on purpose
    EXPECT_EQ(drainLog(), std::vector<std::string>{"Log file directory structure to deep, will not parse: " + deep});
    EXPECT_FALSE(walkLogDir(store, root + "/missing", 3));
    EXPECT_EQ(drainLog(),
              std::vector<std::string>{"Could not open log folder " + root + "/missing, No such file or directory"});
}

} // namespace
} // namespace vistra
