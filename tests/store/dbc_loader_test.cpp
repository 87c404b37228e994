#include "core/can_iface.h"
#include "core/real_message.h"
#include "core/real_signal.h"
#include "core/report.h"
#include "store/store.h"
#include "tests/store/dbc_fixture.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>

namespace vistra {
namespace {

using test::DbcFixture;
using Texts = std::vector<std::string>;

class DbcLoader : public DbcFixture {
protected:
    std::shared_ptr<RealMessage> message(u32 id)
    {
        return std::dynamic_pointer_cast<RealMessage>(store.getMessage(id, 0));
    }
    std::shared_ptr<RealSignal> signal(u32 id, const std::string& name)
    {
        return std::dynamic_pointer_cast<RealSignal>(message(id)->getSignal(name));
    }
    // Names of the message's signals in definition order, without its rate signal.
    std::vector<std::string> signalNames(u32 id)
    {
        std::vector<std::string> names;
        for (const auto& s : message(id)->signals)
            if (s->name != "___rate___")
                names.push_back(s->name.raw());
        return names;
    }
};

const char* const kGolden = R"(VERSION ""
BO_ 256 MsgA: 8 ECU1
 SG_ Speed : 0|16@1+ (0.1,0) [0|6553.5] "km/h" ECU2
 SG_ Temp : 23|12@0- (1,-40) [0|0] "" ECU2
 SG_ Flt : 32|32@1- (1,0) [0|0] "" ECU2
BO_ 2566848766 MsgExt: 8 ECU1
 SG_ Mux M : 0|8@1+ (1,0) [0|0] "" ECU2
 SG_ A m0 : 8|8@1+ (1,0) [0|0] "" ECU2
 SG_ B m1 : 8|16@1- (1,0) [0|0] "V" ECU2
BA_DEF_ BO_ "GenMsgCycleTime" INT 0 65535;
CM_ BO_ 256 "first line
second line
third line";
CM_ SG_ 256 Speed "Vehicle speed";
CM_ SG_ 2566848766 B "Extended";
SIG_VALTYPE_ 256 Flt : 1;
VAL_ 256 Temp -1 "Err" 0 "Off" 1 "On" ;
VAL_ 2566848766 Mux 0 "Zero" 1 "One" ;
)";

TEST_F(DbcLoader, BuildsMessagesSignalsTablesAndComments)
{
    ASSERT_TRUE(load(kGolden));
    EXPECT_EQ(logTexts(), Texts{});
    EXPECT_TRUE(store.dbcLoaded());
    ASSERT_TRUE(store.getIface(0));
    EXPECT_EQ(store.getIface(0)->name, "Can");
    EXPECT_EQ(store.getIface(0)->messages.size(), 2u);

    auto a = message(256);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->name, "MsgA");
    EXPECT_EQ(a->comment, "first line\nsecond line\nthird line");
    EXPECT_EQ(signalNames(256), (std::vector<std::string>{"Speed", "Temp", "Flt"}));
    EXPECT_TRUE(a->getSignal("___rate___")->hidden);
    auto speed = signal(256, "Speed");
    EXPECT_EQ(speed->unit, "km/h");
    EXPECT_TRUE(speed->hasLimits);
    EXPECT_DOUBLE_EQ(speed->limitHigh, 6553.5);
    EXPECT_EQ(speed->comment, "Vehicle speed");
    auto temp = signal(256, "Temp");
    EXPECT_EQ(temp->unit, "");
    EXPECT_FALSE(temp->hasLimits);
    EXPECT_EQ(temp->valueTable, (std::map<int, Glib::ustring>{{-1, "Err"}, {0, "Off"}, {1, "On"}}));
    EXPECT_TRUE(signal(256, "Flt")->isFloat);
    EXPECT_FALSE(temp->isFloat);

    // An extended identifier as written in DBC files: bit 31 set.
    auto ext = message(0x98FF00FE);
    ASSERT_TRUE(ext);
    EXPECT_EQ(signalNames(0x98FF00FE), (std::vector<std::string>{"Mux", "A", "B"}));
    EXPECT_EQ(signal(0x98FF00FE, "Mux")->muxValue, RealSignal::kNotMultiplexed);
    EXPECT_EQ(signal(0x98FF00FE, "A")->muxValue, 0);
    EXPECT_EQ(signal(0x98FF00FE, "B")->muxValue, 1);
    EXPECT_EQ(signal(0x98FF00FE, "B")->comment, "Extended");
    auto mux = std::dynamic_pointer_cast<RealSignal>(ext->muxSignal);
    ASSERT_TRUE(mux);
    EXPECT_EQ(mux->muxValue, RealSignal::kMuxSwitch);
    EXPECT_NE(mux, signal(0x98FF00FE, "Mux"));
    EXPECT_EQ(signal(0x98FF00FE, "Mux")->valueTable, (std::map<int, Glib::ustring>{{0, "Zero"}, {1, "One"}}));
}

TEST_F(DbcLoader, LoadedDefinitionsDecodeFrames)
{
    ASSERT_TRUE(load(kGolden));
    store.liveDecode = true;
    FrameRecord f;
    f.idWord = 256;
    f.length = 8;
    const u8 dataA[8] = {0x10, 0x27, 0x12, 0x30, 0x00, 0x00, 0x80, 0x3F};
    std::copy(dataA, dataA + 8, f.data);
    f.absTime = 1000;
    message(256)->decodeFrame(f);
    EXPECT_DOUBLE_EQ(signal(256, "Speed")->samples.at(0).value, 1000.0);
    EXPECT_DOUBLE_EQ(signal(256, "Temp")->samples.at(0).value, 251.0);
    EXPECT_DOUBLE_EQ(signal(256, "Flt")->samples.at(0).value, 1.0);

    FrameRecord g;
    g.idWord = 0x98FF00FE;
    g.length = 3;
    g.data[0] = 0x01;
    g.data[1] = 0xFE;
    g.data[2] = 0xFF;
    g.absTime = 1000;
    message(0x98FF00FE)->decodeFrame(g);
    EXPECT_DOUBLE_EQ(signal(0x98FF00FE, "B")->samples.at(0).value, -2.0);
    EXPECT_TRUE(signal(0x98FF00FE, "A")->samples.empty());
    store.liveDecode = false;
}

struct ErrorCase {
    const char* what;
    std::string dbc;
    std::string report;
    bool throws;
};

TEST_F(DbcLoader, RefusedDefinitionsReportAndThrow)
{
    const std::string msg = "BO_ 1 M: 8 X\n";
    const std::string sg = " SG_ S : 0|8@1+ (1,0) [0|0] \"\" X\n";
    const ErrorCase cases[] = {
        {"m without number", msg + " SG_ S mx : 0|8@1+ (1,0) [0|0] \"\" X\n",
         "WRN Expected number after 'm' in multiplexed signal: S", false},
        {"duplicate plain", msg + sg + sg, "ERR Couldn't insert signal S", true},
        {"duplicate mux", msg + sg + " SG_ S m1 : 0|8@1+ (1,0) [0|0] \"\" X\n",
         "ERR Couldn't insert multiplexed signal: S", true},
        {"double", msg + sg + "SIG_VALTYPE_ 1 S : 2;\n", "ERR Only SIG_VALTYPE_ : 1 (float) is allowed, signal: S",
         true},
        {"float of 8 bits", msg + sg + "SIG_VALTYPE_ 1 S : 1;\n", "ERR Only 32bit floats on 4 whole bytes are supported.",
         true},
        {"float of a missing signal", msg + "SIG_VALTYPE_ 1 Nope : 1;\n",
         "INF couldn't find signal to set as float Nope", false},
        {"duplicate identifier", msg + "BO_ 1 Again: 8 X\n",
         "ERR Couldn't insert message 'Again' into interface 'Can', message with ID '1' already exists", true},
        {"end of file inside a comment", msg + "CM_ BO_ 1 \"never\nclosed\n",
         "WRN Reached end of DBC file before message comment ended", false},
        {"end of file inside a signal comment", msg + sg + "CM_ SG_ 1 S \"open",
         "WRN Reached end of DBC file before signal comment ended", false},
        {"signal past the payload", msg + " SG_ Far : 60|8@1+ (1,0) [0|0] \"\" X\n",
         "WRN Signal Far of message M does not fit in 8 data bytes (start bit 60, length 8), skipped", false},
        {"signal of 65 bits", msg + " SG_ Wide : 0|65@1+ (1,0) [0|0] \"\" X\n",
         "WRN Signal Wide of message M does not fit in 8 data bytes (start bit 0, length 65), skipped", false},
        {"big-endian past the payload", msg + " SG_ Low : 59|8@0+ (1,0) [0|0] \"\" X\n",
         "WRN Signal Low of message M does not fit in 8 data bytes (start bit 59, length 8), skipped", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Store fresh;
        fresh.textMode = true;
        testing::internal::CaptureStderr();
        bool threw = false;
        try {
            fresh.loadDbc(write(c.dbc), 0, "Can");
        } catch (const PrintMsgError&) {
            threw = true;
        }
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(threw, c.throws);
        EXPECT_EQ(logTexts(), Texts{c.report});
        EXPECT_EQ(fresh.dbcLoaded(), !c.throws);
    }
}

TEST_F(DbcLoader, SkippedSignalIsAbsentAndLoadGoesOn)
{
    ASSERT_TRUE(load("BO_ 1 M: 8 X\n SG_ Far : 60|8@1+ (1,0) [0|0] \"\" X\n SG_ Near : 0|8@1+ (1,0) [0|0] \"\" X\n"));
    logTexts();
    EXPECT_EQ(signalNames(1), std::vector<std::string>{"Near"});
}

TEST_F(DbcLoader, PathsThatCannotBeRead)
{
    // A FIFO would block the start-up until someone writes to it.
    const std::string fifo = dir + "/pipe.dbc";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    testing::internal::CaptureStderr();
    EXPECT_THROW(store.loadDbc(dir, 0, "Can"), PrintMsgError);
    store.loadDbc(dir + "/missing.dbc", 0, "Can");
    EXPECT_THROW(store.loadDbc(dir + "/missing.dbc", 0, "Can", DefinitionFile::Required), PrintMsgError);
    EXPECT_THROW(store.loadDbc(fifo, 0, "Can"), PrintMsgError);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(logTexts(), (Texts{"ERR Could not open DBC file " + dir + ", path is a directory",
                                 "WRN Could not open DBC file: " + dir + "/missing.dbc",
                                 "ERR Could not open DBC file " + dir + "/missing.dbc, No such file or directory",
                                 "ERR Could not open DBC file " + fifo + ", not a regular file"}));
    EXPECT_TRUE(store.interfaces.empty());
    EXPECT_FALSE(store.dbcLoaded());
}

TEST_F(DbcLoader, StatementsLongerThanAnyRealOneEndTheLoad)
{
    // One line without end, and a comment that never closes over many short lines.
    const std::string longLine = "BO_ 1 M: 8 X\n" + std::string(1100000, 'x');
    std::string openComment = "BO_ 1 M: 8 X\nCM_ BO_ 1 \"";
    for (int i = 0; i < 80000; ++i)
        openComment += "a comment line\n";
    for (const std::string& text : {longLine, openComment}) {
        EXPECT_FALSE(load(text));
        EXPECT_EQ(logTexts(), Texts{"ERR Could not read DBC file " + dir +
                                    "/test.dbc, a statement is longer than 1048576 bytes"});
        store.clearData();
    }
}

TEST_F(DbcLoader, SameFileTwiceFailsAtTheFirstMessage)
{
    ASSERT_TRUE(load(kGolden));
    EXPECT_FALSE(load(kGolden));
    logTexts();
    EXPECT_EQ(store.getIface(0)->messages.size(), 2u);
}

TEST_F(DbcLoader, StatementEdges)
{
    const std::string longTail(120, 'x');
    const std::string text = " SG_ Orphan : 0|8@1+ (1,0) [0|0] \"\" X\n"  // before any message
                             "BO_ 3221225472 VECTOR__INDEPENDENT_SIG_MSG: 0 Vector__XXX\n"
                             " SG_ Lost : 0|8@1+ (1,0) [0|0] \"\" X\n"
                             "BO_ 1 Blank : 8 X\n"                        // the name keeps its blank
                             " SG_ Ext m3M : 8|8@1+ (1,0) [0|0] \"\" X\n" // extended multiplexing: m3
                             "SG_ NoIndent : 16|8@1- (1,0) [0|0] \"\" X\n"
                             "CM_ BO_ 99 \"comment of a missing message\n"
                             "BO_ 7 Continued: 8 X\n" // so this line is read as a statement
                             "x\";\n"
                             // Lines of 100 characters and more, as real files have them.
                             "BO_ 2 LongName_" + longTail + ": 8 X\n"
                             " SG_ OnLong : 0|8@1+ (1,0) [0|0] \"\" " + longTail + "\n"
                             " SG_ LongRx : 8|8@1+ (1,0) [0|0] \"u\" " + longTail + "\n"
                             "CM_ BO_ 2 \"\";\n"
                             "VAL_ 2 OnLong 0 \"\" 1 \"One\" 2 \"T\" ;\n"
                             "VAL_ 2  LongRx 0 \"dropped\" ;\n"
                             "VAL_ 2 LongRx 5 \"x 7 y\" 4294967295 \"SNA\" -2147483648 \"Min\" ;\n"
                             "VAL_ 2 LongRx 9 no text\n";
    ASSERT_TRUE(load(text));
    EXPECT_EQ(logTexts(), Texts{});
    auto iface = store.getIface(0);
    EXPECT_EQ(iface->messages.size(), 3u);
    EXPECT_EQ(message(1)->name, "Blank ");
    EXPECT_EQ(signalNames(1), (std::vector<std::string>{"Ext", "NoIndent"}));
    EXPECT_EQ(signal(1, "Ext")->muxValue, 3);
    EXPECT_EQ(message(7)->name, "Continued");
    EXPECT_EQ(message(2)->name, "LongName_" + longTail);
    EXPECT_EQ(signalNames(2), (std::vector<std::string>{"OnLong", "LongRx"}));
    EXPECT_EQ(signal(2, "LongRx")->unit, "u");
    EXPECT_EQ(message(2)->comment, "");
    // Empty texts are texts: the pairs after them are kept.
    EXPECT_EQ(signal(2, "OnLong")->valueTable, (std::map<int, Glib::ustring>{{0, ""}, {1, "One"}, {2, "T"}}));
    // Digits in a text are no values; a value outside int is skipped.
    EXPECT_EQ(signal(2, "LongRx")->valueTable, (std::map<int, Glib::ustring>{{5, "x 7 y"}, {INT_MIN, "Min"}}));
}

// Counts messages and signals from the statement lines alone, the way a reader of the
// file would: BO_ lines other than the pseudo message, and SG_ lines under them.
std::pair<std::size_t, std::size_t> countStatements(const std::string& path)
{
    std::ifstream in(path);
    std::string line;
    std::size_t messages = 0, signals = 0;
    bool inMessage = false;
    static const std::regex bo(R"(^BO_ \d+ \S+ *:.*)");
    static const std::regex sg(R"(^\s*SG_ .*)");
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (std::regex_match(line, bo)) {
            inMessage = line.find("VECTOR__INDEPENDENT_SIG_MSG") == std::string::npos;
            messages += inMessage;
        } else if (inMessage && std::regex_match(line, sg)) {
            signals += 1;
        }
    }
    return {messages, signals};
}

TEST_F(DbcLoader, RealFilesLoadWhole)
{
    struct RealFile {
        const char* name;
        std::size_t messages;
        std::size_t signals;
        const char* error; // the one ERR the file must give, or nullptr
        std::size_t skipped = 0; // signals that do not fit 8 data bytes (CAN FD), each a WRN
    };
    // Counts made with grep over the files (BO_ and SG_ lines); the counter above checks them.
    const RealFile files[] = {
        {"cantools_abs.dbc", 18, 89, nullptr},
        {"cantools_choices.dbc", 1, 1, nullptr},
        {"cantools_floating_point.dbc", 2, 3, "ERR Only SIG_VALTYPE_ : 1 (float) is allowed, signal: Signal1"},
        {"cantools_motohawk.dbc", 1, 3, nullptr},
        {"cantools_multiplex_2.dbc", 4, 19, nullptr},
        {"cantools_signed.dbc", 11, 18, nullptr},
        {"cantools_vehicle.dbc", 217, 462, nullptr},
        {"opendbc_ESR.dbc", 80, 868, nullptr},
        {"opendbc_bmw_e9x_e8x.dbc", 326, 165, nullptr},
        {"opendbc_chrysler_cusw.dbc", 26, 97, nullptr},
        {"opendbc_gm_global_a_chassis.dbc", 4, 9, nullptr},
        {"opendbc_hyundai_2015_ccan.dbc", 113, 1154, nullptr},
        {"opendbc_tesla_can.dbc", 44, 572, nullptr},
        {"opendbc_test.dbc", 3, 18, nullptr, 2},
        {"opendbc_toyota_prius_2010_pt.dbc", 26, 78, nullptr},
        {"opendbc_vw_pq.dbc", 86, 1331, nullptr},
    };
    for (const auto& f : files) {
        SCOPED_TRACE(f.name);
        const std::string path = std::string(TARNWICK_TEST_DATA) + "/dbc/" + f.name;
        EXPECT_EQ(countStatements(path), std::make_pair(f.messages, f.signals));
        Store fresh;
        fresh.textMode = true;
        testing::internal::CaptureStderr();
        bool threw = false;
        try {
            fresh.loadDbc(path, 0, "Can");
        } catch (const PrintMsgError&) {
            threw = true;
        }
        testing::internal::GetCapturedStderr();
        Texts errors;
        std::size_t skipped = 0;
        for (const auto& t : logTexts()) {
            if (t.rfind("ERR ", 0) == 0)
                errors.push_back(t);
            skipped += t.find("does not fit in 8 data bytes") != std::string::npos;
        }
        EXPECT_EQ(errors, f.error ? Texts{f.error} : Texts{});
        EXPECT_EQ(skipped, f.skipped);
        EXPECT_EQ(threw, f.error != nullptr);
        if (f.error)
            continue; // the refused statement stands after the definitions
        std::size_t signals = 0;
        for (const auto& [id, msg] : fresh.getIface(0)->messages)
            signals += msg->signals.size() - 1; // every message has its rate signal
        EXPECT_EQ(fresh.getIface(0)->messages.size(), f.messages);
        EXPECT_EQ(signals, f.signals - f.skipped);
    }
}

} // namespace
} // namespace vistra
