#include "views/resample_table.h"

#include "core/can_iface.h"
#include "core/message.h"
#include "core/signal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <sstream>

namespace vistra {
namespace {

struct Model {
    std::map<u32, std::shared_ptr<CanIface>> interfaces;

    ~Model()
    {
        for (auto& entry : interfaces) {
            for (auto& msg : entry.second->messages)
                msg.second->clear();
            entry.second->clear();
        }
    }

    std::shared_ptr<Message> message(u32 ifaceNumber, const char* ifaceName, u32 id, const char* name)
    {
        auto& iface = interfaces[ifaceNumber];
        if (!iface)
            iface = CanIface::create(ifaceName, ifaceNumber);
        auto msg = std::make_shared<Message>(id, name, iface);
        iface->addMessage(msg);
        return msg;
    }

    static std::shared_ptr<Signal> signal(const std::shared_ptr<Message>& msg, const char* name, const char* unit,
                                          std::vector<Sample> samples = {}, bool enabled = true)
    {
        auto sig = std::make_shared<Signal>(msg, name);
        sig->unit = unit;
        sig->samples = std::move(samples);
        sig->enabled = enabled;
        msg->addSignal(name, sig);
        return sig;
    }
};

TEST(ResampleTable, GoldenText)
{
    Model model;
    auto msg = model.message(0, "CAN0", 0x10, "MsgA");
    auto s0 = Model::signal(msg, "Signal0", "V", {{990, 1.0}, {1040, 12.5}});
    auto s1 = Model::signal(msg, "Signal1", "A", {{1010, 2.5}});
    // Texts from files are data, never formats.
    auto s2 = Model::signal(msg, "Pct%s%n", "%d%%", {{0, 3.14159}});

    EXPECT_EQ(resampledTable({s0, s1, s2}, 1000, 1050, 20, false),
              "Time(ms)\tCAN0.MsgA.Signal0 (V)\tCAN0.MsgA.Signal1 (A)\tCAN0.MsgA.Pct%s%n (%d%%)\n"
              "0\t1.00\t0.00\t3.14\n"
              "20\t1.00\t2.50\t3.14\n"
              "40\t12.50\t2.50\t3.14");
    EXPECT_EQ(resampledTable({s0, s1}, 1000, 1050, 20, true),
              "Time(ms)\tCAN0.MsgA.Signal0 (V)\tCAN0.MsgA.Signal1 (A)\n"
              "0\t1,00\t0,00\n"
              "20\t1,00\t2,50\n"
              "40\t12,50\t2,50");
}

TEST(ResampleTable, RowsOfTheInterval)
{
    Model model;
    auto msg = model.message(0, "CAN0", 0x10, "M");
    auto s = Model::signal(msg, "S", "", {{5, 7.0}});
    constexpr u64 kMax = std::numeric_limits<u64>::max();
    const struct {
        u64 from, to, step;
        const char* rows;
    } cases[] = {
        {1000, 1000, 20, ""},                           // empty interval: the header alone
        {0, 3, 0, "\n0\t0.00\n1\t0.00\n2\t0.00"},       // a 0 step is taken as 1 ms and ends
        {5, 9, 2, "\n0\t7.00\n2\t7.00"},                // `to` itself is not a row
        {kMax - 5, kMax, 4, "\n0\t7.00\n4\t7.00"},      // no wrap at the end of the range
        {0, 1'000'000, 600'000, "\n0\t0.00\n600000\t7.00"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(resampledTable({s}, c.from, c.to, c.step, false), std::string("Time(ms)\tCAN0.M.S ()") + c.rows)
            << c.from << ".." << c.to << " step " << c.step;
}

// Every cell is the value of the last sample at or before its time, also where the
// column walk starts from the coarse search of a long sample vector.
TEST(ResampleTable, CellsMatchValueAt)
{
    Model model;
    auto msg = model.message(0, "CAN0", 0x10, "M");
    std::vector<Sample> samples;
    u64 t = 10'000;
    for (int i = 0; i < 5000; ++i) {
        t += 1 + static_cast<u64>(i * 7919 % 13);
        samples.push_back({t, static_cast<double>(i)});
    }
    auto s = Model::signal(msg, "S", "", samples);

    const u64 from = 9'990, to = t + 50, step = 3;
    std::istringstream lines(resampledTable({s}, from, to, step, false));
    std::string line;
    std::getline(lines, line); // header
    u64 rows = 0;
    for (; std::getline(lines, line); ++rows) {
        const u64 at = from + rows * step;
        char expected[64];
        std::snprintf(expected, sizeof expected, "%llu\t%.2f", static_cast<unsigned long long>(at - from),
                      s->valueAt(at));
        ASSERT_EQ(line, expected);
    }
    EXPECT_EQ(rows, (to - from + step - 1) / step);
}

TEST(ResampleTable, ColumnsArePlottedSignalsInMapOrder)
{
    Model model;
    auto m2 = model.message(1, "CAN1", 0x20, "Late");
    auto m1 = model.message(1, "CAN1", 0x10, "Early");
    auto m0 = model.message(0, "CAN0", 0x30, "First");
    auto quiet = model.message(0, "CAN0", 0x05, "Quiet");
    auto b = Model::signal(m1, "b", "");
    auto a = Model::signal(m1, "a", "");
    auto z = Model::signal(m0, "z", "");
    auto late = Model::signal(m2, "x", "");
    auto off = Model::signal(m2, "off", "", {}, false);
    auto hiddenFromPlot = Model::signal(m2, "internal", "");
    hiddenFromPlot->noPlot = true;
    Model::signal(quiet, "unused", "", {}, false);

    EXPECT_EQ(plottedColumns(model.interfaces), (std::vector<std::shared_ptr<Signal>>{z, a, b, late}));
    EXPECT_TRUE(plottedColumns({}).empty());
}

TEST(ResampleTable, SnapStep)
{
    const struct {
        double v;
        u64 unit, highest, step;
    } cases[] = {
        {9.6, 1, 10, 9},          {999, 10, 1000, 990},      {60000, 1000, 60000, 60000},
        {11, 1, 10, 10},          {5000, 10, 1000, 1000},    {61000, 1000, 60000, 60000},
        {0, 1, 10, 1},            {0, 10, 1000, 10},         {0, 1000, 60000, 1000}, // keys below the lower end
        {-1e300, 1, 10, 1},       {std::nan(""), 10, 1000, 10}, {1e300, 1000, 60000, 60000},
    };
    for (const auto& c : cases)
        EXPECT_EQ(snapStep(c.v, c.unit, c.highest), c.step) << c.v << " on the " << c.unit << " ms scale";
}

} // namespace
} // namespace vistra
