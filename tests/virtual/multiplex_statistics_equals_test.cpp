#include "virtual/equals.h"
#include "virtual/multiplex.h"
#include "virtual/statistics.h"

#include "test_helpers.h"
#include "test_host.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

namespace vistra {
namespace {

using test::Definition;
using test::T0;

class LatchStatisticsEquals : public testing::Test {
protected:
    template <class T>
    std::shared_ptr<T> create(const std::string& lines)
    {
        Definition d("step=100\n" + lines);
        return std::static_pointer_cast<T>(T::create(msg, d.group, d.file));
    }
    template <class T>
    std::string refusal(const std::string& lines)
    {
        try {
            create<T>(lines);
        } catch (const std::invalid_argument& e) {
            return e.what();
        } catch (const Glib::KeyFileError&) {
            return "KeyFileError";
        }
        return "(created)";
    }
    static double summary(Statistics& s)
    {
        double out = -1;
        EXPECT_TRUE(s.summary(&out));
        return out;
    }
    // The outputs as (time after T0, value).
    static std::vector<std::pair<u64, double>> outputs(const Signal& s)
    {
        std::vector<std::pair<u64, double>> out;
        for (const Sample& sample : s.samples)
            out.emplace_back(sample.time - T0, sample.value);
        return out;
    }

    test::TestHost host;
    std::shared_ptr<VirtualMessage> msg = host.virtualMessage();
};

using Outputs = std::vector<std::pair<u64, double>>;

TEST_F(LatchStatisticsEquals, MultiplexLatchesWhileTheTriggersMatch)
{
    // Steps at +0 ... +700.
    host.loadedInput("Value", {10, 11, 12, 13, 14, 15, 16, 17, 18}, 100);
    host.loadedInput("Trigger", {4, 3, 3, 4, 4, 3, 2.9999999, 2.9999999, 2.9999999}, 100);
    host.loadedInput("Second", {1, 1, 1, 1, 1, 0, 1, 1, 1}, 100);
    // Nothing before the first match; the value follows while the trigger is 3, and the
    // last latched value holds after; 2.9999999 is not 3.
    auto one = create<Multiplex>("signal=CAN0.In.Value\ntrigSign_01=CAN0.In.Trigger\ntrigVal_01=3\n");
    one->process();
    EXPECT_EQ(outputs(*one), (Outputs{{100, 11}, {200, 12}, {500, 15}}));
    // Every trigger must match.
    auto two = create<Multiplex>("signal_01=CAN0.In.Value\ntrigSign_01=CAN0.In.Trigger\ntrigVal_01=3\n"
                                 "trigSign_02=CAN0.In.Second\ntrigVal_02=1\n");
    two->process();
    EXPECT_EQ(outputs(*two), (Outputs{{100, 11}, {200, 12}}));

    EXPECT_EQ(refusal<Multiplex>("trigSign_01=CAN0.In.Trigger\ntrigVal_01=3\n"), "Missing signal_01");
    EXPECT_EQ(refusal<Multiplex>("signal=CAN0.In.Value\ntrigVal_01=3\n"), "expected at least trigSignal_01");
    EXPECT_EQ(refusal<Multiplex>("signal=CAN0.In.Value\ntrigSign_01=CAN0.In.Trigger\ntrigSign_02=CAN0.In.Second\n"
                                 "trigVal_01=3\n"),
              "expected trigVal_02");
}

TEST_F(LatchStatisticsEquals, StatisticsSummaries)
{
    struct Case {
        const char* lines;
        std::vector<double> values; // one per step; the last only closes the series
        double expected;
    };
    const Case cases[] = {
        {"type=max", {-5, -2, -8, -8}, -2},
        {"type=min", {5, 5, 5, 5}, 5},
        {"type=min", {3, -1, 2, 2}, -1},
        {"type=avg", {1, 2, 3, 3}, 2},
        {"type=average", {1, 2, 3, 3}, 2},
        {"type=average\nfact=2\noffs=1", {1, 2, 3, 3}, 5},
        {"type=max\nfact=-1", {1, 4, 2, 2}, -4},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string name = "In" + std::to_string(n++);
        host.loadedInput(name, c.values, 100);
        auto s = create<Statistics>(std::string(c.lines) + "\nsignal=CAN0.In." + name + "\n");
        s->process();
        s->finish();
        EXPECT_EQ(summary(*s), c.expected) << c.lines;
        EXPECT_TRUE(s->samples.empty()) << c.lines;
    }
    // Without a computed step there is no value, whatever the type.
    host.loadedInput("Once", {7}, 100);
    for (const char* type : {"min", "max", "avg"}) {
        auto s = create<Statistics>(std::string("signal_01=CAN0.In.Once\ntype=") + type + "\n");
        s->process();
        s->finish();
        EXPECT_TRUE(std::isnan(summary(*s))) << type;
    }
}

TEST_F(LatchStatisticsEquals, TheMeanIsRightAfterALoadAndWhileLiveDataArrive)
{
    // A load: the computing pass processes and finishes; a further finish changes nothing.
    host.loadedInput("Load", {1, 2, 3, 3}, 100);
    auto loaded = create<Statistics>("signal=CAN0.In.Load\ntype=avg\n");
    msg->addSignal(loaded, loaded->name);
    loaded->setEnabled(true);
    msg->startThread();
    msg->endOfLoad();
    loaded->finish();
    EXPECT_EQ(summary(*loaded), 2);

    // Live data: process after every block, never a finish.
    auto input = host.input("Live", {{T0, 1}, {T0 + 100, 2}});
    auto live = create<Statistics>("signal=CAN0.In.Live\ntype=avg\n");
    live->process();
    EXPECT_EQ(summary(*live), 1);
    input->samples.push_back({T0 + 200, 6});
    input->samples.push_back({T0 + 300, 6});
    live->process();
    EXPECT_EQ(summary(*live), 3);
}

TEST_F(LatchStatisticsEquals, StatisticsDefinitions)
{
    auto speed = host.input("Speed", {{T0, 1}, {T0 + 100, 1}});
    speed->unit = "km/h";
    auto inherits = create<Statistics>("signal=CAN0.In.Speed\ntype=max\n");
    EXPECT_EQ(inherits->unit, "km/h");
    EXPECT_TRUE(inherits->noPlot);
    EXPECT_EQ(create<Statistics>("signal=CAN0.In.Speed\ntype=max\nunit=m/s\n")->unit, "m/s");

    EXPECT_EQ(refusal<Statistics>("signal=CAN0.In.Speed\ntype=median\n"), "Invalid statistics type 'median'");
    EXPECT_EQ(refusal<Statistics>("signal=CAN0.In.Speed\ntype=Max\n"), "Invalid statistics type 'Max'");
    EXPECT_EQ(refusal<Statistics>("signal=CAN0.In.Speed\n"), "KeyFileError");
    EXPECT_EQ(refusal<Statistics>("type=max\n"), "Missing signal_01");
}

TEST_F(LatchStatisticsEquals, EqualsAnyOrAll)
{
    host.loadedInput("One", {1, 1, 0, 0}, 100);
    host.loadedInput("Two", {2, 5, 5, 5}, 100);
    const std::string both = "signal_01=CAN0.In.One\nsignal_02=CAN0.In.Two\nvalue_01=1\nvalue_02=5\n";
    // Steps: (1, 2) one matches, (1, 5) both, (0, 5) one.
    auto any = create<Equals>(both);
    any->process();
    EXPECT_EQ(outputs(*any), (Outputs{{0, 1}}));
    auto all = create<Equals>(both + "allOf=true\n");
    all->process();
    EXPECT_EQ(outputs(*all), (Outputs{{0, 0}, {100, 1}, {200, 0}}));
    auto none = create<Equals>("signal_01=CAN0.In.One\nvalue_01=7\n");
    none->process();
    EXPECT_EQ(outputs(*none), (Outputs{{0, 0}}));

    EXPECT_EQ(refusal<Equals>("signal_01=CAN0.In.One\nvalue_01=1\nvalue_02=5\n"),
              "Input and value count for Equals signal must match");
    EXPECT_EQ(refusal<Equals>(both.substr(0, both.find("value_02"))),
              "Input and value count for Equals signal must match");
    EXPECT_EQ(refusal<Equals>("value_01=1\n"), "At least one signal_XX= must be defined");
}

} // namespace
} // namespace vistra
