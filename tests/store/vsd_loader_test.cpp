#include "core/can_iface.h"
#include "core/message.h"
#include "core/report.h"
#include "core/signal.h"
#include "store/store.h"
#include "test_helpers.h"
#include "virtual/virtual_message.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace vistra {
namespace {

// One message each; a.dbc and c.dbc share the identifier 100.
const char* const kDbcA = "BO_ 100 MsgA: 8 X\n SG_ Speed : 0|16@1+ (1,0) [0|0] \"\" X\n";
const char* const kDbcB = "BO_ 200 MsgB: 8 X\n SG_ Temp : 0|8@1+ (1,0) [0|0] \"\" X\n";
const char* const kDbcC = "BO_ 100 MsgC: 8 X\n SG_ Other : 0|8@1+ (1,0) [0|0] \"\" X\n";

// Every VSD file of a test lies in a fresh temp folder; each load runs on a fresh Store
// that has its "Logger" interface, as at start-up.
class VsdLoaderTest : public testing::Test {
protected:
    VsdLoaderTest()
    {
        char tmpl[] = "/tmp/tarnwick-vsd-XXXXXX";
        dir = mkdtemp(tmpl);
        write("a.dbc", kDbcA);
        write("b.dbc", kDbcB);
        write("c.dbc", kDbcC);
        test::drainLog();
    }
    ~VsdLoaderTest() override { std::filesystem::remove_all(dir); }

    std::string write(const std::string& name, const std::string& text)
    {
        const std::string path = dir + "/" + name;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    // Loads `path`; false when the load threw PrintMsgError. The reports are in `log`.
    bool load(const std::string& path, DefinitionFile need = DefinitionFile::Optional)
    {
        store = std::make_unique<Store>();
        store->textMode = true;
        store->addLoggerIface();
        testing::internal::CaptureStderr();
        bool ok = true;
        try {
            store->loadVsd(path, need);
        } catch (const PrintMsgError&) {
            ok = false;
        }
        testing::internal::GetCapturedStderr();
        log = test::drainLog();
        return ok;
    }

    // Interface names by number, below the statistics interfaces.
    std::map<u32, std::string> ifaces() const
    {
        std::map<u32, std::string> out;
        for (const auto& [n, iface] : store->interfaces)
            if (n < 0x10000)
                out[n] = iface->name.raw();
        return out;
    }

    // The full names of the signals of VSD groups, in the order they were made.
    static std::vector<std::string> virtualSignals()
    {
        std::vector<std::string> out;
        for (const auto& s : VirtualMessage::allSignals)
            if (s->fullName.raw().rfind("Virt.", 0) == 0)
                out.push_back(s->fullName.raw());
        return out;
    }

    std::string dir;
    std::unique_ptr<Store> store;
    std::vector<std::string> log;
};

TEST_F(VsdLoaderTest, SettingsGroup)
{
    struct Case {
        const char* name;
        std::string settings;
        bool ok;
        std::vector<std::string> log; // "{vsd}" stands for the VSD file's path
        std::map<u32, std::string> ifaces;
        std::function<bool(const Store&)> check;
    };
    const std::map<u32, std::string> none = {{255, "Logger"}};
    const Case cases[] = {
        {"gaps in the numbers", "ifname_0=CAN0\ndbcfile_0=a.dbc\nifname_2=CAN2\ndbcfile_2=b.dbc\n", true, {},
         {{0, "CAN0"}, {2, "CAN2"}, {255, "Logger"}, {1024, "Virt"}},
         [](const Store& s) { return s.highestIface == 2 && !s.legacyGps && !s.legacyNames && s.vsdLoaded(); }},
        {"two DBC files into one interface", "ifname_0=CAN0\ndbcfile_0=a.dbc;b.dbc\n", true, {},
         {{0, "CAN0"}, {255, "Logger"}, {1024, "Virt"}},
         [](const Store& s) { return s.getIface(0)->messages.size() == 2; }},
        {"a DBC file by its absolute path", "ifname_0=CAN0\ndbcfile_0={dir}/b.dbc\n", true, {},
         {{0, "CAN0"}, {255, "Logger"}, {1024, "Virt"}}, nullptr},
        {"the second DBC file repeats an identifier", "ifname_0=CAN0\ndbcfile_0=a.dbc;c.dbc\n", false,
         {"Couldn't insert message 'MsgC' into interface 'CAN0', message with ID '100' already exists"},
         {{0, "CAN0"}, {255, "Logger"}}, nullptr},
        {"names of letters, digits, '_', ':' and '-'", "ifname_0=A-b_c:1\ndbcfile_0=a.dbc\nifname_1=Kanal_\u00e4\ndbcfile_1=b.dbc\n",
         true, {}, {{0, "A-b_c:1"}, {1, "Kanal_\u00e4"}, {255, "Logger"}, {1024, "Virt"}}, nullptr},
        {"a name with a blank", "ifname_0=Can 1\ndbcfile_0=a.dbc\n", false,
         {"CAN interface name \"Can 1\" uses non supported characters.\nOnly alpha numeric characters and \"_ : -\" "
          "are allowed.\nNo spaces are allowed."},
         none, nullptr},
        {"a name with a dot", "ifname_0=Can.1\ndbcfile_0=a.dbc\n", false,
         {"CAN interface name \"Can.1\" uses non supported characters.\nOnly alpha numeric characters and \"_ : -\" "
          "are allowed.\nNo spaces are allowed."},
         none, nullptr},
        {"an empty name", "ifname_0=\ndbcfile_0=a.dbc\n", false,
         {"Failed to parse {vsd}, name for interface 0 can not be empty"}, none, nullptr},
        {"a name without DBC files", "ifname_5=CAN5\n", false,
         {"Failed to parse {vsd}, could not find DBC file for interface 5"}, none, nullptr},
        {"an empty DBC list", "ifname_5=CAN5\ndbcfile_5=\n", false,
         {"Failed to parse {vsd}, could not find DBC file for interface 5"}, none, nullptr},
        {"DBC files without a name", "dbcfile_5=a.dbc\n", false,
         {"Failed to parse {vsd}, could not find name for interface 5"}, none, nullptr},
        {"the name of the logger interface", "ifname_0=Logger\ndbcfile_0=a.dbc\n", false,
         {"Interface name 'Logger' already used. Duplicates not allowed."}, none, nullptr},
        {"two interfaces of one name", "ifname_0=X\ndbcfile_0=a.dbc\nifname_1=X\ndbcfile_1=b.dbc\n", false,
         {"Interface name 'X' already used. Duplicates not allowed."}, {{0, "X"}, {255, "Logger"}}, nullptr},
        {"numbers above 31 are not read", "ifname_32=CAN32\ndbcfile_32=a.dbc\n", true, {},
         {{255, "Logger"}, {1024, "Virt"}}, nullptr},
        {"the legacy DBC key", "dbcfile=a.dbc\n", true, {}, {{0, "Can"}, {255, "Logger"}, {1024, "Virt"}},
         [](const Store& s) { return s.legacyGps && s.legacyNames; }},
        {"legacy GPS turned off again", "dbcfile=a.dbc\nlegacygps=false\n", true, {},
         {{0, "Can"}, {255, "Logger"}, {1024, "Virt"}}, [](const Store& s) { return !s.legacyGps && s.legacyNames; }},
        {"legacy GPS beside numbered interfaces", "ifname_0=CAN0\ndbcfile_0=a.dbc\nlegacygps=true\n", true, {},
         {{0, "CAN0"}, {255, "Logger"}, {1024, "Virt"}}, [](const Store& s) { return s.legacyGps && !s.legacyNames; }},
        {"the numbered form wins over the legacy key", "ifname_0=CAN0\ndbcfile_0=a.dbc\ndbcfile=b.dbc\n", true, {},
         {{0, "CAN0"}, {255, "Logger"}, {1024, "Virt"}},
         [](const Store& s) { return s.getIface(0)->messages.size() == 1 && !s.legacyNames; }},
        {"legacygps that is no boolean", "ifname_0=CAN0\ndbcfile_0=a.dbc\nlegacygps=maybe\n", true,
         {"Failed to parse settings group of {vsd},\nKey file contains key \xe2\x80\x9clegacygps\xe2\x80\x9d which "
          "has a value that cannot be interpreted."},
         {{0, "CAN0"}, {255, "Logger"}}, [](const Store& s) { return !s.vsdLoaded(); }},
    };
    for (const Case& c : cases) {
        auto replace = [&](std::string text) {
            for (const auto& [key, value] : {std::pair<std::string, std::string>{"{dir}", dir}, {"{vsd}", dir + "/main.vsd"}})
                for (std::size_t at; (at = text.find(key)) != std::string::npos;)
                    text.replace(at, key.size(), value);
            return text;
        };
        const std::string path = write("main.vsd", replace("[settings]\n" + c.settings));
        EXPECT_EQ(load(path), c.ok) << c.name;
        std::vector<std::string> expected;
        for (const auto& text : c.log)
            expected.push_back(replace(text));
        EXPECT_EQ(log, expected) << c.name;
        EXPECT_EQ(ifaces(), c.ifaces) << c.name;
        if (c.check) {
            EXPECT_TRUE(c.check(*store)) << c.name;
        }
    }
}

TEST_F(VsdLoaderTest, FilesThatAreNoVsdFile)
{
    const std::string fifo = dir + "/pipe.vsd";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_directory(dir + "/folder.vsd");
    struct Case {
        std::string path;
        std::string log;      // empty: nothing reported
        std::string required = {}; // what a required file reports, when that differs
    };
    const Case cases[] = {
        {dir + "/missing.vsd", "", "Could not open VSD file " + dir + "/missing.vsd, No such file or directory"},
        {write("nosettings.vsd", "[Sig]\nmethod=sum\n"), "VSD file '" + dir + "/nosettings.vsd' does not have a settings group"},
        {write("broken.vsd", "[settings\nifname_0=CAN0\n"), "Failed to parse VSD file " + dir + "/broken.vsd, "},
        {write("badgps.vsd", "[settings]\nlegacygps=maybe\n"), "Failed to parse settings group of " + dir + "/badgps.vsd,\n"},
        // Neither blocks the start-up.
        {fifo, "Failed to parse VSD file " + fifo + ", not a regular file"},
        {dir + "/folder.vsd", "Failed to parse VSD file " + dir + "/folder.vsd, not a regular file"},
    };
    // A file that is required ends the load where an optional one is passed over.
    for (const Case& c : cases) {
        for (const DefinitionFile need : {DefinitionFile::Optional, DefinitionFile::Required}) {
            const bool required = need == DefinitionFile::Required;
            SCOPED_TRACE(c.path + (required ? " required" : ""));
            EXPECT_EQ(load(c.path, need), !required);
            const std::string& want = required && !c.required.empty() ? c.required : c.log;
            if (want.empty()) {
                EXPECT_TRUE(log.empty());
            } else {
                ASSERT_EQ(log.size(), 1u);
                EXPECT_EQ(log[0].rfind(want, 0), 0u) << log[0];
            }
            EXPECT_EQ(ifaces(), (std::map<u32, std::string>{{255, "Logger"}}));
            EXPECT_FALSE(store->vsdLoaded());
        }
    }
}

TEST_F(VsdLoaderTest, GroupsBuildInPassesUntilTheirInputsExist)
{
    // Later reads Base, which is defined further down; Ghost and Odd never build.
    const std::string path = write("main.vsd", "[settings]\nifname_0=CAN0\ndbcfile_0=a.dbc\n"
                                               "[Trip.Later]\nmethod=sum\nstep=100\nsignal_01=Virt.Trip.Base\n"
                                               "[Ghost]\nmethod=sum\nstep=100\nsignal_01=CAN0.MsgA.Nope\n"
                                               "[Trip.Base]\nmethod=mult\nstep=100\nsignal_01=CAN0.MsgA.Speed\n"
                                               "[Odd]\nmethod=foo\n"
                                               "[Twice]\nmethod=sum\nstep=100\nsignal_01=Virt.Trip.Later\n");
    EXPECT_TRUE(load(path));
    EXPECT_EQ(virtualSignals(), (std::vector<std::string>{"Virt.Trip.Base", "Virt.Trip.Later", "Virt.Virtual.Twice"}));
    // Each failure is reported once, in the last pass.
    EXPECT_EQ(log, (std::vector<std::string>{"VSD parse error: Can't find signal with name Nope",
                                             "VSD parse error: Unknown virtual signal method: foo"}));
    EXPECT_TRUE(store->vsdLoaded());
    // Full names, the interface and the dynamic identifiers of the virtual messages.
    auto virt = store->getIface(1024);
    EXPECT_EQ(virt->getMessageByName("Trip")->iface, virt);
    EXPECT_EQ(store->findSignal("Virt.Trip.Later")->name, "Later");
}

TEST_F(VsdLoaderTest, IncludesAreReadBeforeAndAfterTheFileInEveryPass)
{
    // The include reads a signal of the main file, which the first pass has not made yet.
    write("sub/inc.vsd", "[settings]\nifname_3=CAN3\ndbcfile_3=../a.dbc\n"
                         "[Inc]\nmethod=sum\nstep=100\nsignal_01=Virt.Virtual.Main\n"
                         "[Shared]\nmethod=sum\nstep=100\nsignal_01=CAN0.MsgA.Speed\n");
    write("post.vsd", "[Post]\nmethod=sum\nstep=100\nsignal_01=CAN0.MsgA.Speed\n");
    write("broken.vsd", "[Broken\n");
    const std::string path = write("main.vsd", "[settings]\nifname_0=CAN0\ndbcfile_0=a.dbc\n"
                                               "include=sub/inc.vsd;missing.vsd\npostinclude=post.vsd;broken.vsd;sub/inc.vsd\n"
                                               "[Main]\nmethod=sum\nstep=100\nsignal_01=CAN0.MsgA.Speed\n"
                                               "[Shared]\nmethod=sum\nstep=100\nsignal_01=CAN0.MsgA.Speed\n");
    EXPECT_TRUE(load(path));
    EXPECT_EQ(virtualSignals(), (std::vector<std::string>{"Virt.Virtual.Shared", "Virt.Virtual.Main",
                                                          "Virt.Virtual.Post", "Virt.Virtual.Inc"}));
    // The include's own settings are not read; a broken include ends its list (the second
    // inc.vsd is never read after it) and is reported once.
    EXPECT_EQ(ifaces(), (std::map<u32, std::string>{{0, "CAN0"}, {255, "Logger"}, {1024, "Virt"}}));
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].rfind("Failed to parse VSD file " + dir + "/broken.vsd, ", 0), 0u) << log[0];
}

TEST_F(VsdLoaderTest, GroupNames)
{
    const std::string settings = "[settings]\nifname_0=CAN0\ndbcfile_0=a.dbc\n";
    const std::string def = "]\nmethod=sum\nstep=100\nsignal_01=CAN0.MsgA.Speed\n";
    struct Case {
        std::string group;
        std::string log; // "{vsd}" stands for the file's path
    };
    const Case cases[] = {
        {".a", "Failed to parse VSD file {vsd}, signal '.a' must not start with '.'"},
        {"a.", "Failed to parse VSD file {vsd}, signal 'a.' must not end with '.'"},
        {"a.b.c", "Failed to parse VSD file {vsd}, signal: a.b.c, is not formatted as <msgName>.<sigName>"},
        {"a b", "Failed to parse VSD file {vsd}, signal 'a b' contains spaces"},
        {"Msg.a b", "Failed to parse VSD file {vsd}, signal 'Msg.a b' contains spaces"},
    };
    for (const Case& c : cases) {
        // The groups before the bad name are read, the ones after it are not.
        const std::string path = write("main.vsd", settings + "[Before" + def + "[" + c.group + def + "[Msg.After" + def);
        EXPECT_TRUE(load(path));
        EXPECT_EQ(virtualSignals(), std::vector<std::string>{"Virt.Virtual.Before"}) << c.group;
        std::string expected = c.log;
        expected.replace(expected.find("{vsd}"), 5, path);
        EXPECT_EQ(log, std::vector<std::string>{expected}) << c.group;
    }
    const std::string path = write("main.vsd", settings + "[MyNewSignal" + def + "[MyMsg.MyNewSignal" + def);
    EXPECT_TRUE(load(path));
    EXPECT_EQ(virtualSignals(), (std::vector<std::string>{"Virt.Virtual.MyNewSignal", "Virt.MyMsg.MyNewSignal"}));
    EXPECT_TRUE(log.empty());
}

TEST_F(VsdLoaderTest, TheExampleDriveComputesItsSignals)
{
    EXPECT_TRUE(load(TARNWICK_SOURCE_DIR "/examples/drive.vsd"));
    EXPECT_TRUE(log.empty()) << log[0];
    store->addLogFile(TARNWICK_SOURCE_DIR "/examples/drive.lz4");
    for (const char* name : {"Virt.Dynamics.SpeedMs", "Virt.Dynamics.LateralAccel", "Virt.Dynamics.AccelFromSpeed",
                             "Virt.Battery.Power", "Virt.Engine.RevsPerSpeed", "Virt.Virtual.DriverDemand"})
        store->findSignal(name)->setEnabled(true);
    store->parseNow();
    EXPECT_TRUE(test::drainLog().empty());

    const u64 start = store->firstTime;
    auto at = [&](const char* name, u64 s) { return store->findSignal(name)->valueAt(start + s * 1000); };
    EXPECT_NEAR(at("Virt.Dynamics.SpeedMs", 30), 80 / 3.6, 0.01); // cruising at 80 km/h
    EXPECT_NEAR(at("Virt.Dynamics.AccelFromSpeed", 10), 4 / 3.6, 0.2); // 4 km/h per second
    EXPECT_NEAR(at("Virt.Battery.Power", 30), 13.8 * 25, 15);
    // Standing still, the revs per speed divide by zero: nothing is stored, no inf.
    auto revs = store->findSignal("Virt.Engine.RevsPerSpeed");
    EXPECT_TRUE(std::isfinite(revs->overallRange().high) && std::isfinite(revs->overallRange().low));
    EXPECT_FALSE(revs->samples.empty());
}

} // namespace
} // namespace vistra
