#include "editor/method_descriptors.h"

#include "core/report.h"
#include "core/signal.h"
#include "views/handler_guard.h"
#include "virtual/above_below.h"
#include "virtual/accumulate.h"
#include "virtual/average.h"
#include "virtual/count.h"
#include "virtual/custom_math.h"
#include "virtual/estimate.h"
#include "virtual/frequency.h"
#include "virtual/geofence.h"
#include "virtual/iir.h"
#include "virtual/int_der.h"
#include "virtual/lookup_table.h"
#include "virtual/multi_math.h"
#include "virtual/slope.h"
#include "virtual/statistics.h"
#include "virtual/timekeeping.h"
#include "virtual/virtual_message.h"

#include <glibmm/exception.h>

#include <stdexcept>

namespace vistra {
namespace {

const char* const kSignalPlaceholder = "<canif>.<msg>.<signal>";
const char* const kPositionTooltip = "<lat> and <long> must be given as a decimal representation of degrees";

// Sets the placeholder of a row's entry.
template <class Row>
Row& placeholder(Row& row, const char* text)
{
    row.set_placeholder_text(text);
    return row;
}

} // namespace

// --- Method ---

Method::Method() : Method(true) {}

Method::Method(bool withStepRow)
    : stepRow("step", "Generate data point at this time step interval (ms)", 0), hasStep(withStepRow)
{
    stepRow.set_placeholder_text("20 ms");
    if (withStepRow)
        rows.push_back(&stepRow);
}

Method::~Method() = default;

void Method::createSignal(std::shared_ptr<VirtualMessage>, const Glib::ustring&, Glib::KeyFile&, const Glib::ustring&)
{
    fail("not implemented 1");
}

Glib::ustring Method::keyword() const { return "none"; }

std::size_t Method::maxInputs() const { return 1; }

void Method::show()
{
    for (InputRow* row : rows)
        row->show();
}

void Method::hide()
{
    for (InputRow* row : rows)
        row->hide();
}

void Method::setDefaults()
{
    for (InputRow* row : rows)
        row->setDefault();
}

void Method::clear()
{
    for (InputRow* row : rows)
        row->clear();
}

bool Method::load(Glib::KeyFile& file, const Glib::ustring& group)
{
    bool any = false;
    for (InputRow* row : rows)
        any = row->load(file, group) || any;
    return any;
}

bool Method::save(Glib::KeyFile& file, const Glib::ustring& group)
{
    bool any = false;
    for (InputRow* row : rows)
        any = row->save(file, group) || any;
    return any;
}

void Method::setSignalListModel(const Glib::RefPtr<Gtk::ListStore>&) {}

bool Method::testCreateSignal(Glib::KeyFile& file, const Glib::ustring& group, const Glib::ustring& vsdPath)
{
    Glib::ustring error;
    bool failed = false;
    {
        auto message = std::make_shared<VirtualMessage>(0, "_", 0);
        try {
            createSignal(message, group, file, vsdPath);
        } catch (const Glib::KeyFileError& e) {
            failed = true;
            error = e.what();
        } catch (const std::invalid_argument& e) {
            failed = true;
            error = e.what();
        } catch (const Glib::Exception& e) {
            failed = true;
            error = e.what();
        } catch (const SignalNotFoundException& e) {
            failed = true;
            error = e.message;
        } catch (const PrintMsgError&) {
            failed = true; // its text is reported already
            error = "Unknown error.";
        } catch (const std::exception& e) {
            failed = true;
            error = e.what();
        } catch (...) {
            failed = true;
            error = "Unknown error.";
        }
    }
    // Any exception is a refusal, also one without a text: such a definition must not
    // reach the file.
    if (!failed)
        return true;
    if (error.empty())
        error = "Unknown error.";
    reportWarning("Can't create signal:\n\n\"%s\"", error.c_str());
    return false;
}

// --- The registered methods ---

const std::vector<Glib::ustring>& methodKeywords()
{
    static const std::vector<Glib::ustring> keywords = {
        "expression", "average", "integrate", "derive", "slope", "count", "time", "accumulate",
        "frequency", "estimate", "IIR", "statistics", "lookuptable", "above", "below", "geofence"};
    return keywords;
}

Method* createMethod(const Glib::ustring& keyword)
{
    if (keyword == "expression")
        return new MethodExpression;
    if (keyword == "average")
        return new MethodAverage;
    if (keyword == "integrate")
        return new MethodIntegrate;
    if (keyword == "derive")
        return new MethodMultimath;
    if (keyword == "slope")
        return new MethodSlope;
    if (keyword == "count")
        return new MethodCount;
    if (keyword == "time")
        return new MethodTime;
    if (keyword == "accumulate")
        return new MethodAccumulate;
    if (keyword == "frequency")
        return new MethodFrequency;
    if (keyword == "estimate")
        return new MethodEstimate;
    if (keyword == "IIR")
        return new MethodIIR;
    if (keyword == "statistics")
        return new MethodStatistics;
    if (keyword == "lookuptable")
        return new MethodLookupTable;
    if (keyword == "above" || keyword == "below")
        return new MethodAboveBelow(keyword);
    if (keyword == "geofence")
        return new MethodGeofence;
    return nullptr;
}

// --- average ---

MethodAverage::MethodAverage()
    : window("window", "Set length of sliding window average (ms)", 0),
      onlyPos("onlyPos", "Only use positive values from input signal", false),
      onlyNeg("onlyNeg", "Only use negative values from input signal", false)
{
    placeholder(window, "1500 ms");
    rows.insert(rows.end(), {&window, &onlyPos, &onlyNeg});
}

void MethodAverage::createSignal(std::shared_ptr<VirtualMessage> parent, const Glib::ustring& group,
                                 Glib::KeyFile& file, const Glib::ustring&)
{
    Average::create(parent, group, file);
}

// --- slope ---

MethodSlope::MethodSlope()
    : posSlopeIncr("posSlopeIncr", "positive direction slope increment (units/sec)", 0.0),
      posSlopeDecr("posSlopeDecr", "positive direction slope decrement (units/sec)", 0.0),
      negSlopeIncr("negSlopeIncr", "negative direction slope increment (units/sec)", 0.0),
      negSlopeDecr("negSlopeDecr", "negative direction slope decrement (units/sec)", 0.0)
{
    for (EntryFloat* row : {&posSlopeIncr, &posSlopeDecr, &negSlopeIncr, &negSlopeDecr}) {
        placeholder(*row, "10.5 units/sec");
        rows.push_back(row);
    }
}

void MethodSlope::createSignal(std::shared_ptr<VirtualMessage> parent, const Glib::ustring& group,
                               Glib::KeyFile& file, const Glib::ustring&)
{
    Slope::create(parent, group, file);
}

// --- integrate ---

MethodIntegrate::MethodIntegrate()
    : Method(false), onlyPos("onlyPos", "(default false) only integrate positive values", false),
      onlyNeg("onlyNeg", "(default false) only integrate negative values", false),
      minSum("minSum", "(optional) integration sum truncated to this as lowest level", 0.0),
      maxSum("maxSum", "(optional) integration sum truncated to this as highest level", 0.0),
      resetSig("resetSig", "(optional) set integration sum to 0 when this signal is larger than 0", "")
{
    placeholder(minSum, "100.5 units");
    placeholder(maxSum, "10.5 units");
    placeholder(resetSig, kSignalPlaceholder);
    rows.insert(rows.end(), {&onlyPos, &onlyNeg, &minSum, &maxSum, &resetSig});
}

void MethodIntegrate::createSignal(std::shared_ptr<VirtualMessage> parent, const Glib::ustring& group,
                                   Glib::KeyFile& file, const Glib::ustring&)
{
    IntDer::create(parent, group, file);
}

void MethodIntegrate::setSignalListModel(const Glib::RefPtr<Gtk::ListStore>& model)
{
    resetSig.setSignalListModel(model);
}

// --- count ---

MethodCount::MethodCount()
    : above("above", "high when signal above this level", 0.0), below("below", "low when signal below this level", 0.0),
      resetSig("resetSig", "(optional) set count to 0 when this signal is larger than 0", "")
{
    placeholder(above, "10.5 units");
    placeholder(below, "-10.5 units");
    placeholder(resetSig, kSignalPlaceholder);
    rows.insert(rows.end(), {&above, &below, &resetSig});
}

void MethodCount::createSignal(std::shared_ptr<VirtualMessage> parent, const Glib::ustring& group,
                               Glib::KeyFile& file, const Glib::ustring&)
{
    Count::create(parent, group, file);
}

void MethodCount::setSignalListModel(const Glib::RefPtr<Gtk::ListStore>& model) { resetSig.setSignalListModel(model); }

// --- time ---

MethodTime::MethodTime()
    : above("above", "high when signal above this level", 0.0), below("below", "low when signal below this level", 0.0),
      countAbove("countAbove", "count the time above (Yes) or below (No)", true),
      resetSig("resetSig", "(optional) set time to 0 when this signal is larger than 0", "")
{
    placeholder(above, "10.5 units");
    placeholder(below, "-10.5 units");
    placeholder(resetSig, kSignalPlaceholder);
    rows.insert(rows.end(), {&above, &below, &countAbove, &resetSig});
}

void MethodTime::createSignal(std::shared_ptr<VirtualMessage> parent, const Glib::ustring& group, Glib::KeyFile& file,
                              const Glib::ustring&)
{
    Timekeeping::create(parent, group, file);
}

void MethodTime::setSignalListModel(const Glib::RefPtr<Gtk::ListStore>& model) { resetSig.setSignalListModel(model); }

// --- accumulate ---

MethodAccumulate::MethodAccumulate()
    : resetSig("resetSig", "(optional) set sum to 0 when this signal is larger than 0", "")
{
    placeholder(resetSig, kSignalPlaceholder);
    rows.push_back(&resetSig);
}

void MethodAccumulate::createSignal(std::shared_ptr<VirtualMessage> parent, const Glib::ustring& group,
                                    Glib::KeyFile& file, const Glib::ustring&)
{
    Accumulate::create(parent, group, file);
}

void MethodAccumulate::setSignalListModel(const Glib::RefPtr<Gtk::ListStore>& model)
{
    resetSig.setSignalListModel(model);
}

// --- frequency ---

MethodFrequency::MethodFrequency()
    : samples("samples", "(default 1) number of cycles to average over", 1),
      filter("filter", "(default 0, disabled) filter out spikes greater than this value", 0.0),
      peaks("peaks", "(default 1) number of peaks per cycle", 1),
      amplitude("amplitude", "(default false) measure amplitude instead of frequency", false)
{
    placeholder(samples, "3 cycles");
    placeholder(filter, "15 units");
    placeholder(peaks, "2 peaks/cycle");
    rows.insert(rows.end(), {&samples, &filter, &peaks, &amplitude});
}

void MethodFrequency::createSignal(std::shared_ptr<VirtualMessage> parent, const Glib::ustring& group,
                                   Glib::KeyFile& file, const Glib::ustring&)
{
    Frequency::create(parent, group, file);
}

// --- estimate ---

MethodEstimate::MethodEstimate()
    : highLimit("highLimit", "consider signal to be at high level when this threshold is passed", 0.0),
      lowLimit("lowLimit", "consider signal to be back at low level when this threshold is passed", 0.0),
      offValue("offValue", "(default 0) static low leave value", 0.0)
{
    placeholder(highLimit, "10.5 units");
    placeholder(lowLimit, "8.5 units");
    placeholder(offValue, "0 units");
    rows.insert(rows.end(), {&highLimit, &lowLimit, &offValue});
}

void MethodEstimate::createSignal(std::shared_ptr<VirtualMessage> parent, const Glib::ustring& group,
                                  Glib::KeyFile& file, const Glib::ustring&)
{
    Estimate::create(parent, group, file);
}

// --- IIR ---

MethodIIR::MethodIIR() : K("K", "IIR damp factor Y(n)=(1/K)*x(n)+y(n-1)*(1-(1/K))", 0.0)
{
    placeholder(K, "10");
    rows.push_back(&K);
}

void MethodIIR::createSignal(std::shared_ptr<VirtualMessage> parent, const Glib::ustring& group, Glib::KeyFile& file,
                             const Glib::ustring&)
{
    IIR::create(parent, group, file);
}

// --- statistics ---

MethodStatistics::MethodStatistics()
    : typeRow(new EntryDropDwn("type", "what statistic the output should show", {"max", "min", "average"}, 0))
{
    rows.push_back(typeRow);
}

MethodStatistics::~MethodStatistics() { delete typeRow; }

void MethodStatistics::createSignal(std::shared_ptr<VirtualMessage> parent, const Glib::ustring& group,
                                    Glib::KeyFile& file, const Glib::ustring&)
{
    Statistics::create(parent, group, file);
}

// --- expression ---

MethodExpression::MethodExpression()
    : radians("radians", "Use radians instead of degrees for trigonometric functions", false),
      expr("expr", "The mathematical expression, e.g. \"$01 * 0.5 / $02\"", "")
{
    placeholder(expr, "max($01, $02) / $03");
    rows.insert(rows.end(), {&radians, &expr});
}

void MethodExpression::createSignal(std::shared_ptr<VirtualMessage> parent, const Glib::ustring& group,
                                    Glib::KeyFile& file, const Glib::ustring&)
{
    CustomMath::create(parent, group, file);
}

// --- lookuptable ---

MethodLookupTable::MethodLookupTable() : file("file", "Lookup table file path", "")
{
    placeholder(file, "dir/ectory/file.csv");
    rows.push_back(&file);
}

void MethodLookupTable::createSignal(std::shared_ptr<VirtualMessage> parent, const Glib::ustring& group,
                                     Glib::KeyFile& keyFile, const Glib::ustring& vsdPath)
{
    LookupTable::create(parent, group, keyFile, vsdPath);
}

// --- above, below ---

MethodAboveBelow::MethodAboveBelow(const Glib::ustring& name)
    : name(name), above("above", "High when signal above this level", 0.0),
      below("below", "Low when signal below this level", 0.0)
{
    placeholder(above, "10.5 units");
    placeholder(below, "8.5 units");
    rows.insert(rows.end(), {&above, &below});
}

void MethodAboveBelow::createSignal(std::shared_ptr<VirtualMessage> parent, const Glib::ustring& group,
                                    Glib::KeyFile& file, const Glib::ustring&)
{
    AboveBelow::create(parent, group, file);
}

// --- geofence ---

MethodGeofence::MethodGeofence()
    : typeRow(new EntryDropDwn("type", "Shape of the geofence", {"circle", "square"}, 0)),
      center("center", kPositionTooltip, ""), radius("radius", "radius of fence (m)", 0.0),
      topleft("topleft", kPositionTooltip, ""), bottomright("bottomright", kPositionTooltip, "")
{
    placeholder(center, "33.3333;-66.6666");
    placeholder(radius, "1.5 m");
    placeholder(topleft, "33.3333;-66.6666");
    placeholder(bottomright, "33.3333;-66.6666");
    rows.insert(rows.end(), {typeRow, &center, &radius, &topleft, &bottomright});
    // The geofence is evaluated once a second; the step is shown, not chosen.
    stepRow.set_editable(false);
    typeRow->signal_changed().connect(
        [this] { guardHandler("Choosing the geofence shape", [this] { onTypeChanged(); }); });
}

MethodGeofence::~MethodGeofence() { delete typeRow; }

void MethodGeofence::createSignal(std::shared_ptr<VirtualMessage> parent, const Glib::ustring& group,
                                  Glib::KeyFile& file, const Glib::ustring&)
{
    Geofence::create(parent, group, file);
}

void MethodGeofence::show()
{
    Method::show();
    showShapeRows();
    stepRow.setProgramText("1000");
    hidden = false;
}

void MethodGeofence::hide()
{
    Method::hide();
    hidden = true;
}

void MethodGeofence::onTypeChanged()
{
    if (!hidden)
        showShapeRows();
}

void MethodGeofence::showShapeRows()
{
    const bool circle = typeRow->get_active_row_number() == 0;
    InputRow* shown[] = {&center, &radius};
    InputRow* other[] = {&topleft, &bottomright};
    if (!circle)
        std::swap(shown, other);
    for (InputRow* row : shown)
        row->show();
    for (InputRow* row : other)
        row->hide();
}

// --- derive ---

MethodMultimath::MethodMultimath() = default;

void MethodMultimath::createSignal(std::shared_ptr<VirtualMessage> parent, const Glib::ustring& group,
                                   Glib::KeyFile& file, const Glib::ustring&)
{
    MultiMath::create(parent, group, file);
}

} // namespace vistra
