// Every computation method of a VSD file run from the command line over a native log:
// the -q table shows the end-of-parse summaries. Methods without a summary of their own
// are read through one that has one (an integral or a time above a level).
#include "command_line_run.h"
#include "core/signal.h"
#include "store/log_file_writer.h"
#include "store/store.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace vistra {
namespace {

// The level signal: 0 for two seconds, 20 for two seconds, and again, then 0 for the last
// two seconds; one frame every 100 ms from 0 to 9900 ms.
class MethodSummaryTest : public testing::Test {
protected:
    MethodSummaryTest()
    {
        char tmpl[] = "/tmp/tarnwick-methods-XXXXXX";
        dir = mkdtemp(tmpl);
        std::ofstream(dir + "/pulse.dbc") << "BO_ 256 Pulse: 1 X\n SG_ Level : 0|8@1+ (1,0) [0|255] \"\" X\n";
        LogFileWriter writer;
        EXPECT_TRUE(writer.open(dir + "/pulse.log", 1704164645000ULL));
        for (u32 k = 0; k < 100; ++k) {
            FrameRecord frame;
            frame.timestamp = 100 * k;
            frame.idWord = 256;
            frame.length = 1;
            frame.data[0] = (k / 20) % 2 ? 20 : 0;
            EXPECT_TRUE(writer.add(frame));
        }
        EXPECT_TRUE(writer.close());
    }
    ~MethodSummaryTest() override { std::filesystem::remove_all(dir); }

    // The -q output for the VSD groups `groups`, with every signal of the message
    // "Virtual" selected.
    test::RunResult run(const std::string& groups)
    {
        const std::string vsd = dir + "/methods.vsd";
        std::ofstream(vsd) << "[settings]\nifname_0=Can\ndbcfile_0=pulse.dbc\n\n" << groups;
        testing::internal::CaptureStderr();
        test::RunResult result = test::runCommandLine({"-q", "-s", "Virt.Virtual.*", "-f", vsd, dir + "/pulse.log"});
        testing::internal::GetCapturedStderr();
        return result;
    }

    std::string dir;
};

TEST_F(MethodSummaryTest, EachMethodFromAVsdFile)
{
    const std::string level = "signal=Can.Pulse.Level\nstep=100\n";
    // The integral, or the time above `level`, of the signal "M".
    const std::string integralOfM = "[Result]\nmethod=integrate\nsignal=Virt.Virtual.M\n";
    auto timeOfM = [](const char* above) {
        return std::string("[Result]\nmethod=time\nsignal=Virt.Virtual.M\nstep=100\nabove=") + above + "\nbelow=" +
               above + "\n";
    };
    struct Case {
        const char* method;
        std::string groups;
        const char* value;
    };
    const Case cases[] = {
        // 20 held for 2 s, twice.
        {"integrate", "[Result]\nmethod=integrate\nsignal=Can.Pulse.Level\n", "80.00"},
        {"count", "[Result]\nmethod=count\nabove=10\nbelow=5\n" + level, "2.00"},
        // 19 steps of each high stretch: the rising step counts on neither side.
        {"time", "[Result]\nmethod=time\nabove=10\nbelow=5\n" + level, "3.80"},
        // 20, then 0, then 20 again.
        {"accumulate", "[Result]\nmethod=accumulate\n" + level, "40.00"},
        // The ramps over a window of 1 s around each edge are above 11 from 2100 ms to 4200 ms.
        {"average", "[M]\nmethod=average\nwindow=1000\n" + level + timeOfM("11") + "below=5\n", "4.20"},
        // Two steps of 10 up to 20 at each rise: above 15 from the second on.
        {"slope", "[M]\nmethod=slope\nposSlopeIncr=100\nposSlopeDecr=100\nnegSlopeIncr=100\nnegSlopeDecr=100\n" +
                      level + timeOfM("15"),
         "3.60"},
        // The mean of each stretch, 19 (with the 0 that ends it), from the rise to the end.
        {"estimate", "[M]\nmethod=estimate\nhighLimit=10\nlowLimit=5\n" + level + integralOfM, "79.80"},
        // A peak every 4 s: 0.25 Hz from 4 s to 8 s.
        {"frequency", "[M]\nmethod=frequency\n" + level + integralOfM, "1.00"},
        // Halfway per step: 10, 15, 17.5 ... above 16 from the third step of each stretch.
        {"IIR", "[M]\nmethod=IIR\nK=2\n" + level + timeOfM("16"), "3.40"},
        {"above", "[M]\nmethod=above\nabove=10\nbelow=5\n" + level + integralOfM, "4.00"},
        {"below", "[M]\nmethod=below\nabove=10\nbelow=5\n" + level + integralOfM, "5.80"},
        // The averaging window around another method: the ramps lose at each rise what
        // they gain at each fall.
        {"avgWindow", "[M]\nmethod=above\nabove=10\nbelow=5\navgWindow=1000\n" + level + integralOfM, "4.00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.method);
        const test::RunResult result = run(c.groups);
        EXPECT_EQ(result.code, 0);
        EXPECT_TRUE(result.log.empty()) << result.log[0];
        // "M", selected too, has no summary and is left out.
        EXPECT_EQ(result.out, std::string("Virtual.Result\n") + c.value + "\n");
    }
}

// Definitions that would never end, divide by 0, average an empty queue or compare with a
// NaN are refused when the file is read, with the reason; the other groups are still computed.
TEST_F(MethodSummaryTest, RefusedDefinitionsSayWhy)
{
    const std::string level = "signal=Can.Pulse.Level\n";
    struct Case {
        std::string group;
        const char* error;
    };
    const Case cases[] = {
        {"method=count\nstep=0\nabove=10\nbelow=5\n" + level, "Expected 'step' to be 1 or more but got 0"},
        {"method=average\nstep=-100\nwindow=1000\n" + level, "Expected 'step' to be 1 or more but got -100"},
        {"method=average\nstep=500\nwindow=100\n" + level, "step > window for virtual signal Bad"},
        {"method=above\nstep=500\nabove=10\nbelow=5\navg=100\n" + level, "step > window for virtual signal Bad"},
        {"method=frequency\nstep=100\nsamples=0\n" + level, "Expected 'samples' to be 1 or more but got 0"},
        {"method=frequency\nstep=100\npeaks=-1\n" + level, "Expected 'peaks' to be 1 or more but got -1"},
        {"method=IIR\nstep=100\nK=0\n" + level, "K can not be zero"},
        {"method=count\nstep=100\nabove=nan\nbelow=5\n" + level, "Expected 'above' of Bad to be a number but got nan"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.group);
        const test::RunResult result =
            run("[Bad]\n" + c.group + "\n[Result]\nmethod=integrate\nsignal=Can.Pulse.Level\n");
        EXPECT_EQ(result.code, 0);
        EXPECT_EQ(result.log, std::vector<std::string>{std::string("VSD parse error: ") + c.error});
        EXPECT_EQ(result.out, "Virtual.Result\n80.00\n");
    }
}

TEST(ExampleDrive, MethodsOverTheDrive)
{
    Store store;
    store.textMode = true;
    store.addLoggerIface();
    test::drainLog();
    store.loadVsd(TARNWICK_SOURCE_DIR "/examples/drive.vsd");
    store.addLogFile(TARNWICK_SOURCE_DIR "/examples/drive.lz4");
    auto signal = [&](const char* name) { return store.findSignal(std::string("Virt.") + name); };
    for (const char* name : {"Engine.SmoothRevs", "Engine.FilteredRevs", "Engine.HighRevs", "Dynamics.Standstill",
                             "Dynamics.GentleSpeed", "Dynamics.TripMeanSpeed", "Dynamics.YawFrequency",
                             "Battery.SmoothPower", "Trip.Distance"})
        signal(name)->setEnabled(true);
    store.parseNow();
    EXPECT_TRUE(test::drainLog().empty());

    const u64 start = store.firstTime;
    auto at = [&](const char* name, double s) { return signal(name)->valueAt(start + u64(s * 1000)); };
    // Up to 80 km/h in 20 s, 20 s at 80 km/h, down to 0 in 15 s, then 5 s standing.
    EXPECT_NEAR(at("Trip.Distance", 59), 80 / 3.6 * (10 + 20 + 7.5), 2);
    EXPECT_EQ(at("Dynamics.Standstill", 0.1), 1);
    EXPECT_EQ(at("Dynamics.Standstill", 30), 0);
    EXPECT_EQ(at("Dynamics.Standstill", 58), 1);
    EXPECT_NEAR(at("Dynamics.GentleSpeed", 10), 30, 0.5); // 3 km/h per second
    EXPECT_NEAR(at("Dynamics.TripMeanSpeed", 30), 54.5, 1.5); // 2997 km/h·s over 55 s
    EXPECT_EQ(at("Dynamics.TripMeanSpeed", 58), 0);
    EXPECT_NEAR(at("Engine.SmoothRevs", 30), at("Engine.FilteredRevs", 30), 20);
    // The yaw rate is 3 sin(s / 6) deg/s: a period of 12 pi s between its peaks.
    EXPECT_NEAR(at("Dynamics.YawFrequency", 59), 1 / (12 * M_PI), 0.001);
    EXPECT_NEAR(at("Battery.SmoothPower", 30), 13.8 * 25, 15);
}

} // namespace
} // namespace vistra
