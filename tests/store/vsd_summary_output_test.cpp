// Expressions, lookup tables, latches and statistics loaded from VSD files and computed over
// the example drive, as the command line runs them.
#include "core/report.h"
#include "core/signal.h"
#include "store/store.h"
#include "store/text_output.h"
#include "test_helpers.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace vistra {
namespace {

class VsdSummaryOutput : public testing::Test {
protected:
    ~VsdSummaryOutput() override
    {
        if (!dir.empty())
            std::filesystem::remove_all(dir);
    }

    // Loads `vsd`, selects `selected` and parses the example drive; the reports are in `log`.
    void parse(const std::string& vsd, const std::vector<const char*>& selected)
    {
        store = std::make_unique<Store>();
        store->textMode = true;
        store->addLoggerIface();
        testing::internal::CaptureStderr();
        store->loadVsd(vsd);
        for (const char* name : selected)
            store->findSignal(name)->setEnabled(true);
        store->addLogFile(TARNWICK_SOURCE_DIR "/examples/drive.lz4");
        store->parseNow();
        testing::internal::GetCapturedStderr();
        log = test::drainLog();
    }
    std::string printed()
    {
        char* buffer = nullptr;
        std::size_t size = 0;
        std::FILE* out = open_memstream(&buffer, &size);
        printTextResult(*store, true, out);
        std::fclose(out);
        std::string text(buffer, size);
        std::free(buffer);
        return text;
    }
    double at(const char* name, u64 seconds) { return store->findSignal(name)->valueAt(store->firstTime + seconds * 1000); }

    std::unique_ptr<Store> store;
    std::vector<std::string> log;
    std::string dir;
};

TEST_F(VsdSummaryOutput, TheExampleDrive)
{
    parse(TARNWICK_SOURCE_DIR "/examples/drive.vsd",
          {"Virt.Dynamics.KineticEnergy", "Virt.Engine.FuelRate", "Virt.Engine.RevsInThird", "Virt.Engine.Idling",
           "Virt.Trip.TopSpeed", "Virt.Trip.MeanFuelRate"});
    EXPECT_TRUE(log.empty()) << log[0];
    // Cruising at 80 km/h, 2400 rpm, no throttle.
    EXPECT_NEAR(at("Virt.Dynamics.KineticEnergy", 30), 0.5 * 1500 * (80 / 3.6) * (80 / 3.6) / 1000, 0.5);
    EXPECT_NEAR(at("Virt.Engine.FuelRate", 30), 1.2 + 0.8 * 400 / 2000, 0.02);
    EXPECT_EQ(at("Virt.Engine.Idling", 30), 0);
    EXPECT_EQ(at("Virt.Engine.Idling", 58), 1);
    // Third gear ends near 54 km/h and 3900 rpm, and the value is held after it; braking,
    // the car leaves it at 36 km/h and 1200 rpm.
    EXPECT_NEAR(at("Virt.Engine.RevsInThird", 30), 3850, 60);
    EXPECT_NEAR(at("Virt.Engine.RevsInThird", 58), 1200, 120);
    EXPECT_EQ(printed(), "Trip.MeanFuelRate (l/h)\tTrip.TopSpeed (km/h)\n2.02\t80.00\n");
}

TEST_F(VsdSummaryOutput, AStatisticsWithoutValueKeepsItsColumn)
{
    char pattern[] = "/tmp/vsd_summary_output_XXXXXX";
    dir = mkdtemp(pattern);
    const std::string vsd = dir + "/trip.vsd";
    std::ofstream(vsd) << "[settings]\nifname_0=Can\ndbcfile_0=" TARNWICK_SOURCE_DIR "/examples/drive.dbc\n"
                          "[Gear.Ninth]\nmethod=multiplex\nsignal=Can.VehicleDynamics.VehicleSpeed\n"
                          "trigSign_01=Can.EngineData.Gear\ntrigVal_01=9\nstep=100\n"
                          "[Trip.InNinth]\nmethod=statistics\ntype=max\nsignal=Virt.Gear.Ninth\nstep=100\nunit=km/h\n"
                          "[Trip.Top]\nmethod=statistics\ntype=max\nsignal=Can.VehicleDynamics.VehicleSpeed\nstep=100\n"
                          "[Trip.Bad]\nmethod=expression\nsignal_01=Can.EngineData.Gear\nexpr=-($01)\nstep=100\n";
    parse(vsd, {"Virt.Trip.InNinth", "Virt.Trip.Top"});
    // No gear 9 in the drive: no value, printed as such in its place.
    EXPECT_EQ(printed(), "Trip.InNinth (km/h)\tTrip.Top (km/h)\nnan\t80.00\n");
    // An expression that cannot be read is named by its own report.
    EXPECT_EQ(log, (std::vector<std::string>{"Could not convert - to a number", "VSD parse error: see the error above"}));
}

} // namespace
} // namespace vistra
