#include "virtual/custom_signal.h"

#include "test_helpers.h"
#include "test_host.h"

#include <gtest/gtest.h>

#include <glibmm/keyfile.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace vistra {
namespace {

using test::Definition;
using test::T0;

// Records every step: its time (relative to T0) and the inputs' values; outputs input 1.
class Probe : public CustomSignal {
public:
    Probe(std::shared_ptr<Message> parent, const Glib::ustring& group, Glib::KeyFile& keyFile)
        : CustomSignal(std::move(parent), group, keyFile)
    {
        readNumberedInputs(keyFile, group);
    }
    static std::shared_ptr<Probe> create(std::shared_ptr<Message> parent, Definition& d)
    {
        return std::static_pointer_cast<Probe>(build<Probe>(std::move(parent), d.group, d.file));
    }
    void compute() override
    {
        std::vector<double> values;
        for (const Input& input : inputs)
            values.push_back(input.value);
        steps.emplace_back(currentTime - T0, values);
        addValue(currentTime, values[0]);
    }
    std::vector<std::pair<u64, std::vector<double>>> steps;
};

using Steps = std::vector<std::pair<u64, std::vector<double>>>;

std::vector<Sample> series(std::initializer_list<std::pair<u64, double>> points)
{
    std::vector<Sample> out;
    for (const auto& [t, v] : points)
        out.push_back({T0 + t, v});
    return out;
}

class CustomSignalTest : public testing::Test {
protected:
    std::shared_ptr<Probe> probe(const std::string& lines)
    {
        Definition d("method=probe\n" + lines);
        return Probe::create(msg, d);
    }

    test::TestHost host;
    std::shared_ptr<VirtualMessage> msg = host.virtualMessage();
};

TEST_F(CustomSignalTest, StepsThroughTheInputs)
{
    struct Case {
        const char* name;
        std::vector<Sample> a, b;
        Steps expected;
    };
    std::vector<Sample> every100; // 0..60000 ms, value = time / 100
    for (u64 t = 0; t <= 60000; t += 100)
        every100.push_back({T0 + t, double(t / 100)});
    Steps pause{};
    for (u64 t = 0; t <= 1000; t += 100)
        pause.push_back({t, {double(t / 100), t < 1000 ? 1.0 : 2.0}});
    for (u64 t = 31000; t <= 32000; t += 100)
        pause.push_back({t, {double(t / 100), t < 32000 ? 3.0 : 4.0}});
    const Case cases[] = {
        {"the walk starts at the latest first sample",
         series({{1000, 1}, {1400, 2}, {1600, 3}, {1800, 4}}),
         series({{1500, 10}, {1700, 11}, {1800, 12}}),
         {{1500, {2, 10}}, {1600, {3, 10}}, {1700, {3, 11}}}},
        {"a step needs a later sample of every input",
         series({{0, 1}, {100, 2}, {200, 3}}), series({{0, 5}, {1000, 6}}),
         {{0, {1, 5}}, {100, {2, 5}}}},
        {"the shortest input ends the walk",
         series({{0, 1}, {1000, 2}}), series({{0, 5}, {250, 6}}),
         {{0, {1, 5}}, {100, {1, 5}}, {200, {1, 5}}}},
        {"one sample computes nothing", series({{0, 1}}), series({{0, 5}, {1000, 6}}), {}},
        {"an input without data computes nothing", series({{0, 1}, {1000, 2}}), {}, {}},
        // B pauses for 30 s: after the step at 1000 the walk jumps to the next sample time
        // and the samples of A in between are skipped; after 32000 it jumps to 60000, where
        // A ends.
        {"a silence is jumped over", every100, series({{0, 1}, {1000, 2}, {31000, 3}, {32000, 4}, {60000, 5}}),
         pause},
    };
    for (const Case& c : cases) {
        host.input("A", c.a);
        host.input("B", c.b);
        auto p = probe("step=100\nsignal_01=CAN0.In.A\nsignal_02=CAN0.In.B\n");
        p->process();
        EXPECT_EQ(p->steps, c.expected) << c.name;
    }
}

TEST_F(CustomSignalTest, LiveDataResumeWhereTheWalkStopped)
{
    auto a = host.input("A", series({{0, 1}, {100, 2}, {200, 3}}));
    auto p = probe("step=100\nsignal_01=CAN0.In.A\n");
    p->process();
    EXPECT_EQ(p->steps, (Steps{{0, {1}}, {100, {2}}}));

    // New samples arrive; the vector moves. The next call computes the step at 200 from
    // the saved position, and nothing twice.
    a->samples.push_back({T0 + 300, 4});
    a->samples.shrink_to_fit();
    p->process();
    p->process();
    EXPECT_EQ(p->steps, (Steps{{0, {1}}, {100, {2}}, {200, {3}}}));
}

TEST_F(CustomSignalTest, AbsoluteInputAppliesToEveryInput)
{
    host.input("A", series({{0, -2}, {100, -3}}));
    host.input("B", series({{0, -5}, {100, 5}}));
    auto p = probe("step=100\nabsInput=true\nsignal_01=CAN0.In.A\nsignal_02=CAN0.In.B\n");
    p->process();
    EXPECT_EQ(p->steps, (Steps{{0, {2, 5}}}));
}

TEST_F(CustomSignalTest, CommonOptions)
{
    host.input("A");
    struct Case {
        const char* lines;
        const char* error; // the exception's text; empty: created
        std::function<bool(Probe&)> check;
    };
    const Case cases[] = {
        {"fact=0\n", "Factor can not be zero", nullptr},
        // Not a number or infinite: every output would be the same, or nothing at all.
        {"fact=nan\n", "Expected 'fact' of Sig to be a finite number but got nan", nullptr},
        {"factor=-inf\n", "Expected 'factor' of Sig to be a finite number but got -inf", nullptr},
        {"offs=1e999\n", "Expected 'offs' of Sig to be a finite number but got 1e999", nullptr},
        {"offset=NaN\n", "Expected 'offset' of Sig to be a finite number but got NaN", nullptr},
        {"valWhenEmpty=nan\n", "Expected 'valWhenEmpty' of Sig to be a finite number but got nan", nullptr},
        {"valWhenEmpty=-inf\n", "Expected 'valWhenEmpty' of Sig to be a finite number but got -inf", nullptr},
        // A limit may be infinite on its own side only, where it is no limit.
        {"minLim=nan\n", "Expected 'minLim' of Sig to be a finite number or -inf but got nan", nullptr},
        {"minLimit=inf\n", "Expected 'minLimit' of Sig to be a finite number or -inf but got inf", nullptr},
        {"maxLimit=-inf\n", "Expected 'maxLimit' of Sig to be a finite number or inf but got -inf", nullptr},
        {"minLim=-inf\nmaxLim=5\n", "",
         [](Probe& p) {
             p.addValue(T0, -1e300);
             p.addValue(T0 + 100, 7);
             return p.overallRange().low == -1e300 && p.overallRange().high == -1e300;
         }},
        {"minLim=1\nmaxLimit=inf\n", "",
         [](Probe& p) {
             p.addValue(T0, 0);
             p.addValue(T0 + 100, 1e300);
             return p.overallRange().low == 1e300 && p.overallRange().high == 1e300;
         }},
        {"factor=2\n", "", [](const Probe& p) { return p.factor == 2; }},
        {"fact=3\nfactor=2\n", "", [](const Probe& p) { return p.factor == 3; }},
        {"offs=1.5\noffset=9\n", "", [](const Probe& p) { return p.offset == 1.5; }},
        {"offset=-4\n", "", [](const Probe& p) { return p.offset == -4; }},
        {"minLimit=-1\nmaxLim=5\n", "",
         [](const Probe& p) { return p.hasLimits && p.limitLow == -1 && p.limitHigh == 5; }},
        {"", "", [](const Probe& p) { return !p.hasLimits && p.factor == 1 && p.offset == 0 && !p.hidden; }},
        {"hidden=true\nunit=km/h\ncomment=a; b\n", "",
         [](const Probe& p) { return p.hidden && p.unit == "km/h" && p.comment == "a; b"; }},
        {"fillEmpty=true\nvalWhenEmpty=-1\n", "",
         [](const Probe& p) { return p.fillEmpty && p.valWhenEmptyGiven && p.valWhenEmpty == -1; }},
        {"absOutput=true\n", "", [](const Probe& p) { return p.absOutput && !p.absInput; }},
        {"abs=true\n",
         "The 'abs' option has been removed, please replace it with 'absInput' or 'absOutput' depending on if the "
         "absolute value should be taken on the input to the signal, or on the output from the signal",
         nullptr},
        {"abs=true\nabsInput=true\n", "", [](const Probe& p) { return p.absInput; }},
        {"fillEmpty=true\npauseIfZero=true\n", "", [](const Probe& p) { return p.fillEmpty && !p.pauseIfZero; }},
        {"pauseIfZero=true\n", "", [](const Probe& p) { return p.pauseIfZero; }},
    };
    for (const Case& c : cases) {
        const std::string lines = std::string("step=100\nsignal_01=CAN0.In.A\n") + c.lines;
        testing::internal::CaptureStderr();
        try {
            auto p = probe(lines);
            EXPECT_TRUE(*c.error == '\0') << lines;
            EXPECT_TRUE(c.check(*p)) << lines;
        } catch (const std::invalid_argument& e) {
            EXPECT_EQ(e.what(), std::string(c.error)) << lines;
        }
        testing::internal::GetCapturedStderr();
        // Only pauseIfZero beside fillEmpty warns, naming the signal.
        const auto log = test::drainLog();
        if (std::string(c.lines).find("fillEmpty=true\npauseIfZero") == 0)
            EXPECT_EQ(log, (std::vector<std::string>{
                               "Ignoring pauseIfZero for Virt.Virtual.Sig, can't be combined with fillEmpty"}));
        else
            EXPECT_TRUE(log.empty()) << lines;
    }
}

TEST_F(CustomSignalTest, RefusedDefinitions)
{
    host.input("A");
    struct Case {
        const char* lines;
        const char* error; // empty: a Glib::KeyFileError
    };
    const Case cases[] = {
        {"signal_01=CAN0.In.A\n", ""},                              // no step
        {"step=fast\nsignal_01=CAN0.In.A\n", ""},                   // not an integer
        {"step=100\nfact=x\nsignal_01=CAN0.In.A\n", ""},            // an option that does not parse
        {"step=100\nfillEmpty=maybe\nsignal_01=CAN0.In.A\n", ""},
        {"step=0\nsignal_01=CAN0.In.A\n", "Expected 'step' to be 1 or more but got 0"}, // would never advance
        {"step=-1\nsignal_01=CAN0.In.A\n", "Expected 'step' to be 1 or more but got -1"},
        {"step=100\n", "No input signal defined for Sig"},          // would never run out of samples
        {"step=100\nsignal_02=CAN0.In.A\n", "No input signal defined for Sig"},
    };
    for (const Case& c : cases) {
        if (*c.error == '\0') {
            EXPECT_THROW(probe(c.lines), Glib::KeyFileError) << c.lines;
        } else {
            try {
                probe(c.lines);
                ADD_FAILURE() << c.lines;
            } catch (const std::invalid_argument& e) {
                EXPECT_EQ(e.what(), std::string(c.error));
            }
        }
    }
    EXPECT_THROW(probe("step=100\nsignal_01=CAN0.In.Missing\n"), SignalNotFoundException);
}

TEST_F(CustomSignalTest, InputKeys)
{
    host.input("A");
    host.input("B");
    host.input("C");
    // A one-input method takes "signal" before "signal_01"; numbered keys stop at the first gap.
    struct OneInput : CustomSignal {
        OneInput(std::shared_ptr<Message> parent, const Glib::ustring& group, Glib::KeyFile& keyFile)
            : CustomSignal(std::move(parent), group, keyFile)
        {
            readSignalInput(keyFile, group);
            readResetInput(keyFile, group);
        }
    };
    auto names = [](const CustomSignal& s) {
        std::vector<std::string> out;
        for (const auto& input : s.inputs)
            out.push_back(input.source->name.raw());
        return out;
    };
    Definition both("step=1\nsignal_01=CAN0.In.B\nsignal=CAN0.In.A\nresetSig=CAN0.In.C\n");
    EXPECT_EQ(names(OneInput(msg, both.group, both.file)), (std::vector<std::string>{"A", "C"}));
    Definition numbered("step=1\nsignal_01=CAN0.In.B\n");
    EXPECT_EQ(names(OneInput(msg, numbered.group, numbered.file)), (std::vector<std::string>{"B"}));
    Definition none("step=1\nresetSig=CAN0.In.C\n");
    try {
        OneInput(msg, none.group, none.file);
        ADD_FAILURE();
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "Missing signal_01");
    }
    auto gap = probe("step=1\nsignal_01=CAN0.In.A\nsignal_02=CAN0.In.B\nsignal_04=CAN0.In.C\n");
    EXPECT_EQ(names(*gap), (std::vector<std::string>{"A", "B"}));
}

TEST_F(CustomSignalTest, UsesPassToTheInputsWhileTheSignalIsUsed)
{
    auto a = host.input("A");
    auto b = host.input("B");
    auto p = probe("step=100\nsignal_01=CAN0.In.A\nsignal_02=CAN0.In.B\n");
    EXPECT_TRUE(p->dependsOn("CAN0.In.B"));
    EXPECT_FALSE(p->dependsOn("CAN0.In.C"));

    p->addUser(nullptr);
    p->addUser(nullptr);
    EXPECT_EQ(a->useCount, 1u);
    EXPECT_EQ(b->useCount, 1u);
    EXPECT_EQ(a->dependants.front(), p);
    p->removeUser(nullptr);
    EXPECT_EQ(a->useCount, 1u);
    p->removeUser(nullptr);
    EXPECT_EQ(a->useCount, 0u);
    EXPECT_TRUE(b->dependants.empty());
}

TEST_F(CustomSignalTest, GroupNameGivesTheSignalName)
{
    host.input("A");
    Definition d("method=probe\nstep=1\nsignal_01=CAN0.In.A\n", "Trip.Distance");
    auto p = Probe::create(msg, d);
    EXPECT_EQ(p->name, "Distance");
    EXPECT_EQ(CustomSignal::numberedKey("trigVal", 7), "trigVal_07");
}

} // namespace
} // namespace vistra
