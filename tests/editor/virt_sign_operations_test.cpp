// The editor's file operations against a real VSD file, loaded by the real loader: every
// method's group survives an edit without change byte for byte, new, edited, duplicated
// and deleted groups come back through the loader, and refused saves touch nothing.
#include "core/report.h"
#include "core/settings.h"
#include "core/signal.h"
#include "editor/method_descriptors.h"
#include "editor/virt_sign_dialog.h"
#include "store/store.h"
#include "test_helpers.h"
#include "views/dialog_runner.h"
#include "virtual/average.h"

#include <glibmm/main.h>
#include <glibmm/miscutils.h>
#include <gtest/gtest.h>
#include <gtkmm/dialog.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace vistra {
namespace {

// One group per method the editor offers, each as the editor writes it (or, for the
// factor and offset digits, as a user would), with comments above groups and keys.
const char* const kGroups = R"(
# one group per method
[T.expression]
method=expression
signal_01=Can.VehicleDynamics.VehicleSpeed
signal_02=Can.EngineData.EngineSpeed
step=100
radians=true
expr=$01 * 0.5 / $02
unit=kJ
fact=0.0174532925
comment=two inputs
Tarnwick=2024-05-17 14:03:59

# the speed, smoothed
[T.average]
method=average
# the wheels
signal_01=Can.VehicleDynamics.VehicleSpeed
step=100
window=1000
onlyPos=true
unit=km/h
offs=1e-07
minLim=-5
maxLim=250
Tarnwick=2024-05-17 14:03:59

[T.integrate]
method=integrate
signal_01=Virt.T.average
minSum=0
maxSum=1000.5
resetSig=Can.EngineData.Gear
absInput=true
Tarnwick=2024-05-17 14:03:59

[T.derive]
method=derive
signal_01=Can.EngineData.EngineSpeed
step=10
avgWindow=2000
Tarnwick=2024-05-17 14:03:59

[T.slope]
method=slope
signal_01=Can.VehicleDynamics.VehicleSpeed
step=100
posSlopeIncr=3
posSlopeDecr=10
negSlopeIncr=10
negSlopeDecr=10.25
absOutput=true
Tarnwick=2024-05-17 14:03:59

[T.count]
method=count
signal_01=Can.EngineData.EngineSpeed
step=10
above=3500
below=2000
resetSig=Can.EngineData.Gear
hidden=true
Tarnwick=2024-05-17 14:03:59

[T.time]
method=time
signal_01=Can.VehicleDynamics.VehicleSpeed
step=100
above=1
below=0.5
countAbove=false
fillEmpty=true
valWhenEmpty=-1
Tarnwick=2024-05-17 14:03:59

[T.accumulate]
method=accumulate
signal_01=Can.EngineData.Gear
step=100
pauseIfZero=true
Tarnwick=2024-05-17 14:03:59

[T.frequency]
method=frequency
signal_01=Can.VehicleDynamics.YawRate
step=100
samples=3
filter=15
peaks=2
amplitude=true
Tarnwick=2024-05-17 14:03:59

[T.estimate]
method=estimate
signal_01=Can.VehicleDynamics.VehicleSpeed
step=100
highLimit=1
lowLimit=0.5
offValue=0
Tarnwick=2024-05-17 14:03:59

[T.IIR]
method=IIR
signal_01=Can.EngineData.EngineSpeed
step=10
K=10
fact=0.017453292519943295
Tarnwick=2024-05-17 14:03:59

[T.statistics]
method=statistics
signal_01=Can.VehicleDynamics.VehicleSpeed
step=100
type=max
Tarnwick=2024-05-17 14:03:59

[T.lookuptable]
method=lookuptable
signal_01=Can.EngineData.EngineSpeed
signal_02=Can.EngineData.ThrottlePos
step=100
file=fuel_map.txt
unit=l/h
Tarnwick=2024-05-17 14:03:59

[T.above]
method=above
signal_01=Can.EngineData.EngineSpeed
step=10
above=3500
below=3000
Tarnwick=2024-05-17 14:03:59

[T.below]
method=below
signal_01=Can.VehicleDynamics.VehicleSpeed
step=100
above=1
below=0.5
Tarnwick=2024-05-17 14:03:59

[T.geofence]
method=geofence
step=1000
type=circle
center=57.70895;11.98028
radius=100
Tarnwick=2024-05-17 14:03:59

[T.meanSpeed]
method=statistics
signal_01=Can.VehicleDynamics.VehicleSpeed
step=100
type=avg

# a group named without its message part, with the older keys for input and window
[speed]
method=average
signal=Can.VehicleDynamics.VehicleSpeed
step=100
window=500
avg=2000
)";

const char* const kMethodGroups[] = {"T.expression", "T.average", "T.integrate", "T.derive", "T.slope",
                                     "T.count",      "T.time",    "T.accumulate", "T.frequency", "T.estimate",
                                     "T.IIR",        "T.statistics", "T.lookuptable", "T.above", "T.below",
                                     "T.geofence"};

// The save time stamp is the one thing a save changes in a group that was not edited.
std::string withoutTimes(const std::string& text)
{
    return std::regex_replace(text, std::regex("Tarnwick=[0-9: -]*"), "Tarnwick=");
}

// Whether a report begins with `text`.
bool reported(const std::vector<std::string>& texts, const std::string& text)
{
    return std::any_of(texts.begin(), texts.end(), [&](const std::string& t) { return t.rfind(text, 0) == 0; });
}

class EditorOperations : public testing::Test {
protected:
    EditorOperations()
    {
        char tmpl[] = "/tmp/tarnwick-editor-XXXXXX";
        dir = mkdtemp(tmpl);
        vsdPath = dir + "/signals.vsd";
        std::filesystem::copy_file(TARNWICK_SOURCE_DIR "/examples/fuel_map.txt", dir + "/fuel_map.txt");
        original = std::string("[settings]\nifname_0=Can\ndbcfile_0=") + TARNWICK_SOURCE_DIR +
                   "/examples/drive.dbc\n" + kGroups;
        std::ofstream(vsdPath) << original;
        Settings::instance()->setVsdFile(vsdPath);
        load();
        dialog.reloadAndSelect = [this](const Glib::ustring& name) {
            selected.push_back(name.raw());
            load();
        };
        reloads = Store::instance().reloadRequested.connect([this] { ++reloadRequests; });
    }
    ~EditorOperations() override
    {
        reloads.disconnect();
        setDialogRunner(nullptr);
        store.clearData();
        std::filesystem::remove_all(dir);
        test::drainLog();
    }

    void load()
    {
        store.clearData();
        store.addLoggerIface();
        // Called inside run() too, whose capture goes on.
        if (!capturing)
            testing::internal::CaptureStderr();
        store.loadVsd(vsdPath);
        if (!capturing)
            testing::internal::GetCapturedStderr();
        loadLog = test::drainLog();
    }

    std::shared_ptr<Signal> sig(const std::string& fullName) { return store.findSignal(fullName); }
    std::string file() const { return test::readFileText(vsdPath); }

    // Runs an operation; its reports are in `log`.
    void run(const std::function<void()>& operation)
    {
        testing::internal::CaptureStderr();
        capturing = true;
        operation();
        capturing = false;
        testing::internal::GetCapturedStderr();
        log = test::drainLog();
    }

    template <class T>
    T& method(const char* keyword)
    {
        return dynamic_cast<T&>(*dialog.methods.at(keyword));
    }

    // A new "average" signal named `name` over the vehicle speed, with factor `fact`.
    void fillNewAverage(const char* name, const char* fact)
    {
        dialog.newSignal(sig("Can.EngineData.EngineSpeed"));
        dialog.nameRow.set_text(name);
        ASSERT_TRUE(dialog.selectMethod("average"));
        dialog.signalRows[0]->set_text("Can.VehicleDynamics.VehicleSpeed");
        auto& average = method<MethodAverage>("average");
        average.stepRow.set_text("100");
        average.window.set_text("1000");
        dialog.unitRow.set_text("km/h");
        dynamic_cast<Gtk::Entry*>(dialog.commonRows[0])->set_text(fact);
    }

    Store& store = Store::instance();
    std::string dir;
    std::string vsdPath;
    std::string original;
    VirtSignDialog dialog;
    std::vector<std::string> selected;
    std::vector<std::string> log;
    std::vector<std::string> loadLog;
    sigc::connection reloads;
    int reloadRequests = 0;
    bool capturing = false;
};

TEST_F(EditorOperations, EverySavedMethodGroupIsByteForByteWhatItWas)
{
    ASSERT_TRUE(loadLog.empty()) << loadLog.front();
    for (const char* group : kMethodGroups) {
        SCOPED_TRACE(group);
        run([&] {
            dialog.editSignal(sig(std::string("Virt.") + group));
            dialog.saveSignal();
        });
        EXPECT_TRUE(log.empty()) << log.front();
        EXPECT_EQ(withoutTimes(file()), withoutTimes(original));
        ASSERT_FALSE(selected.empty());
        EXPECT_EQ(selected.back(), std::string("Virt.") + group);
        EXPECT_FALSE(dialog.is_visible());
        EXPECT_TRUE(loadLog.empty());
    }
    // The averaged signal opens its definition through the average that wraps it.
    ASSERT_NE(dynamic_cast<Average*>(sig("Virt.T.derive").get()), nullptr);
}

TEST_F(EditorOperations, NewEditDuplicateAndDeleteRoundTripThroughTheLoader)
{
    // New: the group goes to the end in the editor's order; "1,5" is one and a half.
    run([&] {
        fillNewAverage("Calc.speed_avg", "1,5");
        dialog.saveSignal();
    });
    EXPECT_TRUE(log.empty()) << log.front();
    const std::vector<std::string> lines = test::linesOf(file());
    const std::vector<std::string> tail(lines.end() - 8, lines.end());
    const std::vector<std::string> expected = {"[Calc.speed_avg]", "method=average",
                                               "signal_01=Can.VehicleDynamics.VehicleSpeed", "step=100",
                                               "window=1000", "unit=km/h", "fact=1.5", tail.back()};
    EXPECT_EQ(tail, expected);
    EXPECT_TRUE(std::regex_match(tail.back(), std::regex("Tarnwick=\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d")));
    EXPECT_EQ(selected, std::vector<std::string>{"Virt.Calc.speed_avg"});
    auto made = std::dynamic_pointer_cast<Average>(sig("Virt.Calc.speed_avg"));
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->window, 1000);
    EXPECT_EQ(dialog.mode, EditMode::Existing);

    // The same name again as a new signal is refused.
    const std::string afterNew = file();
    run([&] {
        fillNewAverage("Calc.speed_avg", "1");
        dialog.saveSignal();
    });
    EXPECT_TRUE(reported(log, "VSD file " + vsdPath + " already has signal with that name (Calc.speed_avg)"));
    EXPECT_EQ(file(), afterNew);

    // Edit: the group keeps its place and takes the new window.
    run([&] {
        dialog.editSignal(sig("Virt.T.average"));
        method<MethodAverage>("average").window.set_text("2000");
        dialog.saveSignal();
    });
    EXPECT_TRUE(log.empty()) << log.front();
    EXPECT_EQ(withoutTimes(file()), withoutTimes(afterNew.substr(0, afterNew.find("window=1000")) + "window=2000" +
                                                 afterNew.substr(afterNew.find("window=1000") + 11)));
    EXPECT_EQ(std::dynamic_pointer_cast<Average>(sig("Virt.T.average"))->window, 2000);

    // Duplicate: a second group, the first unchanged.
    run([&] {
        dialog.editSignal(sig("Virt.T.slope"));
        dialog.duplicateSignal();
        EXPECT_EQ(dialog.nameRow.get_text(), "T.slope_copy");
        dialog.saveSignal();
    });
    EXPECT_TRUE(log.empty()) << log.front();
    EXPECT_NE(sig("Virt.T.slope_copy"), nullptr);
    EXPECT_NE(sig("Virt.T.slope"), nullptr);

    // A group without a message part is shown and saved under "Virtual.", in its place.
    run([&] {
        dialog.editSignal(sig("Virt.Virtual.speed"));
        EXPECT_EQ(dialog.nameRow.get_text(), "Virtual.speed");
        dialog.saveSignal();
    });
    EXPECT_TRUE(log.empty()) << log.front();
    EXPECT_NE(withoutTimes(file()).find("window\n[Virtual.speed]\nmethod=average\n"
                                        "signal_01=Can.VehicleDynamics.VehicleSpeed\nstep=100\nwindow=500\n"
                                        "avgWindow=2000\n"
                                        "Tarnwick=\n"),
              std::string::npos);
    auto legacy = std::dynamic_pointer_cast<Average>(sig("Virt.Virtual.speed"));
    ASSERT_NE(legacy, nullptr);
    EXPECT_EQ(legacy->window, 2000);

    // The statistics type "avg" is shown and saved as "average".
    run([&] {
        dialog.editSignal(sig("Virt.T.meanSpeed"));
        dialog.saveSignal();
    });
    EXPECT_TRUE(log.empty()) << log.front();
    EXPECT_NE(file().find("[T.meanSpeed]\nmethod=statistics\nsignal_01=Can.VehicleDynamics.VehicleSpeed\nstep=100\n"
                          "type=average\n"),
              std::string::npos);

    // Delete: refused while another signal uses it; asked; Yes removes the group.
    run([&] {
        dialog.editSignal(sig("Virt.T.average"));
        dialog.deleteSignal();
    });
    EXPECT_TRUE(reported(log, "Can't delete signal,  other virtual signals still use it as input:\n\t- Virt.T.integrate"));
    int asked = 0;
    setDialogRunner([&](Gtk::Dialog&) { return ++asked == 1 ? Gtk::RESPONSE_NO : Gtk::RESPONSE_YES; });
    const std::string beforeDelete = file();
    for (int i = 0; i < 2; ++i) {
        dialog.editSignal(sig("Virt.Calc.speed_avg"));
        dialog.deleteSignal();
    }
    EXPECT_EQ(asked, 2);
    EXPECT_TRUE(test::pumpUntil([&] { return reloadRequests == 1; }));
    EXPECT_EQ(file(), beforeDelete.substr(0, beforeDelete.find("\n[Calc.speed_avg]")) +
                          beforeDelete.substr(beforeDelete.find("[T.slope_copy]") - 1));
    load();
    EXPECT_THROW(sig("Virt.Calc.speed_avg"), SignalNotFoundException);
    // An averaged signal is deleted although its own average uses it.
    dialog.editSignal(sig("Virt.T.derive"));
    dialog.deleteSignal();
    EXPECT_EQ(file().find("[T.derive]"), std::string::npos);
}

TEST_F(EditorOperations, RefusedSavesAndEditsTouchNoFile)
{
    struct Case {
        const char* what;
        std::function<void()> prepare;
        std::string report;
    };
    const auto newAverage = [this](const char* name, const char* fact) {
        return [this, name, fact] { fillNewAverage(name, fact); };
    };
    const Case cases[] = {
        {"no message part", newAverage("speed", "1"), "Signal name must have form <msgName>.<signalName>"},
        {"two dots", newAverage("a.b.c", "1"), "Signal name must have form <msgName>.<signalName>"},
        {"ends with a dot", newAverage("a.", "1"), "Signal name must have form <msgName>.<signalName>"},
        {"text after a number", newAverage("Calc.x", "1-2"),
         "Can't create signal:\n\n"},
        {"an input that names itself",
         [this] {
             dialog.editSignal(sig("Virt.T.accumulate"));
             dialog.signalRows[0]->set_text("Virt.T.accumulate");
         },
         "Signal is referring to it self."},
        {"no VSD file loaded",
         [this] {
             Settings::instance()->setVsdFile("./dummy");
             fillNewAverage("Calc.x", "1");
         },
         "Could not store changes to VSD file ./dummy:\nno VSD file loaded"},
    };
    // A file named like the placeholder in the working directory is not the user's file.
    const std::string cwd = Glib::get_current_dir();
    ASSERT_EQ(chdir(dir.c_str()), 0);
    std::ofstream("dummy") << original;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        run([&] {
            c.prepare();
            dialog.saveSignal();
        });
        EXPECT_TRUE(reported(log, c.report)) << (log.empty() ? "no report" : log.front());
        EXPECT_EQ(file(), original);
        EXPECT_EQ(test::readFileText("dummy"), original);
    }
    dialog.vsdPath = "./dummy";
    run([&] { EXPECT_FALSE(dialog.removeSignalGroup()); });
    EXPECT_TRUE(reported(log, "Could not delete signal from VSD file ./dummy: no VSD file loaded"));
    EXPECT_EQ(test::readFileText("dummy"), original);
    ASSERT_EQ(chdir(cwd.c_str()), 0);

    // A non-virtual signal is reported, not thrown, and the editor stays closed.
    dialog.hide();
    run([&] { dialog.editSignal(sig("Can.EngineData.EngineSpeed")); });
    EXPECT_TRUE(reported(log, "trying to edit non-virtual signal"));
    EXPECT_FALSE(dialog.is_visible());
    EXPECT_TRUE(selected.empty());
}

// The creator's refusal decides, whatever its text says.
class RefusingMethod : public MethodMultimath {
public:
    void createSignal(std::shared_ptr<VirtualMessage>, const Glib::ustring&, Glib::KeyFile&,
                      const Glib::ustring&) override
    {
        throw std::invalid_argument("");
    }
};

TEST_F(EditorOperations, ADefinitionTheCreatorRefusesIsNeverWritten)
{
    dialog.editSignal(sig("Virt.T.derive"));
    delete dialog.methods.at("derive");
    dialog.methods["derive"] = new RefusingMethod;
    dialog.currentMethod = dialog.methods["derive"];
    run([&] { dialog.saveSignal(); });
    EXPECT_EQ(file(), original);
    EXPECT_TRUE(selected.empty());
    EXPECT_FALSE(log.empty());
}

} // namespace
} // namespace vistra
