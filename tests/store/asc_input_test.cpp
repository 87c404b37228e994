// Reading ASC traces: the line grammar, the reader's handling of files and lines, real
// traces of another tool, and the round trip through the program's own -o trace.
#include "store/asc_input.h"

#include "core/can_iface.h"
#include "core/message.h"
#include "core/signal.h"
#include "store/log_parser.h"
#include "store/store.h"
#include "test_helpers.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace vistra {
namespace {

namespace fs = std::filesystem;
using test::drainLog;
using test::linesOf;

std::string writeFile(const std::string& name, const std::string& text)
{
    const std::string path = std::string(std::getenv("HOME")) + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

// A quiet store in ASC-input mode; with `trace` it writes what it reads as an ASC trace
// into memory, which shows every frame it took.
class AscStore : public Store {
public:
    explicit AscStore(bool trace)
    {
        textMode = true;
        ascInput = true;
        ascOutput = trace;
        output = open_memstream(&buffer, &size);
        memstream = output;
    }
    ~AscStore() override
    {
        stop();
        std::fclose(memstream);
        std::free(buffer);
    }
    std::vector<std::string> traceLines()
    {
        std::fflush(memstream);
        return linesOf(std::string(buffer, size));
    }

    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* memstream;
};

TEST(AscInput, LineGrammar)
{
    struct Case {
        const char* line;
        AscLine kind;
        u32 timestamp = 0, idWord = 0;
        u8 iface = 0, length = 0;
        std::vector<u8> data = {};
    };
    const Case cases[] = {
        {"0.1234 2 18FF00FEx Rx d 2 01 02", AscLine::Frame, 123, 0x98FF00FE, 1, 2, {1, 2}},
        {"   17.876708 1  6F9             Rx   d 8 05 0C 00 00 00 00 00 FF", AscLine::Frame, 17876, 0x6F9, 0, 8,
         {5, 0xC, 0, 0, 0, 0, 0, 0xFF}},
        {"1,5 3 7ff Rx d 1 aa", AscLine::Frame, 1500, 0x7FF, 2, 1, {0xAA}},
        {"1.0010 1 123 Rx d 1 00", AscLine::Frame, 1001, 0x123, 0, 1, {0}}, // not 1000: 1.001 is inexact
        {"2.0000 1 7FF Rx d 0", AscLine::Frame, 2000, 0x7FF, 0, 0, {}},
        {"2.0000 1 1ABx Rx d 0  Length = 0", AscLine::Frame, 2000, 0x800001AB, 0, 0, {}},
        {"0.5 1 100 Rx d 12 01 02 03 04 05 06 07 08 09 0A 0B 0C", AscLine::Frame, 500, 0x100, 0, 12, {1, 2, 3, 4, 5, 6, 7, 8}},
        {"4294967.295 1 1FFFFFFFx Rx d 1 01", AscLine::Frame, 0xFFFFFFFF, 0x9FFFFFFF, 0, 1, {1}},
        {"0.1 0 123 Rx d 1 01", AscLine::Frame, 100, 0x123, 255, 1, {1}}, // channel 0: the logger's interface
        {"date Sam Sep 30 15:06:13.191 2017", AscLine::NotAFrame},
        {"base hex  timestamps absolute", AscLine::NotAFrame},
        {"no internal events logged", AscLine::NotAFrame},
        {"   0.000000 Start of measurement", AscLine::NotAFrame},
        {"   2.501000 1 ErrorFrame", AscLine::NotAFrame},
        {"   2.510001 2 100 Rx r", AscLine::NotAFrame},
        {"     2.5010 2   C8             Tx   d 8 09 08 07 06 05 04 03 02", AscLine::NotAFrame},
        {"  13.258671 1  3FF             Tx   d D 55 AA 01 02 03 04 05 06", AscLine::NotAFrame},
        {"   1.015991 1  Statistic: D 0 R 0 XD 0 XR 0 E 0 O 0 B 0.00%", AscLine::NotAFrame},
        {"1.0 1 123 Rx d 8", AscLine::NotAFrame},          // no data for a length of 8
        {"-1.5 1 123 Rx d 1 00", AscLine::TimeOutOfRange},
        {"4294967.296 1 123 Rx d 1 00", AscLine::TimeOutOfRange}, // beyond the 32-bit timestamp
        {"1.0e400 1 123 Rx d 1 00", AscLine::TimeOutOfRange},     // infinite
        {"abc 1 123 Rx d 1 00", AscLine::NotAFrame},
        {"0.1 1 3FFFFFFFx Rx d 1 00", AscLine::NotAFrame}, // more than 29 identifier bits
        {"0.1 1 XYZ Rx d 1 00", AscLine::NotAFrame},
        {"0.1 1 12 34x Rx d 1 00", AscLine::NotAFrame},
        {"", AscLine::NotAFrame},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        FrameRecord frame;
        frame.iface = 99;
        ASSERT_EQ(parseAscLine(c.line, &frame), c.kind);
        if (c.kind != AscLine::Frame) {
            EXPECT_EQ(frame.iface, 99); // untouched
            continue;
        }
        EXPECT_EQ(frame.timestamp, c.timestamp);
        EXPECT_EQ(frame.idWord, c.idWord);
        EXPECT_EQ(frame.iface, c.iface); // a length of 12 did not write over it
        EXPECT_EQ(frame.length, c.length);
        for (std::size_t i = 0; i < 8; ++i)
            EXPECT_EQ(frame.data[i], i < c.data.size() ? c.data[i] : 0) << i;
    }
}

TEST(AscInput, LinesOfTheFileAndFilesOfTheList)
{
    drainLog();
    const std::string frame = "0.5000 1 123 Rx d 2 01 02";
    std::string hundred = frame + std::string(100 - frame.size(), ' ');
    std::string text = "date Tue Jan 02 03:04:05.000 am 2024\nbase hex  timestamps absolute\n";
    text += hundred + "\n";                                // 100 characters: read
    text += hundred + " \n";                               // 101: skipped
    text += "0.6000 1 124 Rx d 1 03\r\n";                  // a CRLF line
    text += std::string(5000, 'x') + "\n";                 // a long line does not hide the next
    text += "0.7000 1 125 Rx d 1 04\n";
    text += std::string("0.8000 1 126 Rx d 1 05\0junk\n", 28); // a zero byte ends the text
    text += "\n0.9000 1 127 Rx d 1 06";                    // the last line without its end
    AscStore store(true);
    store.addLogFile(writeFile("lines.asc", text).c_str());
    store.addLogFile((std::string(std::getenv("HOME")) + "/missing.asc").c_str());
    store.addLogFile(writeFile("second.asc", "1.0000 2 200x Rx d 0\n").c_str());
    testing::internal::CaptureStderr();
    store.parseNow();
    testing::internal::GetCapturedStderr();

    const std::vector<std::string> expected{
        "date Thu Jan 01 00:00:00.000 am 1970",
        "base hex  timestamps absolute",
        "no internal events logged",
        "0.5000 1 123 Rx d 2 01 02",
        "0.6000 1 124 Rx d 1 03",
        "0.7000 1 125 Rx d 1 04",
        "0.8000 1 126 Rx d 1 05",
        "0.9000 1 127 Rx d 1 06",
        "1.0000 2 200x Rx d 0",
    };
    EXPECT_EQ(store.traceLines(), expected);
    EXPECT_EQ(drainLog(), std::vector<std::string>{"Couldn't open file " + std::string(std::getenv("HOME")) +
                                                   "/missing.asc\n"});
    EXPECT_EQ(store.progress, kProgressDone);
    EXPECT_EQ(store.firstTime, 500u);
    EXPECT_EQ(store.lastTime, 1000u);
}

TEST(AscInput, FarTimesAndStepsBackAreReportedOncePerFile)
{
    drainLog();
    const std::string first = writeFile("order1.asc",
                                        "1.000 1 100 Rx d 1 01\n"
                                        "0.990 1 100 Rx d 1 02\n"       // out of order
                                        "4294967.296 1 100 Rx d 1 03\n" // beyond the 32-bit clock
                                        "1.010 1 100 Rx d 1 04\n"
                                        "0.500 1 100 Rx d 1 05\n"       // out of order
                                        "5000000 1 100 Rx d 1 06\n");   // beyond the 32-bit clock
    const std::string second = writeFile("order2.asc", "2.000 1 100 Rx d 1 07\n");
    AscStore store(true);
    store.addLogFile(first.c_str());
    store.addLogFile(second.c_str());
    testing::internal::CaptureStderr();
    store.parseNow();
    testing::internal::GetCapturedStderr();

    EXPECT_EQ(store.traceLines(),
              (std::vector<std::string>{"date Thu Jan 01 00:00:01.000 am 1970", "base hex  timestamps absolute",
                                        "no internal events logged", "0.0000 1 100 Rx d 1 01",
                                        "0.0000 1 100 Rx d 1 02", "0.0100 1 100 Rx d 1 04",
                                        "0.0100 1 100 Rx d 1 05", "1.0000 1 100 Rx d 1 07"}));
    EXPECT_EQ(drainLog(),
              (std::vector<std::string>{
                  "Frame lines skipped in " + first +
                      ": 2, their times lie outside the logger clock's 0 to 4294967.295 s",
                  "Frames out of time order in " + first + ": 2, each kept at the time of the frame before"}));
    EXPECT_FALSE(store.inputFailed);
}

// How many frame lines a trace holds, counted apart from the reader: received data frames
// of at most 100 characters, with data unless their length is 0.
int countFrameLines(const std::string& path)
{
    static const std::regex frame(
        R"(^\s*[0-9]+([.,][0-9]+)?\s+[0-9]{1,3}\s+[0-9A-Fa-f]{1,8}x?\s+Rx\s+d\s+([0-9]{1,3})(\s*)(.*)$)");
    std::ifstream in(path);
    int count = 0;
    for (std::string line; std::getline(in, line);) {
        std::smatch m;
        if (line.size() > 100 || !std::regex_match(line, m, frame))
            continue;
        const bool hasData = !m[4].str().empty() && std::isxdigit(static_cast<unsigned char>(m[4].str()[0])) &&
                             !m[3].str().empty();
        if (m[2] == "0" || hasData)
            count += 1;
    }
    return count;
}

TEST(AscInput, RealTracesOfAnotherTool)
{
    int total = 0;
    for (const auto& entry : fs::directory_iterator(TARNWICK_TEST_DATA "/asc")) {
        if (entry.path().extension() != ".asc")
            continue;
        SCOPED_TRACE(entry.path().filename().string());
        AscStore store(true);
        store.addLogFile(entry.path().c_str());
        testing::internal::CaptureStderr();
        store.parseNow();
        testing::internal::GetCapturedStderr();
        drainLog();
        const int expected = countFrameLines(entry.path());
        const std::size_t lines = store.traceLines().size();
        EXPECT_EQ(lines, expected == 0 ? 0u : std::size_t(expected) + 3); // the header, then one line a frame
        total += expected;
    }
    EXPECT_GT(total, 1000); // the counting itself finds the frames
}

TEST(AscInput, DumpOfAnIntervalIntoAFile)
{
    drainLog();
    AscStore store(false);
    store.addLogFile(writeFile("dump-in.asc", "1.0 1 100 Rx d 1 01\n2.0 1 100 Rx d 1 02\n3.0 1 100 Rx d 1 03\n").c_str());
    const std::string path = std::string(std::getenv("HOME")) + "/dump-out.asc";
    store.dumpPath = path;
    store.dumpFrom = 1500;
    store.dumpTo = 2500;
    store.dumpPending = true;
    store.parseNow();
    EXPECT_EQ(linesOf(test::readFileText(path)),
              (std::vector<std::string>{"date Thu Jan 01 00:00:02.000 am 1970", "base hex  timestamps absolute",
                                        "no internal events logged", "0.0000 1 100 Rx d 1 02"}));
    EXPECT_EQ(drainLog(), std::vector<std::string>{"Data written to " + path});
    EXPECT_FALSE(store.dumpPending);

    AscStore unwritable(false); // a text-mode store runs one job
    unwritable.addLogFile(store.logFiles().front().c_str());
    unwritable.dumpPath = std::string(std::getenv("HOME")) + "/no/such/dir.asc";
    unwritable.dumpPending = true;
    unwritable.parseNow();
    EXPECT_FALSE(unwritable.dumpPending); // the request does not stay behind
    EXPECT_EQ(drainLog().size(), 1u);
}

// Every signal of the example's DBC file, enabled, in a quiet store.
void loadDriveDbc(Store& store)
{
    store.textMode = true;
    store.loadDbc(TARNWICK_SOURCE_DIR "/examples/drive.dbc", 0, "Can");
    for (auto& msg : store.getIface(0)->messages)
        msg.second->setAllEnabled(true);
}

TEST(AscInput, RoundTripThroughTheProgramsTrace)
{
    const std::string log = TARNWICK_SOURCE_DIR "/examples/drive.lz4";
    const fs::path home = fs::path(std::getenv("HOME")) / "round-trip";
    fs::create_directories(home);
    const std::string trace = (home / "drive.asc").string();
    const std::string command =
        "HOME='" + home.string() + "' '" TARNWICK_BINARY "' -o '" + log + "' > '" + trace + "' 2> /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);

    // The frames: those of the native log that a trace holds, shifted to its first second.
    Store native;
    native.decodeAll = true;
    native.ifaceMask = 0xFFFFFFFF;
    LogParser::reset();
    auto parser = LogParser::create(log, static_cast<u64>(native.readLogStartTime(log.c_str())), native);
    ASSERT_TRUE(parser->start(true));
    ASSERT_TRUE(parser->waitDone());
    u64 first = kNoTime, last = 0;
    parser->resolveTimes(0, &first, &last);
    std::vector<FrameRecord> expected;
    for (const FrameRecord& r : parser->records)
        if ((r.idWord & (kErrorFrameFlag | kRemoteFlag)) == 0 && r.iface < 255)
            expected.push_back(r);
    parser.reset();
    ASSERT_GT(expected.size(), 1000u);
    const u64 second = expected.front().absTime / 1000 * 1000;

    const std::vector<std::string> lines = linesOf(test::readFileText(trace));
    constexpr std::size_t kHeaderLines = 3;
    ASSERT_EQ(lines.size(), expected.size() + kHeaderLines);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const std::string& line = lines[i + kHeaderLines];
        FrameRecord frame;
        ASSERT_EQ(parseAscLine(line.c_str(), &frame), AscLine::Frame) << line;
        const FrameRecord& want = expected[i];
        ASSERT_EQ(frame.timestamp + second, want.absTime) << line;
        ASSERT_EQ(frame.idWord, want.idWord) << line;
        ASSERT_EQ(frame.iface, want.iface) << line;
        ASSERT_EQ(frame.length, want.length) << line;
        for (u8 b = 0; b < want.dataLength(); ++b)
            ASSERT_EQ(frame.data[b], want.data[b]) << line;
    }

    // The decoded samples: the native load and the ASC load agree, a whole number of
    // seconds apart (the trace counts from its first second).
    Store fromLog;
    loadDriveDbc(fromLog);
    fromLog.addLogFile(log.c_str());
    fromLog.parseNow();
    AscStore fromTrace(false);
    loadDriveDbc(fromTrace);
    fromTrace.addLogFile(trace.c_str());
    fromTrace.parseNow();
    int compared = 0;
    for (auto& [id, msg] : fromLog.getIface(0)->messages) {
        for (const auto& signal : msg->signals) {
            if (signal->internal)
                continue;
            SCOPED_TRACE(signal->fullName.raw());
            const auto& other = fromTrace.findSignal(signal->fullName)->samples;
            ASSERT_EQ(other.size(), signal->samples.size());
            ASSERT_FALSE(other.empty());
            for (std::size_t i = 0; i < other.size(); ++i) {
                ASSERT_EQ(other[i].time + second, signal->samples[i].time) << i;
                ASSERT_EQ(other[i].value, signal->samples[i].value) << i;
            }
            compared += 1;
        }
    }
    EXPECT_GT(compared, 10);
    drainLog();
}

} // namespace
} // namespace vistra
