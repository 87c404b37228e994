// The editor's method descriptors: each keyword's rows and input count, the geofence's
// shape switch, what an untouched descriptor writes, and the creation test that guards
// the VSD file against definitions the loader would refuse.
#include "editor/method_descriptors.h"

#include "core/report.h"
#include "test_helpers.h"

#include <glibmm/keyfile.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace vistra {
namespace {

std::vector<std::string> rowKeys(Method& method)
{
    std::vector<std::string> keys;
    for (InputRow* row : method.rows)
        keys.push_back(row->getLabel()->get_text());
    return keys;
}

TEST(MethodDescriptors, EveryKeywordHasItsRowsAndInputCount)
{
    struct Case {
        const char* keyword;
        std::size_t maxInputs;
        std::vector<std::string> keys;
    };
    const std::vector<Case> cases = {
        {"expression", 50, {"step", "radians", "expr"}},
        {"average", 1, {"step", "window", "onlyPos", "onlyNeg"}},
        {"integrate", 1, {"onlyPos", "onlyNeg", "minSum", "maxSum", "resetSig"}},
        {"derive", 1, {"step"}},
        {"slope", 1, {"step", "posSlopeIncr", "posSlopeDecr", "negSlopeIncr", "negSlopeDecr"}},
        {"count", 1, {"step", "above", "below", "resetSig"}},
        {"time", 1, {"step", "above", "below", "countAbove", "resetSig"}},
        {"accumulate", 1, {"step", "resetSig"}},
        {"frequency", 1, {"step", "samples", "filter", "peaks", "amplitude"}},
        {"estimate", 1, {"step", "highLimit", "lowLimit", "offValue"}},
        {"IIR", 1, {"step", "K"}},
        {"statistics", 1, {"step", "type"}},
        {"lookuptable", 50, {"step", "file"}},
        {"above", 1, {"step", "above", "below"}},
        {"below", 1, {"step", "above", "below"}},
        {"geofence", 0, {"step", "type", "center", "radius", "topleft", "bottomright"}},
    };
    std::vector<std::string> offered;
    for (const Glib::ustring& keyword : methodKeywords())
        offered.push_back(keyword);
    std::vector<std::string> expected;
    for (const Case& c : cases)
        expected.push_back(c.keyword);
    EXPECT_EQ(offered, expected);

    for (const Case& c : cases) {
        SCOPED_TRACE(c.keyword);
        std::unique_ptr<Method> method(createMethod(c.keyword));
        ASSERT_TRUE(method);
        EXPECT_EQ(method->keyword(), c.keyword);
        EXPECT_EQ(method->maxInputs(), c.maxInputs);
        EXPECT_EQ(rowKeys(*method), c.keys);
        EXPECT_EQ(method->hasStep, c.keys.front() == "step");
    }
    EXPECT_EQ(createMethod("sum"), nullptr); // the loader knows it, the editor offers it not
}

TEST(MethodDescriptors, RowsCarryTheirHintsAndDefaults)
{
    MethodIntegrate integrate;
    EXPECT_EQ(integrate.minSum.get_placeholder_text(), "100.5 units");
    EXPECT_EQ(integrate.maxSum.get_placeholder_text(), "10.5 units");
    MethodTime time;
    EXPECT_EQ(time.countAbove.get_active_text(), "Yes");
    MethodFrequency frequency;
    frequency.setDefaults();
    EXPECT_EQ(frequency.samples.get_text(), "1");
    EXPECT_EQ(frequency.peaks.get_text(), "1");
    EXPECT_EQ(frequency.stepRow.get_placeholder_text(), "20 ms");
}

// An untouched descriptor writes nothing, except the drop-downs, which always write.
TEST(MethodDescriptors, UntouchedDescriptorsWriteOnlyTheirDropDowns)
{
    for (const Glib::ustring& keyword : methodKeywords()) {
        SCOPED_TRACE(keyword.raw());
        std::unique_ptr<Method> method(createMethod(keyword));
        method->clear();
        Glib::KeyFile out;
        const bool wrote = method->save(out, "g");
        const bool hasType = keyword == "statistics" || keyword == "geofence";
        EXPECT_EQ(wrote, hasType);
        if (hasType) {
            EXPECT_EQ(out.get_keys("g").size(), 1u);
        }
    }
}

TEST(MethodDescriptors, LoadReadsEveryRowAndKeepsTheirOrder)
{
    Glib::KeyFile in;
    in.load_from_data("[g]\nmethod=average\nstep=100\nonlyNeg=true\n");
    MethodAverage average;
    EXPECT_TRUE(average.load(in, "g"));
    EXPECT_EQ(average.stepRow.get_text(), "100");
    EXPECT_EQ(average.window.get_text(), "");
    EXPECT_EQ(average.onlyNeg.get_active_text(), "Yes");
    Glib::KeyFile out;
    EXPECT_TRUE(average.save(out, "g"));
    EXPECT_EQ(out.to_data(), "[g]\nstep=100\nonlyNeg=true\n");

    Glib::KeyFile empty;
    empty.load_from_data("[g]\nmethod=average\n");
    EXPECT_FALSE(average.load(empty, "g"));
}

TEST(MethodDescriptors, GeofenceShowsTheRowsOfItsShape)
{
    MethodGeofence fence;
    auto visible = [&] {
        std::vector<std::string> keys;
        for (InputRow* row : fence.rows)
            if (row->getWidget()->get_visible())
                keys.push_back(row->getLabel()->get_text());
        return keys;
    };
    fence.show();
    EXPECT_EQ(visible(), (std::vector<std::string>{"step", "type", "center", "radius"}));
    EXPECT_EQ(fence.stepRow.get_text(), "1000");
    EXPECT_FALSE(fence.stepRow.get_editable());

    fence.typeRow->set_active(1);
    EXPECT_EQ(visible(), (std::vector<std::string>{"step", "type", "topleft", "bottomright"}));

    fence.hide();
    fence.typeRow->set_active(0); // while hidden nothing appears
    EXPECT_TRUE(visible().empty());
    fence.show();
    EXPECT_EQ(visible(), (std::vector<std::string>{"step", "type", "center", "radius"}));
}

// A descriptor whose creator throws what it is given.
class Throwing : public MethodAverage {
public:
    explicit Throwing(std::function<void()> raise) : raise(std::move(raise)) {}
    void createSignal(std::shared_ptr<VirtualMessage>, const Glib::ustring&, Glib::KeyFile&,
                      const Glib::ustring&) override
    {
        if (raise)
            raise();
    }
    std::function<void()> raise;
};

TEST(MethodDescriptors, CreationTestRefusesEveryFailureWithItsText)
{
    test::drainLog();
    Glib::KeyFile file;
    file.load_from_data("[Calc.avg]\nmethod=average\nsignal_01=Can.Nowhere.nothing\nstep=10\nwindow=100\n");
    MethodAverage real;
    EXPECT_FALSE(real.testCreateSignal(file, "Calc.avg", "/tmp/x.vsd"));
    auto log = test::drainLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].rfind("Can't create signal:\n\n\"", 0), 0u) << log[0];
    EXPECT_NE(log[0].find("Nowhere"), std::string::npos) << log[0];

    struct Case {
        const char* what;
        std::function<void()> raise;
        const char* reported; // null: accepted
    };
    const Case cases[] = {
        {"nothing", nullptr, nullptr},
        {"invalid_argument", [] { throw std::invalid_argument("step must be positive"); },
         "step must be positive"},
        {"key file", [] { throw Glib::KeyFileError(Glib::KeyFileError::KEY_NOT_FOUND, "no key window"); },
         "no key window"},
        {"not found", [] { throw SignalNotFoundException("Can.X.y not found"); }, "Can.X.y not found"},
        // A refusal without a text is still a refusal: the definition must not be stored.
        {"empty text", [] { throw std::runtime_error(""); }, "Unknown error."},
        {"not an exception", [] { throw 42; }, "Unknown error."},
        {"reported already", [] { throw PrintMsgError(); }, "Unknown error."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Throwing method(c.raise);
        EXPECT_EQ(method.testCreateSignal(file, "Calc.avg", "/tmp/x.vsd"), c.reported == nullptr);
        auto reports = test::drainLog();
        if (!c.reported) {
            EXPECT_TRUE(reports.empty());
            continue;
        }
        ASSERT_EQ(reports.size(), 1u);
        EXPECT_EQ(reports[0], std::string("Can't create signal:\n\n\"") + c.reported + "\"");
    }
}

} // namespace
} // namespace vistra
