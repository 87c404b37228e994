#include "virtual/method_factory.h"

#include "core/constants.h"
#include "virtual/above_below.h"
#include "virtual/accumulate.h"
#include "virtual/average.h"
#include "virtual/count.h"
#include "virtual/custom_math.h"
#include "virtual/equals.h"
#include "virtual/estimate.h"
#include "virtual/frequency.h"
#include "virtual/iir.h"
#include "virtual/int_der.h"
#include "virtual/lookup_table.h"
#include "virtual/multi_math.h"
#include "virtual/multiplex.h"
#include "virtual/slope.h"
#include "virtual/statistics.h"
#include "virtual/timekeeping.h"

#include "gps_inputs.h"
#include "stored_input.h"
#include "test_host.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <stdexcept>
#include <string>
#include <typeindex>
#include <typeinfo>
#include <utility>
#include <vector>

namespace vistra {
namespace {

using test::Definition;

class MethodFactoryTest : public testing::Test {
protected:
    // Builds the group "Sig" of `lines` into msg.
    void create(const std::string& lines)
    {
        Definition d(lines);
        createVirtualSignal(msg, d.group, "Sig", d.file, "/defs/drive.vsd");
    }
    // The text of the std::invalid_argument that creating `lines` throws.
    std::string refusal(const std::string& lines)
    {
        try {
            create(lines);
        } catch (const std::invalid_argument& e) {
            return e.what();
        }
        return "(created)";
    }

    test::TestHost host;
    std::shared_ptr<VirtualMessage> msg = host.virtualMessage();
    std::shared_ptr<Signal> input = host.input("A");
};

TEST_F(MethodFactoryTest, KeywordsPickTheirClass)
{
    // Keys enough for every method; each reads its own.
    const std::string keys = "step=100\nsignal_01=CAN0.In.A\ndenom=2\nwindow=100\nabove=1\nbelow=0\n"
                             "posSlopeIncr=1\nposSlopeDecr=1\nnegSlopeIncr=1\nnegSlopeDecr=1\nhighLimit=1\n"
                             "lowLimit=0\n";
    const std::pair<const char*, std::type_index> methods[] = {
        {"average", typeid(Average)},       {"slope", typeid(Slope)},   {"integrate", typeid(IntDer)},
        {"count", typeid(Count)},           {"time", typeid(Timekeeping)}, {"accumulate", typeid(Accumulate)},
        {"frequency", typeid(Frequency)},   {"estimate", typeid(Estimate)}, {"IIR", typeid(IIR)},
        {"above", typeid(AboveBelow)},      {"below", typeid(AboveBelow)},
    };
    for (const auto& [method, type] : methods) {
        msg = host.virtualMessage();
        create(std::string("method=") + method + "\n" + keys);
        ASSERT_EQ(msg->signals.size(), 1u) << method;
        const Signal& created = *msg->signals[0];
        EXPECT_EQ(std::type_index(typeid(created)), type) << method;
    }
    for (const char* method : {"sum", "sub", "mult", "div", "avg", "max", "min", "sin", "cos", "tan", "asin", "acos",
                               "atan", "inv", "sqrt", "sqr", "der", "derive", "fmod"}) {
        msg = host.virtualMessage();
        create(std::string("method=") + method + "\n" + keys);
        ASSERT_EQ(msg->signals.size(), 1u) << method;
        EXPECT_NE(dynamic_cast<MultiMath*>(msg->signals[0].get()), nullptr) << method;
    }
    msg = host.virtualMessage();
    const std::size_t listed = VirtualMessage::allSignals.size();
    // Other spellings and an empty value.
    for (const char* method : {"Average", "SUM", "iir", "Integrate", ""}) {
        EXPECT_EQ(refusal(std::string("method=") + method + "\n" + keys),
                  std::string("Unknown virtual signal method: ") + method);
    }
    EXPECT_THROW(create(keys), Glib::KeyFileError);
    EXPECT_TRUE(msg->signals.empty());
    EXPECT_EQ(VirtualMessage::allSignals.size(), listed);
}

TEST_F(MethodFactoryTest, TheSignalKnowsItsDefinitionAndJoinsTheMessage)
{
    create("method=sum\nstep=100\nsignal_01=CAN0.In.A\n");
    auto signal = std::dynamic_pointer_cast<VirtualSignal>(msg->getSignal("Sig"));
    ASSERT_TRUE(signal);
    EXPECT_EQ(signal->fullName, "Virt.Virtual.Sig");
    EXPECT_EQ(signal->definitionFile, "/defs/drive.vsd");
    EXPECT_EQ(signal->definitionGroup, "Sig");
    EXPECT_EQ(VirtualMessage::allSignals.back(), signal);
}

TEST_F(MethodFactoryTest, AveragingWindow)
{
    const std::string base = "method=sum\nstep=100\nsignal_01=CAN0.In.A\n";
    // No window, one of 0 or below, or no step leaves the signal as it is; "avg" decides
    // over "avgWindow".
    for (const std::string& lines : {base, base + "avg=0\n", base + "avg=-5\n", base + "avg=0\navgWindow=500\n",
                                    base + "avgWindow=0\n", std::string("method=integrate\nsignal=CAN0.In.A\navg=1000\n")}) {
        msg = host.virtualMessage();
        create(lines);
        ASSERT_EQ(msg->signals.size(), 1u) << lines;
        EXPECT_EQ(msg->signals[0]->name, "Sig") << lines;
        EXPECT_FALSE(msg->signals[0]->hidden) << lines;
    }

    // The source keeps its own options and lives on hidden under a suffixed name; the
    // average shows under the group's name and averages the source's scaled output.
    for (const char* window : {"avg=1000\n", "avgWindow=500\n", "avg=1000\navgWindow=0\n"}) {
        SCOPED_TRACE(window);
        input->samples = {{test::T0, 3}, {test::T0 + 2000, 3}};
        input->hasData = true;
        msg = host.virtualMessage();
        create(base + "fact=2\nunit=V\n" + window);
        ASSERT_EQ(msg->signals.size(), 2u);
        auto average = std::dynamic_pointer_cast<Average>(msg->getSignal("Sig"));
        ASSERT_TRUE(average);
        auto source = msg->getSignal(std::string("Sig") + kAveragedSourceSuffix);
        EXPECT_EQ(average->wrapped, source);
        EXPECT_TRUE(average->dependsOn(source->fullName));
        EXPECT_EQ(average->unit, "V");
        EXPECT_TRUE(source->hidden);
        EXPECT_TRUE(source->internal);
        source->setEnabled(true);
        EXPECT_FALSE(source->enabled);
        auto last = VirtualMessage::allSignals.rbegin();
        EXPECT_EQ(*last, average);
        EXPECT_EQ(*++last, source);
        // Enabling the average loads the source and through it the input.
        average->setEnabled(true);
        EXPECT_EQ(input->useCount, 1u);
        source->process();
        source->finish();
        average->process();
        average->finish();
        EXPECT_EQ(average->valueAt(test::T0 + 1000), 6);
        average->setEnabled(false);
        EXPECT_EQ(input->useCount, 0u);
    }

    // A window shorter than the step refuses the group, and leaves nothing of it behind,
    // also when the group is tried again in a later pass.
    msg = host.virtualMessage();
    const std::size_t listed = VirtualMessage::allSignals.size();
    EXPECT_THROW(create(base + "avg=1.5\n"), Glib::KeyFileError);
    for (int pass = 0; pass < 2; ++pass)
        EXPECT_EQ(refusal(base + "avg=50\n"), "step > window for virtual signal Sig");
    EXPECT_TRUE(msg->signals.empty());
    EXPECT_EQ(VirtualMessage::allSignals.size(), listed);
}

// A NaN is no number setting of any method. An infinity is one only where it means no limit,
// or a level that is never (or always) crossed, and then computes as such.
TEST_F(MethodFactoryTest, NumberSettingsRefuseNaNAndKeepOnlyTheInfinitiesThatMeanNoLimit)
{
    const double inf = std::numeric_limits<double>::infinity();
    test::perStepInput(host, "X", {0, 10, 20, 10, 0}, 100);
    test::perStepInput(host, "F", {0, inf, inf, 0, 0}, 100);
    test::GpsInputs gps(host, "Logger", kLoggerIface);
    const std::string x = "step=100\nsignal_01=CAN0.In.X\n";
    struct Case {
        std::string lines;
        const char* refusal; // empty: created, and it shows `shown` at the five steps
        std::vector<double> shown;
    };
    const Case cases[] = {
        // Levels that are only compared take either infinity.
        {"method=count\nabove=nan\nbelow=0\n" + x, "Expected 'above' of Sig to be a number but got nan", {}},
        {"method=count\nabove=inf\nbelow=0\n" + x, "", {0, 0, 0, 0, 0}},
        {"method=count\nabove=15\nbelow=-inf\n" + x, "", {0, 0, 1, 1, 1}}, // never falls again
        {"method=time\nabove=0\nbelow=NaN\n" + x, "Expected 'below' of Sig to be a number but got NaN", {}},
        {"method=below\nabove=inf\nbelow=0\n" + x, "", {1, 1, 1, 1, 1}},
        {"method=estimate\nhighLimit=nan\nlowLimit=0\n" + x,
         "Expected 'highLimit' of Sig to be a number but got nan", {}},
        {"method=estimate\nhighLimit=inf\nlowLimit=0\noffValue=3\n" + x, "", {3, 3, 3, 3, 3}},
        // A trigger or compare value meets an input's infinity exactly; a NaN meets nothing.
        {"method=multiplex\ntrigSign_01=CAN0.In.F\ntrigVal_01=nan\n" + x,
         "Expected 'trigVal_01' of Sig to be a number but got nan", {}},
        {"method=equals\nsignal_02=CAN0.In.F\nvalue_01=-1\nvalue_02=inf\n" + x, "", {0, 1, 1, 0, 0}},
        {"method=equals\nsignal_02=CAN0.In.F\nvalue_01=-1\nvalue_02=nan\n" + x,
         "Expected 'value_02' of Sig to be a number but got nan", {}},
        // Limits of the integral: inf above, -inf below is none.
        {"method=integrate\nsignal=CAN0.In.X\nmaxSum=inf\nminSum=-inf\n", "", {0, 0, 1, 3, 4}},
        {"method=integrate\nsignal=CAN0.In.X\nmaxSum=nan\n",
         "Expected 'maxSum' of Sig to be a finite number or inf but got nan", {}},
        {"method=integrate\nsignal=CAN0.In.X\nminSum=inf\n",
         "Expected 'minSum' of Sig to be a finite number or -inf but got inf", {}},
        // Largest slopes and spikes: inf is none, -inf would refuse every change.
        {"method=slope\nposSlopeIncr=inf\nposSlopeDecr=inf\nnegSlopeIncr=1\nnegSlopeDecr=1\n" + x, "",
         {0, 10, 20, 10, 0}},
        {"method=slope\nposSlopeIncr=nan\nposSlopeDecr=1\nnegSlopeIncr=1\nnegSlopeDecr=1\n" + x,
         "Expected 'posSlopeIncr' of Sig to be a finite number or inf but got nan", {}},
        {"method=slope\nposSlopeIncr=1\nposSlopeDecr=1\nnegSlopeIncr=1\nnegSlopeDecr=-inf\n" + x,
         "Expected 'negSlopeDecr' of Sig to be a finite number or inf but got -inf", {}},
        {"method=frequency\nfilter=inf\n" + x, "", {0, 0, 0, 1000.0 / 300, 1000.0 / 300}},
        {"method=frequency\nfilter=-inf\n" + x,
         "Expected 'filter' of Sig to be a finite number or inf but got -inf", {}},
        // Constants of a computation and positions are finite.
        {"method=IIR\nK=nan\n" + x, "Expected 'K' of Sig to be a finite number but got nan", {}},
        {"method=IIR\nK=inf\n" + x, "Expected 'K' of Sig to be a finite number but got inf", {}},
        {"method=fmod\ndenom=nan\n" + x, "Expected 'denom' of Sig to be a finite number but got nan", {}},
        {"method=fmod\ndenom=-1e999\n" + x, "Expected 'denom' of Sig to be a finite number but got -1e999", {}},
        {"method=estimate\nhighLimit=1\nlowLimit=0\noffValue=-inf\n" + x,
         "Expected 'offValue' of Sig to be a finite number but got -inf", {}},
        {"method=geofence\nstep=1000\ntype=circle\ncenter=nan;18\nradius=100\n",
         "Expected 'center' of Sig to be finite numbers but got nan;18", {}},
        {"method=geofence\nstep=1000\ntype=square\ntopleft=60;17\nbottomright=59;inf\n",
         "Expected 'bottomright' of Sig to be finite numbers but got 59;inf", {}},
        // An expression has no such literals at all.
        {"method=expression\nexpr=$01 * nan\n" + x,
         "Failed to parse expression, check for errors around character 6 (n)", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lines);
        msg = host.virtualMessage();
        if (*c.refusal != '\0') {
            EXPECT_EQ(refusal(c.lines), c.refusal);
            EXPECT_TRUE(msg->signals.empty());
            continue;
        }
        create(c.lines);
        ASSERT_EQ(msg->signals.size(), 1u);
        Signal& signal = *msg->signals[0];
        signal.process();
        EXPECT_EQ(test::shownPerStep(signal, 5, 100), c.shown);
    }
}

TEST_F(MethodFactoryTest, ExpressionLookupTableMultiplexStatisticsAndEqualsKeywords)
{
    char pattern[] = "/tmp/method_factory_test_XXXXXX";
    const std::string dir = mkdtemp(pattern);
    std::ofstream(dir + "/table.txt") << "0 0\n10 100\n";
    const std::string in = "step=100\nsignal_01=CAN0.In.A\n";
    const std::pair<std::string, bool (*)(Signal*)> cases[] = {
        {"method=expression\nexpr=$01\n", [](Signal* s) { return dynamic_cast<CustomMath*>(s) != nullptr; }},
        {"method=multiplex\ntrigSign_01=CAN0.In.A\ntrigVal_01=1\n",
         [](Signal* s) { return dynamic_cast<Multiplex*>(s) != nullptr; }},
        {"method=statistics\ntype=max\n", [](Signal* s) { return dynamic_cast<Statistics*>(s) != nullptr; }},
        {"method=equals\nvalue_01=1\n", [](Signal* s) { return dynamic_cast<Equals*>(s) != nullptr; }},
        // The table file lies beside the VSD file.
        {"method=lookuptable\nfile=table.txt\n", [](Signal* s) { return dynamic_cast<LookupTable*>(s) != nullptr; }},
    };
    for (const auto& [lines, isClass] : cases) {
        msg = host.virtualMessage();
        Definition d(in + lines);
        createVirtualSignal(msg, d.group, "Sig", d.file, dir + "/drive.vsd");
        ASSERT_EQ(msg->signals.size(), 1u) << lines;
        EXPECT_TRUE(isClass(msg->signals[0].get())) << lines;
    }
    std::filesystem::remove_all(dir);
}

} // namespace
} // namespace vistra
