#include "virtual/method_factory.h"

#include "core/signal.h"
#include "core/virtual_signal.h"
#include "virtual/above_below.h"
#include "virtual/accumulate.h"
#include "virtual/average.h"
#include "virtual/count.h"
#include "virtual/custom_math.h"
#include "virtual/equals.h"
#include "virtual/estimate.h"
#include "virtual/frequency.h"
#include "virtual/geofence.h"
#include "virtual/iir.h"
#include "virtual/int_der.h"
#include "virtual/lookup_table.h"
#include "virtual/multi_math.h"
#include "virtual/multiplex.h"
#include "virtual/slope.h"
#include "virtual/statistics.h"
#include "virtual/timekeeping.h"
#include "virtual/virtual_message.h"

#include <optional>
#include <stdexcept>
#include <string>

namespace vistra {
namespace {

// Every creator takes the VSD path; only the lookup table needs it (its table file may
// lie beside the VSD file).
using Creator = std::shared_ptr<Signal> (*)(std::shared_ptr<Message> parent, const Glib::ustring& group,
                                            Glib::KeyFile& file, const Glib::ustring& vsdPath);

template <class T>
std::shared_ptr<Signal> creatorOf(std::shared_ptr<Message> parent, const Glib::ustring& group, Glib::KeyFile& file,
                                  const Glib::ustring&)
{
    return T::create(std::move(parent), group, file);
}

template <class T>
std::shared_ptr<Signal> creatorWithPath(std::shared_ptr<Message> parent, const Glib::ustring& group,
                                        Glib::KeyFile& file, const Glib::ustring& vsdPath)
{
    return T::create(std::move(parent), group, file, vsdPath);
}

struct Method {
    const char* keyword;
    Creator create; // null: the keyword is refused like an unknown one
};

// Tested in this order, exactly and case-sensitively.
const Method kMethods[] = {
    {"average", creatorOf<Average>},
    {"slope", creatorOf<Slope>},
    {"integrate", creatorOf<IntDer>},
    {"count", creatorOf<Count>},
    {"time", creatorOf<Timekeeping>},
    {"accumulate", creatorOf<Accumulate>},
    {"frequency", creatorOf<Frequency>},
    {"estimate", creatorOf<Estimate>},
    {"sum", creatorOf<MultiMath>},
    {"sub", creatorOf<MultiMath>},
    {"mult", creatorOf<MultiMath>},
    {"div", creatorOf<MultiMath>},
    {"avg", creatorOf<MultiMath>},
    {"max", creatorOf<MultiMath>},
    {"min", creatorOf<MultiMath>},
    {"sin", creatorOf<MultiMath>},
    {"cos", creatorOf<MultiMath>},
    {"tan", creatorOf<MultiMath>},
    {"asin", creatorOf<MultiMath>},
    {"acos", creatorOf<MultiMath>},
    {"atan", creatorOf<MultiMath>},
    {"inv", creatorOf<MultiMath>},
    {"sqrt", creatorOf<MultiMath>},
    {"sqr", creatorOf<MultiMath>},
    {"der", creatorOf<MultiMath>},
    {"derive", creatorOf<MultiMath>},
    {"fmod", creatorOf<MultiMath>},
    {"IIR", creatorOf<IIR>},
    {"above", creatorOf<AboveBelow>},
    {"below", creatorOf<AboveBelow>},
    {"multiplex", creatorOf<Multiplex>},
    {"statistics", creatorOf<Statistics>},
    {"equals", creatorOf<Equals>},
    {"lookuptable", creatorWithPath<LookupTable>},
    {"geofence", creatorOf<Geofence>},
    {"expression", creatorOf<CustomMath>},
};

// Renames a signal after construction; its full name ends with its name.
void rename(Signal& signal, const Glib::ustring& newName)
{
    const std::string& full = signal.fullName.raw();
    signal.fullName = full.substr(0, full.size() - signal.name.raw().size()) + newName.raw();
    signal.name = newName;
}

} // namespace

void createVirtualSignal(std::shared_ptr<VirtualMessage> message, const Glib::ustring& group,
                         const Glib::ustring& signalName, Glib::KeyFile& file, const Glib::ustring& vsdPath)
{
    const Glib::ustring method = file.get_value(group, "method");
    Creator create = nullptr;
    for (const Method& m : kMethods) {
        if (method == m.keyword) {
            create = m.create;
            break;
        }
    }
    if (!create)
        throw std::invalid_argument("Unknown virtual signal method: " + method.raw());

    std::shared_ptr<Signal> signal = create(message, group, file, vsdPath);
    if (auto* virt = dynamic_cast<VirtualSignal*>(signal.get())) {
        virt->definitionFile = vsdPath;
        virt->definitionGroup = group;
    }

    std::optional<int> window;
    if (file.has_key(group, "avg"))
        window = file.get_integer(group, "avg");
    else if (file.has_key(group, "avgWindow"))
        window = file.get_integer(group, "avgWindow");
    if (!window || *window <= 0 || !file.has_key(group, "step")) {
        message->addSignal(signal, signalName);
        return;
    }

    // The average is built before anything joins the message: when it cannot be built the
    // group leaves nothing behind, and a retry pass does not add the source again.
    const int step = file.get_integer(group, "step");
    rename(*signal, signalName + kAveragedSourceSuffix);
    auto average = std::make_shared<Average>(message, signalName, signal, step, *window, file, group);
    average->wrapped = signal;
    // The source lives on as the average's input only: not listed, never enabled itself.
    signal->hidden = true;
    signal->internal = true;
    message->addSignal(signal, signal->name);
    message->addSignal(average, signalName);
}

} // namespace vistra
