#include "virtual/method_factory.h"

#include "virtual/custom_math.h"
#include "virtual/equals.h"
#include "virtual/lookup_table.h"
#include "virtual/multi_math.h"
#include "virtual/multiplex.h"
#include "virtual/statistics.h"

#include "test_host.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

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
    for (const char* method : {"sum", "sub", "mult", "div", "avg", "max", "min", "sin", "cos", "tan", "asin", "acos",
                               "atan", "inv", "sqrt", "sqr", "der", "derive", "fmod"}) {
        msg = host.virtualMessage();
        create(std::string("method=") + method + "\nstep=100\nsignal_01=CAN0.In.A\ndenom=2\n");
        ASSERT_EQ(msg->signals.size(), 1u) << method;
        EXPECT_NE(dynamic_cast<MultiMath*>(msg->signals[0].get()), nullptr) << method;
    }
    msg = host.virtualMessage();
    const std::size_t listed = VirtualMessage::allSignals.size();
    // Keywords of methods this version does not build, other spellings and an empty value.
    for (const char* method : {"average", "slope", "integrate", "count", "time", "accumulate", "frequency",
                               "estimate", "IIR", "above", "below", "Average", "SUM", "iir", ""}) {
        EXPECT_EQ(refusal(std::string("method=") + method + "\nstep=100\nsignal_01=CAN0.In.A\n"),
                  std::string("Unknown virtual signal method: ") + method);
    }
    EXPECT_THROW(create("step=100\nsignal_01=CAN0.In.A\n"), Glib::KeyFileError);
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
    // No window, or one of 0 or below, leaves the signal as it is; "avg" decides over "avgWindow".
    for (const char* window : {"", "avg=0\n", "avg=-5\n", "avg=0\navgWindow=500\n", "avgWindow=0\n"}) {
        msg = host.virtualMessage();
        create(base + window);
        ASSERT_EQ(msg->signals.size(), 1u) << window;
        EXPECT_EQ(msg->signals[0]->name, "Sig") << window;
        EXPECT_FALSE(msg->signals[0]->hidden) << window;
    }
    msg = host.virtualMessage();
    const std::size_t listed = VirtualMessage::allSignals.size();
    EXPECT_THROW(create(base + "avg=1.5\n"), Glib::KeyFileError);
    // A window that this version cannot build refuses the group, and leaves nothing of it
    // behind, also when the group is tried again in a later pass.
    for (const char* window : {"avg=1000\n", "avgWindow=500\n", "avg=1000\navgWindow=0\n"}) {
        for (int pass = 0; pass < 2; ++pass)
            EXPECT_EQ(refusal(base + window),
                      "The 'avg' and 'avgWindow' options are not supported in this version (Sig)");
        EXPECT_TRUE(msg->signals.empty()) << window;
        EXPECT_EQ(VirtualMessage::allSignals.size(), listed) << window;
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
