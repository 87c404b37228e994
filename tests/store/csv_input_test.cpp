// CSV input: delimiters, header and units rows, the rows into the column signals, bad
// rows and files, and the start-up branch that loads it.
#include "core/can_iface.h"
#include "core/message.h"
#include "core/report.h"
#include "core/settings.h"
#include "core/signal.h"
#include "store/command_line.h"
#include "store/store.h"
#include "test_helpers.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace vistra {
namespace {

using test::drainLog;

std::string writeCsv(const std::string& name, const std::string& text)
{
    const std::string path = std::string(std::getenv("HOME")) + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

// A quiet store in CSV-input mode with one file listed.
struct CsvStore : Store {
    explicit CsvStore(const std::string& path)
    {
        textMode = true;
        csvInput = true;
        addLogFile(path.c_str());
    }
    ~CsvStore() override { stop(); }
    const Signal& column(const char* name) { return *findSignal(std::string("CSV.All.") + name); }
};

// "{d}" stands for the delimiter.
std::string withDelimiter(std::string text, char delimiter)
{
    for (std::size_t at; (at = text.find("{d}")) != std::string::npos;)
        text.replace(at, 3, 1, delimiter);
    return text;
}

TEST(CsvInput, DelimitersHeaderAndUnitsRows)
{
    for (char delimiter : {'\t', ';', ','}) {
        for (bool unitsRow : {true, false}) {
            SCOPED_TRACE(std::string("delimiter '") + delimiter + "', units row " + (unitsRow ? "yes" : "no"));
            // A decimal comma only where the comma does not separate the columns.
            const std::string half = delimiter == ',' ? "0.5" : "0,5";
            std::string text = "Exported by a tool\n";
            text += withDelimiter("Time (s){d} Speed (km/h) {d}Temp\n", delimiter);
            if (unitsRow)
                text += withDelimiter("s{d}{d}degC\n", delimiter);
            text += withDelimiter("0{d}10" + half.substr(1) + "{d}20\n", delimiter);
            text += withDelimiter(half + "{d}{d}21\r\n", delimiter); // an empty field: no value
            text += withDelimiter("1{d}12{d} 22\n", delimiter);
            text += withDelimiter("1" + half.substr(1) + "{d}13{d}23", delimiter);
            drainLog();
            CsvStore store(writeCsv("table.csv", text));
            store.loadCsv();
            std::vector<std::string> expectedLog{std::string("CSV delimiter is: '") + delimiter + "'"};
            if (!unitsRow)
                expectedLog.push_back("No second row with units found");
            EXPECT_EQ(drainLog(), expectedLog);

            auto iface = store.getIface(1023);
            ASSERT_TRUE(iface);
            EXPECT_EQ(iface->name, "CSV");
            ASSERT_TRUE(iface->getMessage(0));
            EXPECT_EQ(iface->getMessage(0)->name, "All");
            ASSERT_EQ(store.csvColumns.size(), 2u);
            EXPECT_EQ(store.csvColumns[0]->name, "Speed");
            EXPECT_EQ(store.csvColumns[0]->unit, "km/h");
            EXPECT_EQ(store.csvColumns[1]->name, "Temp");
            EXPECT_EQ(store.csvColumns[1]->unit, unitsRow ? "degC" : "");

            store.parseNow();
            EXPECT_TRUE(drainLog().empty());
            EXPECT_EQ(store.column("Speed").samples, (std::vector<Sample>{{0, 10.5}, {1000, 12}, {1500, 13}}));
            EXPECT_EQ(store.column("Temp").samples, (std::vector<Sample>{{0, 20}, {500, 21}, {1000, 22}, {1500, 23}}));
            EXPECT_EQ(store.firstTime, 0u);
            EXPECT_EQ(store.lastTime, 1500u);
            EXPECT_EQ(store.progress, kProgressDone);
        }
    }
}

TEST(CsvInput, RowsThatAreSkippedAndTimesThatGoBack)
{
    const std::string text = "t;a;b\n"
                             "10;1;1\n"
                             "11;2;2\n"
                             "12;3;3\n"
                             "abc;4;4\n"       // no time
                             "13\n"            // no delimiter: skipped without a word
                             "-1;5;5\n"        // a negative time
                             "1,0e400;5;5\n"   // an infinite one
                             "13;x;6\n"        // a bad field ends the row
                             "14;;  ;\n"       // empty fields, also blank ones
                             "11,5;7;7\n"      // back in time: at the previous row's time
                             "12;8;8\n"        // and on from there
                             "16;9\n";         // a column short
    drainLog();
    CsvStore store(writeCsv("rows.csv", text));
    store.loadCsv();
    drainLog();
    testing::internal::CaptureStderr();
    store.parseNow();
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(drainLog(), (std::vector<std::string>{"no time, skip row: abc;4;4", "no time, skip row: -1;5;5",
                                                    "no time, skip row: 1,0e400;5;5", "bad row, skip: x;6",
                                                    "bad row, skip: 16;9"}));
    // The store keeps changes only: repeated values add no sample.
    EXPECT_EQ(store.column("a").samples,
              (std::vector<Sample>{{10000, 1}, {11000, 2}, {12000, 3}, {14000, 7}, {14500, 8}, {18500, 9}}));
    EXPECT_EQ(store.column("b").samples, (std::vector<Sample>{{10000, 1}, {11000, 2}, {12000, 3}, {14000, 7}, {14500, 8}}));
    EXPECT_EQ(store.lastTime, 18500u);
}

TEST(CsvInput, FilesItCannotTake)
{
    const std::string five = "t,a\n0,1\n1,2\n2,3\n";
    struct Case {
        const char* what;
        std::string path;
        std::string error;
    } cases[] = {
        {"fewer than 5 lines", writeCsv("four.csv", five), "Couldn't read first 5 line of file {path}"},
        {"no delimiter", writeCsv("none.csv", "a\nb\nc\nd\ne\n"), "Expected CSV column delimiter to be one of \t/;/,"},
        {"header on the fifth line", writeCsv("late.csv", "x\nx\nx\nx\nt,a\n"), "Out of lines"},
        {"missing", std::string(std::getenv("HOME")) + "/missing.csv", "Couldn't open file: {path}"},
        {"a directory", std::getenv("HOME"), "Couldn't open file: {path}"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        drainLog();
        CsvStore store(c.path);
        testing::internal::CaptureStderr();
        EXPECT_THROW(store.loadCsv(), PrintMsgError);
        testing::internal::GetCapturedStderr();
        std::string error = c.error;
        if (error.find("{path}") != std::string::npos)
            error.replace(error.find("{path}"), 6, c.path);
        const auto log = drainLog();
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(log.back(), error);
    }

    drainLog();
    Store empty;
    empty.textMode = true;
    empty.csvInput = true;
    testing::internal::CaptureStderr();
    EXPECT_THROW(empty.loadCsv(), PrintMsgError);
    empty.readCsvRows(); // never loaded
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(drainLog(), (std::vector<std::string>{"No CSV files given ...", "No CSV interface created"}));
}

// The start-up in CSV mode (no option sets it): the columns are loaded, a VSD file given
// is recorded and loaded over them, and nothing else is.
TEST(CsvInput, StartUpLoadsTheColumnsAndAVsdFileOverThem)
{
    const std::string csv = writeCsv("startup.csv", "t\tSpeed\n0\t1\n1\t2\n2\t3\n3\t4\n");
    const std::string vsd = writeCsv("double.vsd", "[Double]\nmethod=mult\nsignal_01=CSV.All.Speed\nstep=100\nfact=2\n");
    for (bool withVsd : {false, true}) {
        SCOPED_TRACE(withVsd ? "with a VSD file" : "alone");
        Settings::instance()->setDbFile("./dummy");
        Settings::instance()->setVsdFile("./dummy");
        std::vector<std::string> args{"tarnwick", "-l"};
        if (withVsd)
            args.insert(args.end(), {"-f", vsd});
        args.push_back(csv);
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        char* buffer = nullptr;
        std::size_t size = 0;
        std::FILE* out = open_memstream(&buffer, &size);
        Store store;
        store.csvInput = true;
        testing::internal::CaptureStderr();
        const int code = CommandLine(store, {}, out).run(static_cast<int>(args.size()), argv.data());
        testing::internal::GetCapturedStderr();
        std::fclose(out);
        const std::string listing(buffer, size);
        std::free(buffer);
        drainLog();
        EXPECT_EQ(code, 0);
        if (withVsd) {
            EXPECT_EQ(listing, "CSV\n\tAll\n\t\tSpeed\nVirt\n\tVirtual\n\t\tDouble\n");
            EXPECT_EQ(Settings::instance()->getVsdFile(), vsd);
        } else {
            EXPECT_EQ(listing, "CSV\n\tAll\n\t\tSpeed\n"); // no "Logger" either
            EXPECT_EQ(Settings::instance()->getVsdFile(), "./dummy");
        }
        EXPECT_EQ(Settings::instance()->getDbFile(), "./dummy");
    }
}

} // namespace
} // namespace vistra
