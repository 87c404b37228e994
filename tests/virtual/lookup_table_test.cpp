#include "virtual/lookup_table.h"

#include "test_helpers.h"
#include "test_host.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace vistra {
namespace {

using test::Definition;
using test::T0;

class LookupTableTest : public testing::Test {
protected:
    LookupTableTest()
    {
        char pattern[] = "/tmp/lookup_table_test_XXXXXX";
        dir = mkdtemp(pattern);
        for (const char* name : {"X", "Y", "Z"})
            host.input(name, {{T0, 0}, {T0 + 1000, 0}});
    }
    ~LookupTableTest() override { std::filesystem::remove_all(dir); }

    // Writes `text` as dir/<name>; its path.
    std::string write(const std::string& name, const std::string& text)
    {
        const std::string path = dir + "/" + name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    // A table over the first `inputs` of X, Y, Z, read from `lines` (a group's keys).
    std::shared_ptr<LookupTable> create(int inputs, const std::string& lines)
    {
        std::string keys = "method=lookuptable\nstep=100\n";
        for (int k = 0; k < inputs; ++k)
            keys += CustomSignal::numberedKey("signal", k + 1).raw() + "=CAN0.In." + "XYZ"[k] + "\n";
        Definition d(keys + lines);
        return std::static_pointer_cast<LookupTable>(LookupTable::create(msg, d.group, d.file, dir + "/a.vsd"));
    }
    std::shared_ptr<LookupTable> table(int inputs, const std::string& text)
    {
        return create(inputs, "file=" + write("table.txt", text) + "\n");
    }
    std::string refusal(int inputs, const std::string& lines)
    {
        try {
            create(inputs, lines);
        } catch (const std::invalid_argument& e) {
            return e.what();
        }
        return "(created)";
    }

    std::string dir;
    test::TestHost host;
    std::shared_ptr<VirtualMessage> msg = host.virtualMessage();
};

TEST_F(LookupTableTest, InterpolatesOneInputAfterTheOther)
{
    struct Case {
        std::string text;
        int inputs;
        std::vector<std::pair<std::vector<double>, double>> lookups;
    };
    // A comment longer than a line buffer, with a row where a second buffer would begin.
    const std::string longComment = "#" + std::string(2000, ' ') + "5 5\n";
    const std::string longRow = "0" + std::string(2000, ' ') + "0\n10 100\n";
    const Case cases[] = {
        // Held at both ends, exact at the rows.
        {"0 0\n10 100\n20 400\n", 1, {{{5}, 50}, {{15}, 250}, {{-3}, 0}, {{25}, 400}, {{10}, 100}, {{0}, 0}}},
        {"20 400\n10 100\n0 0\n", 1, {{{5}, 50}, {{15}, 250}, {{-3}, 0}, {{25}, 400}, {{10}, 100}}},
        {"0 0 1\n0 10 2\n10 0 3\n10 10 5\n", 2, {{{5, 5}, 2.75}, {{0, 5}, 1.5}, {{-1, 20}, 2}, {{10, 5}, 4}}},
        // Sub-tables with keys of their own.
        {"0 0 0\n0 10 10\n10 5 100\n10 15 200\n", 2, {{{5, 10}, 80}, {{0, 20}, 10}, {{10, 0}, 100}}},
        // Output 4x + 2y + z at the corners of a cube.
        {"0 0 0 0\n0 0 1 1\n0 1 0 2\n0 1 1 3\n1 0 0 4\n1 0 1 5\n1 1 0 6\n1 1 1 7\n",
         3,
         {{{0.5, 0.5, 0.5}, 3.5}, {{0.25, 1, 0}, 3}, {{1, 0.5, 0.25}, 5.25}}},
        // Equal keys are merged; of two outputs the smaller comes first.
        {"1 7\n1 3\n", 1, {{{0}, 3}, {{1}, 3}, {{2}, 3}}},
        // Lines without a number add nothing; text and numbers after a row are ignored.
        {"x y out\n# comment\n0 0\n10 100 trailing 5 6\n", 1, {{{5}, 50}}},
        {"0 0 99 98\n10 10 97\n", 1, {{{5}, 5}}},
        {"1,5 2\n3,5 4\n", 1, {{{2.5}, 3}}},
        {"0 0\r\n10 100\r\n", 1, {{{5}, 50}}},
        {"0.5e1 1.5e3\n1.0e1 3000\n", 1, {{{7.5}, 2250}}},
        // Lines are read whole, however long.
        {longComment + "0 0\n10 100\n", 1, {{{5}, 50}}},
        {longRow, 1, {{{5}, 50}}},
    };
    for (const Case& c : cases) {
        auto t = table(c.inputs, c.text);
        for (const auto& [x, y] : c.lookups)
            EXPECT_DOUBLE_EQ(t->interpolate(t->root, x, 0), y) << c.text << " at " << x[0];
    }
}

TEST_F(LookupTableTest, ComputesAtTheSteps)
{
    host.loadedInput("Speed", {5, 15, 5, 25, 25}, 100);
    Definition d("method=lookuptable\nstep=100\nsignal_01=CAN0.In.Speed\nfile=table.txt\nfact=2\n");
    write("table.txt", "0 0\n10 100\n20 400\n");
    // A relative path is found beside the VSD file.
    auto t = LookupTable::create(msg, d.group, d.file, dir + "/a.vsd");
    t->process();
    EXPECT_EQ(t->samples, (std::vector<Sample>{{T0, 100}, {T0 + 100, 500}, {T0 + 200, 100}, {T0 + 300, 800}}));
}

TEST_F(LookupTableTest, RefusedTables)
{
    write("empty.txt", "");
    write("header.txt", "x out\n# nothing else\n");
    write("short.txt", "0 0 1\n1 2\n");
    const std::string formatError = "LookupTable file format error, last column not found: " + dir;
    const std::pair<std::string, std::string> cases[] = {
        {"file=empty.txt\n", formatError + "/empty.txt has no table rows"},
        {"file=header.txt\n", formatError + "/header.txt has no table rows"},
        {"file=short.txt\n",
         formatError + "/short.txt line 2 has 2 numbers, a row needs 3 (one per input, then the output)"},
        {"file=missing.txt\n", dir + "/missing.txt can't be read."},
        {"file=" + dir + "\n", dir + " can't be read."},
        {"", "Missing vector file path ('file') for Sig"},
    };
    for (const auto& [lines, text] : cases)
        EXPECT_EQ(refusal(2, lines), text) << lines;
    EXPECT_EQ(refusal(0, "file=short.txt\n"), "At least one signal_XX= must be defined");
}

TEST_F(LookupTableTest, AFailedLookupStoresNothingAndIsReportedOnce)
{
    host.loadedInput("Speed", {5, 15, 2, 15, 2}, 100);
    Definition d("method=lookuptable\nstep=100\nsignal_01=CAN0.In.Speed\nfile=table.txt\n");
    write("table.txt", "0 0\n10 100\n20 400\n");
    auto t = std::static_pointer_cast<LookupTable>(LookupTable::create(msg, d.group, d.file, dir + "/a.vsd"));
    // The row of 20 loses its output: lookups between 10 and 20 now fail.
    t->root.children[2].children.clear();
    test::drainLog();
    t->process();
    EXPECT_EQ(t->samples, (std::vector<Sample>{{T0, 50}, {T0 + 200, 20}}));
    EXPECT_EQ(test::drainLog(), std::vector<std::string>{
                                    "Computing Virt.Virtual.Sig failed: LookupTable file format error, last "
                                    "column not found"});
}

} // namespace
} // namespace vistra
