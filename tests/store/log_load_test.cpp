// Native log files: header checks, the file list, the parser threads and their limits,
// the time base across files, and whole loads through the Store.
#include "core/can_iface.h"
#include "core/message_log.h"
#include "core/real_message.h"
#include "core/real_signal.h"
#include "core/report.h"
#include "store/log_file_writer.h"
#include "store/log_parser.h"
#include "store/store.h"
#include "stream_test_util.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace vistra {
namespace {

namespace fs = std::filesystem;

constexpr u64 S = 1704164645678ULL; // "Tue 2024-01-02 03:04:05.678"

std::vector<std::string> loggedTexts()
{
    std::vector<std::string> texts;
    while (!MessageLog::instance().empty())
        texts.push_back(MessageLog::instance().pop().text.raw());
    return texts;
}

bool logged(const std::vector<std::string>& texts, const std::string& part)
{
    return std::any_of(texts.begin(), texts.end(), [&](const auto& t) { return t.find(part) != std::string::npos; });
}

FrameRecord frame(u32 ts, u32 idWord, u8 b0, u8 b1 = 0, u8 iface = 0, u8 length = 8)
{
    FrameRecord f;
    f.timestamp = ts;
    f.idWord = idWord;
    f.length = length;
    f.data[0] = b0;
    f.data[1] = b1;
    f.iface = iface;
    return f;
}

void writeBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string readBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::string headerBytes(u64 start) { return LogFileWriter::headerLine(start) + std::string("LOGSTART\0x\n", 11); }

class LogLoadTest : public testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::path(std::getenv("HOME")) / ("logs" + std::to_string(counter++));
        fs::create_directories(dir);
        loggedTexts();
        // Nobody runs the dispatchers here: their pipe would fill up over many loads.
        store.textMode = true;
    }
    void TearDown() override
    {
        LogParser::setMaxRunningThreads(0);
        loggedTexts();
    }

    std::string path(const std::string& name) const { return (dir / name).string(); }

    std::string writeLog(const std::string& name, u64 start, const std::vector<FrameRecord>& frames,
                         const char* logger = nullptr)
    {
        LogFileWriter writer;
        EXPECT_TRUE(writer.open(path(name), start, logger));
        for (const auto& f : frames)
            EXPECT_TRUE(writer.add(f));
        EXPECT_TRUE(writer.close());
        return path(name);
    }

    // Interface 0 "Can" with message 0x100: A = byte 0, B = bytes 1..2 big-endian signed.
    void buildModel()
    {
        auto iface = CanIface::create("Can", 0);
        msg = RealMessage::create(0x100, "M", iface);
        a = RealSignal::create(msg, "A", 0, 8, 1, '+', "", 1, 0, 0, 0);
        b = RealSignal::create(msg, "B", 7, 16, 0, '-', "", 1, 0, 0, 0);
        msg->addSignal("A", a);
        msg->addSignal("B", b);
        iface->messages.emplace(0x100, msg);
        store.interfaces.emplace(0, iface);
    }

    // Reads one file with a parser that keeps every record.
    std::shared_ptr<LogParser> parseWhole(const std::string& file)
    {
        store.decodeAll = true;
        store.ifaceMask = 0xFFFFFFFF;
        LogParser::reset();
        auto parser = LogParser::create(file, S, store);
        EXPECT_TRUE(parser->start(true));
        EXPECT_TRUE(parser->waitDone());
        store.decodeAll = false;
        store.ifaceMask = 0;
        return parser;
    }
    std::vector<FrameRecord> parseAll(const std::string& file) { return parseWhole(file)->records; }

    static inline int counter = 0;
    fs::path dir;
    Store store;
    std::shared_ptr<RealMessage> msg;
    std::shared_ptr<RealSignal> a;
    std::shared_ptr<RealSignal> b;
};

// The samples without the repeats that close a run before a gap.
std::vector<Sample> samplesOf(const Signal& s)
{
    std::vector<Sample> out = s.samples;
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

TEST_F(LogLoadTest, HeaderVariants)
{
    const std::string ok = "Log started at Tue 2024-01-02 03:04:05.678";
    struct Case {
        const char* label;
        std::string bytes;
        i64 start;
        bool multiCan;
    } cases[] = {
        {"7 fields", ok + "\n" + std::string("LOGSTART\0", 9) + "\n", i64(S), false},
        {"on multiCAN", ok + " on multiCAN\n" + std::string("LOGSTART\0ab\n", 12), i64(S), true},
        {"other name", ok + " on logger7\n" + std::string("LOGSTART\0", 9) + "\n", i64(S), false},
        {"long first line", ok + " on a-very-long-logger-name-beyond-the-kept-part\n" + std::string("LOGSTART\0\n", 10),
         i64(S), false},
        {"no milliseconds", "Log started at Tue 2024-01-02 03:04:05\n" + std::string("LOGSTART\0\n", 10), i64(S - 678),
         false},
        {"LOGSTART then newline", ok + "\nLOGSTART\n", -1, false},
        {"no second line", ok + "\n", -1, false},
        {"no newline at all", ok, -1, false},
        {"6 fields", "Log started at Tue 2024-01-02 03:04\n" + std::string("LOGSTART\0\n", 10), -1, false},
        {"day name too long", "Log started at Monday 2024-01-02 03:04:05.678\n" + std::string("LOGSTART\0\n", 10), -1,
         false},
        {"before 1970", "Log started at Wed 1969-12-31 23:59:59.000\n" + std::string("LOGSTART\0\n", 10), -1000,
         false},
        {"empty", "", -1, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        store.multiCanHeader = false;
        const std::string file = path("h.log");
        writeBytes(file, c.bytes);
        EXPECT_EQ(store.readLogStartTime(file.c_str()), c.start);
        EXPECT_EQ(store.multiCanHeader, c.multiCan);
    }
    EXPECT_EQ(store.readLogStartTime(path("missing.log").c_str()), -1);
    EXPECT_TRUE(logged(loggedTexts(), "Failed to read start time from: "));
}

TEST_F(LogLoadTest, FileListSortedByStartTimeStable)
{
    const auto late = writeLog("late.log", S + 5000, {frame(1, 0x100, 1)});
    const auto early = writeLog("early.log", S, {frame(1, 0x100, 1)});
    const auto tie1 = writeLog("tie1.log", S + 2000, {frame(1, 0x100, 1)});
    const auto tie2 = writeLog("tie2.log", S + 2000, {frame(1, 0x100, 1)});
    const auto bogus = path("bogus.txt");
    writeBytes(bogus, "hello\n");
    for (const auto& p : {late, tie1, bogus, early, tie2})
        store.addLogFile(p.c_str());
    const std::list<Glib::ustring> expected{early, tie1, tie2, late};
    EXPECT_EQ(store.logFiles(), expected);
    EXPECT_EQ(loggedTexts(), std::vector<std::string>{bogus + " is not a valid log file, skipping"});

    store.clearLogFiles();
    store.csvInput = true; // taken as it is
    store.addLogFile(bogus.c_str());
    EXPECT_EQ(store.logFiles(), std::list<Glib::ustring>{bogus});
}

TEST_F(LogLoadTest, ReadsBothRecordSizesAndClampsLength)
{
    // An 18-byte stream through the writer; a length byte of 200 still means 8 bytes.
    const auto v1 = writeLog("v1.log", S, {frame(10, 0x100, 1, 2, 3), frame(20, 0x98FF00FE, 4, 5, 7, 200)});
    auto records = parseAll(v1);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].idWord, 0x98FF00FEu);
    EXPECT_EQ(records[1].iface, 7);
    EXPECT_EQ(records[1].length, 8);
    EXPECT_EQ(records[0].data[1], 2);

    // A 17-byte stream: no interface byte, every record is on interface 0, also in a
    // later block that carries the 18-byte magic.
    std::vector<test::Record> old{test::makeRecord(10, 0x100, 8, 0, 1), test::makeRecord(20, 0x200, 2, 0, 2)};
    const test::Bytes block0 = test::makeBlock(kBlockMagicV0, test::rawRecords(old, kRecordSizeV0));
    const test::Bytes block1 = test::makeBlock(kBlockMagicV1, test::rawRecords(old, kRecordSizeV0));
    std::string bytes = headerBytes(S);
    bytes.append(block0.begin(), block0.end());
    bytes.append(block1.begin(), block1.end());
    writeBytes(path("v0.log"), bytes);
    records = parseAll(path("v0.log"));
    ASSERT_EQ(records.size(), 4u);
    for (const auto& r : records)
        EXPECT_EQ(r.iface, 0);
    EXPECT_EQ(records[3].idWord, 0x200u);
    EXPECT_EQ(records[3].timestamp, 20u);
}

TEST_F(LogLoadTest, DamagedBlockEndsFileAtLastGoodBlock)
{
    std::vector<test::Record> recs;
    for (u32 i = 0; i < 3; ++i)
        recs.push_back(test::makeRecord(100 + i, 0x100, 8, 0, static_cast<u8>(i)));
    std::string good = headerBytes(S);
    for (const auto& r : recs) {
        const test::Bytes block = test::makeBlock(kBlockMagicV1, test::rawRecords({r}, kRecordSize));
        good.append(block.begin(), block.end());
    }
    const std::size_t blockSize = (good.size() - headerBytes(S).size()) / 3;
    const std::size_t thirdBlock = good.size() - blockSize;
    struct Case {
        const char* label;
        std::string bytes;
    } cases[] = {
        {"truncated inside the last block", good.substr(0, good.size() - 3)},
        {"truncated inside the last header", good.substr(0, thirdBlock + 5)},
        {"bad magic", good.substr(0, thirdBlock) + "XXXX" + good.substr(thirdBlock + 4)},
        {"zero length", good.substr(0, thirdBlock + 4) + std::string(4, '\0') + good.substr(thirdBlock + 8)},
        {"huge length", good.substr(0, thirdBlock + 4) + "\xff\xff\xff\x7f" + good.substr(thirdBlock + 8)},
        {"garbage data", good.substr(0, thirdBlock + 8) + std::string(blockSize - 8, '\xff')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        writeBytes(path("bad.log"), c.bytes);
        const auto records = parseAll(path("bad.log"));
        ASSERT_EQ(records.size(), 2u);
        EXPECT_EQ(records[1].timestamp, 101u);
    }
    writeBytes(path("bad.log"), headerBytes(S).substr(0, 20)); // no second newline
    EXPECT_TRUE(parseAll(path("bad.log")).empty());
    EXPECT_TRUE(parseAll(path("missing.log")).empty());
    const auto texts = loggedTexts();
    EXPECT_TRUE(logged(texts, "Could not find header of file: "));
    EXPECT_TRUE(logged(texts, "Could not open log file "));
}

TEST(LogParserReservation, ProjectionIsBoundByTheFileAndByMemory)
{
    constexpr u64 kMemory = u64{24} << 30;
    constexpr std::size_t kRecord = sizeof(FrameRecord);
    const std::size_t unbounded = ~std::size_t{0};
    // The densest block stream: about 100 bytes hold 1000 records.
    EXPECT_GE(LogParser::mostRecords(100, kMemory), 1000u);
    // A 4 GiB file that stores one page (the rest is a hole) holds little.
    EXPECT_LE(LogParser::mostRecords(4096, kMemory) * kRecord, std::size_t{2} << 20);
    // A file of 200 MB that packs like its first block would fill many times the memory.
    const std::size_t most = LogParser::mostRecords(200'000'000, kMemory);
    EXPECT_LE(most * kRecord, kMemory / 4);

    struct Case {
        const char* what;
        std::size_t need, capacity;
        double fileBytes, bytesRead;
        std::size_t most;
        std::size_t expected;
    };
    const Case cases[] = {
        {"projected to the whole file", 1000, 0, 10e6, 10e3, unbounded, 1050000},
        {"a first block that packs very well", 1000, 0, 200e6, 100, most, most},
        {"beyond the bound: half again", most + 1000, most, 200e6, 100e6, most, most + most / 2},
        {"at the end of the file: half again", 1500, 1000, 10e3, 10e3, unbounded, 1500},
        {"never less than needed", 5000, 1000, 10e3, 10e3, unbounded, 5000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_NEAR(double(LogParser::reservation(c.need, c.capacity, c.fileBytes, c.bytesRead, c.most)),
                    double(c.expected), double(c.expected) * 1e-6);
    }
}

TEST_F(LogLoadTest, PackedFirstBlockBeforeAHoleReservesLittle)
{
    // 1000 equal records pack into a block of about 100 bytes; the file then reads as
    // 4 GiB of zeros that store nothing.
    const std::string file = writeLog("packed.log", S, std::vector<FrameRecord>(1000, frame(5, 0x100, 1)));
    fs::resize_file(file, u64{4} << 30);
    const auto parser = parseWhole(file);
    EXPECT_EQ(parser->records.size(), 1000u);
    EXPECT_LE(parser->records.capacity() * sizeof(FrameRecord), std::size_t{2} << 20);
}

TEST_F(LogLoadTest, TimeBaseAcrossFiles)
{
    struct File {
        u64 start;
        std::vector<u32> ts;
    };
    struct Case {
        const char* label;
        std::vector<File> files;
        std::vector<u64> abs; // of every record, file after file
        int wraps;
        std::vector<int> outOfOrder; // the count reported for each file (0: no report)
    } cases[] = {
        {"first file lands at its start", {{S, {5000, 6000}}}, {S, S + 1000}, 0, {0}},
        {"within 20000 ms continues", {{S, {5000, 6000}}, {S + 3000, {8000}}}, {S, S + 1000, S + 3000}, 0, {0, 0}},
        {"bases exactly 20000 ms apart continue", {{S, {5000}}, {S + 41000, {26000}}}, {S, S + 21000}, 0, {0, 0}},
        {"bases 20001 ms apart do not", {{S, {5000}}, {S + 41001, {26000}}}, {S, S + 41001}, 0, {0, 0}},
        {"a base below the offset starts a new one", {{S, {5000}}, {S + 1000, {7000}}}, {S, S + 1000}, 0, {0, 0}},
        {"beyond 20000 ms starts a new base", {{S, {5000, 6000}}, {S + 63000, {100}}}, {S, S + 1000, S + 63000}, 0,
         {0, 0}},
        {"continuing would step back: new base at the last time",
         {{S, {5000, 9000}}, {S + 1000, {100, 200}}},
         {S, S + 4000, S + 4000, S + 4100},
         0,
         {0, 0}},
        {"steps back are kept at the time before, counted per file",
         {{S, {5000, 100, 200, 5050, 50}}, {S + 200, {5200, 5100}}},
         {S, S, S, S + 50, S + 50, S + 200, S + 200},
         0,
         {3, 1}},
        {"the clock running over goes on",
         {{S, {0xFFFFFF00, 0x10, 0x20}}},
         {S, S + 0x110, S + 0x120},
         1,
         {0}},
        {"empty file keeps the base", {{S, {5000}}, {S + 90000, {}}, {S + 4000, {9000}}}, {S, S + 4000}, 0,
         {0, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        LogParser::reset();
        u64 offset = 0, first = kNoTime, last = 0;
        std::vector<u64> got;
        std::vector<std::string> expectedReports;
        for (std::size_t i = 0; i < c.files.size(); ++i) {
            const File& f = c.files[i];
            const std::string name = "file" + std::to_string(i) + ".log";
            auto parser = LogParser::create(name, f.start, store);
            for (u32 ts : f.ts)
                parser->records.push_back(frame(ts, 0x100, 0));
            offset = parser->resolveTimes(offset, &first, &last);
            EXPECT_TRUE(parser->waitTimesReady());
            for (const auto& r : parser->records)
                got.push_back(r.absTime);
            if (c.outOfOrder[i] != 0)
                expectedReports.push_back("Frames out of time order in " + name + ": " +
                                          std::to_string(c.outOfOrder[i]) +
                                          ", each kept at the time of the frame before");
        }
        EXPECT_EQ(got, c.abs);
        EXPECT_EQ(first, S);
        const auto texts = loggedTexts();
        EXPECT_EQ(std::count_if(texts.begin(), texts.end(),
                                [](const auto& t) { return t.find("timestamp has overflowed") != std::string::npos; }),
                  c.wraps);
        std::vector<std::string> reports;
        std::copy_if(texts.begin(), texts.end(), std::back_inserter(reports),
                     [](const auto& t) { return t.rfind("Frames out of time order", 0) == 0; });
        EXPECT_EQ(reports, expectedReports);
    }
}

TEST_F(LogLoadTest, OutOfOrderFilesLoadInTimeOrder)
{
    buildModel();
    a->setEnabled(true);
    // Added late file first; each file's values continue the other's.
    const auto late = writeLog("late.log", S + 60000, {frame(100, 0x100, 3), frame(200, 0x100, 4)});
    const auto early = writeLog("early.log", S, {frame(7000, 0x100, 1), frame(8000, 0x100, 2)});
    store.addLogFile(late.c_str());
    store.addLogFile(early.c_str());
    store.loadLogFiles();
    const std::vector<Sample> expected{{S, 1}, {S + 1000, 2}, {S + 60000, 3}, {S + 60100, 4}};
    EXPECT_EQ(samplesOf(*a), expected);
    EXPECT_TRUE(a->loaded);
    EXPECT_TRUE(b->samples.empty()); // unused
    EXPECT_EQ(msg->thread, nullptr);
    EXPECT_EQ(store.firstTime.load(), S);
    EXPECT_EQ(store.lastTime.load(), S + 60100);
    EXPECT_EQ(store.viewStart.load(), S);
    EXPECT_EQ(store.progress.load(), 255);
    EXPECT_EQ(LogParser::counts().holdingData, 0u);
    EXPECT_EQ(LogParser::counts().running, 0u);
}

TEST_F(LogLoadTest, ThreadLimitsHoldWithManyFiles)
{
    buildModel();
    a->setEnabled(true);
    std::vector<Sample> expected;
    for (u32 i = 0; i < 100; ++i) {
        // Files out of order in the folder; times 30 s apart so each starts a new base.
        const u32 k = (i * 37) % 100;
        const u64 start = S + u64{k} * 30000;
        const std::string name = 'f' + std::to_string(i) + ".log";
        writeLog(name, start, {frame(1, 0x100, static_cast<u8>(k)), frame(2, 0x200, 9)});
        store.addLogFile(path(name).c_str());
    }
    for (u32 k = 0; k < 100; ++k)
        expected.push_back({S + u64{k} * 30000, double(k)});
    for (u32 limit : {1u, 2u, 4u}) {
        SCOPED_TRACE(limit);
        LogParser::setMaxRunningThreads(limit);
        a->clear();
        store.refreshPlotSignals();
        store.loadLogFiles(); // hangs on a lost slot
        const auto counts = LogParser::counts();
        EXPECT_LE(counts.peakRunning, limit);
        EXPECT_LE(counts.peakHoldingData, 2 * limit);
        EXPECT_EQ(counts.holdingData, 0u);
        EXPECT_EQ(samplesOf(*a), expected);
    }
}

TEST_F(LogLoadTest, HoldingCountReturnedOnlyByParsersThatTookIt)
{
    const auto file = writeLog("one.log", S, {frame(1, 0x100, 1)});
    store.decodeAll = true;
    store.ifaceMask = 0xFFFFFFFF;
    LogParser::reset();
    auto first = LogParser::create(file, S, store);
    auto skipped = LogParser::create(file, S, store);
    auto third = LogParser::create(file, S, store);
    ASSERT_TRUE(first->start(true));
    ASSERT_TRUE(first->waitDone());
    EXPECT_EQ(LogParser::counts().holdingData, 1u);
    ASSERT_TRUE(third->start(true)); // waits for its turn, which never comes
    third->stop();
    third.reset();
    skipped.reset();
    EXPECT_EQ(LogParser::counts().holdingData, 1u);
    EXPECT_THROW(LogParser::reset(), PrintMsgError);
    EXPECT_EQ(loggedTexts(), std::vector<std::string>{"hasData: 1"});
    first.reset();
    EXPECT_EQ(LogParser::counts().holdingData, 0u);
    EXPECT_EQ(LogParser::counts().running, 0u);
    LogParser::reset();
}

// Reads its file, then fails as a parser does when memory runs out while records grow.
struct FailingParser : LogParser {
    using LogParser::LogParser;
    void readFile() override
    {
        LogParser::readFile();
        throw std::bad_alloc();
    }
};

TEST_F(LogLoadTest, FailedParserReportsAndEndsWithoutRecordsWhileTheNextFileReads)
{
    const auto file = writeLog("one.log", S, {frame(1, 0x100, 1), frame(2, 0x100, 2)});
    store.decodeAll = true;
    store.ifaceMask = 0xFFFFFFFF;
    LogParser::reset();
    auto failing = std::make_shared<FailingParser>(file, S, store);
    auto next = LogParser::create(file, S, store);
    ASSERT_TRUE(failing->start(true));
    ASSERT_TRUE(next->start(true));
    EXPECT_TRUE(failing->waitDone());
    EXPECT_TRUE(failing->records.empty());
    EXPECT_TRUE(next->waitDone());
    EXPECT_EQ(next->records.size(), 2u);
    EXPECT_EQ(loggedTexts(), std::vector<std::string>{"Not enough memory to read log file " + file + ", skipping"});
    failing.reset();
    next.reset();
    EXPECT_EQ(LogParser::counts().running, 0u);
    EXPECT_EQ(LogParser::counts().holdingData, 0u);
    store.decodeAll = false;
    store.ifaceMask = 0;
}

TEST_F(LogLoadTest, DecodeThreadsMatchPlainDecode)
{
    // Three messages on two interfaces, each with signals of both byte orders.
    auto can0 = CanIface::create("Can", 0);
    auto can1 = CanIface::create("Can1", 1);
    store.interfaces.emplace(0, can0);
    store.interfaces.emplace(1, can1);
    store.highestIface = 1;
    auto reference = CanIface::create("Ref", 0);
    struct Pair {
        std::shared_ptr<RealMessage> loaded, plain;
        u8 iface;
    };
    std::vector<Pair> pairs;
    std::vector<std::pair<std::shared_ptr<Signal>, std::shared_ptr<Signal>>> signals;
    const u32 ids[] = {0x100, 0x80000200, 0x100};
    for (int m = 0; m < 3; ++m) {
        auto& iface = m == 2 ? can1 : can0;
        Pair p{RealMessage::create(ids[m], "M", iface), RealMessage::create(ids[m], "M", reference), u8(m == 2)};
        for (int s = 0; s < 3; ++s) {
            const bool little = s != 1;
            const u8 type = s == 2 ? '-' : '+';
            const u32 startBit = little ? u32(8 * s) : u32(8 * s + 7);
            auto x = RealSignal::create(p.loaded, "S" + std::to_string(s), startBit, 12, little, type, "", 0.5, 1, 0, 0);
            auto y = RealSignal::create(p.plain, "S" + std::to_string(s), startBit, 12, little, type, "", 0.5, 1, 0, 0);
            p.loaded->addSignal(x->name, x);
            p.plain->addSignal(y->name, y);
            x->setEnabled(true);
            y->addUser(nullptr);
            signals.emplace_back(x, y);
        }
        signals.emplace_back(p.loaded->rateSignal, p.plain->rateSignal);
        p.loaded->rateSignal->addUser(nullptr);
        p.plain->rateSignal->addUser(nullptr);
        p.plain->updateSignalCounts();
        iface->messages.emplace(int(ids[m]), p.loaded);
        pairs.push_back(p);
    }
    store.refreshPlotSignals();

    std::mt19937 rng(7);
    std::vector<FrameRecord> all;
    for (int file = 0; file < 4; ++file) {
        std::vector<FrameRecord> frames;
        for (u32 i = 0; i < 3000; ++i) {
            const int m = int(rng() % 3);
            FrameRecord f = frame(1000 + i * 3, ids[m], u8(rng() % 4), u8(rng() % 3), pairs[m].iface);
            f.data[2] = u8(rng() % 2);
            frames.push_back(f);
            f.absTime = S + u64(file) * 10000 + i * 3;
            all.push_back(f);
        }
        writeLog("d" + std::to_string(file) + ".log", S + u64(file) * 10000 + 0, frames);
        store.addLogFile(path("d" + std::to_string(file) + ".log").c_str());
    }
    store.loadLogFiles();
    for (const auto& f : all)
        for (const auto& p : pairs)
            if (p.iface == f.iface && p.plain->id == f.idWord)
                p.plain->decodeFrame(f);
    for (const auto& p : pairs)
        p.plain->endOfLoad();
    for (const auto& [x, y] : signals) {
        SCOPED_TRACE(x->name.raw());
        EXPECT_GT(y->samples.size(), 10u);
        EXPECT_EQ(x->samples, y->samples);
    }
    for (auto& p : pairs)
        p.plain->clear();
    reference->clear();
}

TEST_F(LogLoadTest, DumpWritesFramesOrClearsItsRequest)
{
    buildModel();
    const auto file = writeLog("d.log", S, {frame(5000, 0x100, 1), frame(6000, 0x100, 2)});
    store.addLogFile(file.c_str());

    store.requestDump(path("no-such-dir/out.asc"), S, S + 500);
    store.loadLogFiles();
    EXPECT_FALSE(store.dumpPending); // else every later action waits for the dump
    EXPECT_EQ(store.output, stdout);
    EXPECT_TRUE(logged(loggedTexts(), "Could not open " + path("no-such-dir/out.asc") + ", "));

    // A FIFO as the target would hold the worker for good. A reader is kept open, so that
    // the test cannot hang whatever the dump does: nothing may arrive.
    const std::string fifo = path("trace.asc");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    store.requestDump(fifo, S, S + 2000);
    store.loadLogFiles();
    char byte;
    const ssize_t got = read(reader, &byte, 1);
    close(reader);
    EXPECT_LE(got, 0); // nothing arrived
    EXPECT_FALSE(store.dumpPending);
    EXPECT_EQ(store.output, stdout);
    EXPECT_TRUE(logged(loggedTexts(), "Could not open " + fifo + ", not a regular file"));

    store.requestDump(path("out.asc"), S + 1000, S + 2000);
    store.loadLogFiles();
    EXPECT_FALSE(store.dumpPending);
    EXPECT_EQ(store.output, stdout);
    EXPECT_FALSE(readBytes(path("out.asc")).empty());
    EXPECT_TRUE(logged(loggedTexts(), "Data written to " + path("out.asc")));

    store.requestDump(path("empty.asc"), S + 3000, S + 4000);
    store.loadLogFiles();
    EXPECT_EQ(readBytes(path("empty.asc")), "");
    EXPECT_TRUE(logged(loggedTexts(), "No data in selected interval"));
}

TEST_F(LogLoadTest, DamagedFilesLoadCleanly)
{
    buildModel();
    a->setEnabled(true);
    b->setEnabled(true);
    std::vector<FrameRecord> frames;
    for (u32 i = 0; i < 2500; ++i)
        frames.push_back(frame(i * 5, i % 7 == 0 ? 0x20000004 : 0x100, u8(i), u8(i / 3), u8(i % 3), u8(i % 11)));
    const auto good = readBytes(writeLog("good.log", S, frames));
    const auto damaged = path("damaged.log");
    store.addLogFile(damaged.c_str());
    writeBytes(damaged, good); // so that the list accepts it
    store.clearLogFiles();
    store.timedLogFiles.push_back({damaged, S}); // keep the file listed whatever its header becomes
    store.logFileList.push_back(damaged);
    std::mt19937 rng(11);
    for (int round = 0; round < 1500; ++round) {
        std::string bytes = good;
        if (round % 3 == 0)
            bytes.resize(rng() % bytes.size());
        const int flips = 1 + int(rng() % 8);
        for (int i = 0; i < flips && !bytes.empty(); ++i)
            bytes[rng() % bytes.size()] ^= char(1u << (rng() % 8));
        writeBytes(damaged, bytes);
        a->clear();
        b->clear();
        store.refreshPlotSignals();
        store.loadLogFiles();
        ASSERT_EQ(LogParser::counts().holdingData, 0u);
        ASSERT_LE(a->samples.size(), frames.size() * 2);
    }
    loggedTexts();
}

} // namespace
} // namespace vistra
