#include "virtual/statistics.h"

#include <algorithm>
#include <cfloat>
#include <limits>
#include <stdexcept>

namespace vistra {

Statistics::Statistics(std::shared_ptr<Message> parent, const Glib::ustring& group, Glib::KeyFile& keyFile)
    : CustomSignal(std::move(parent), group, keyFile)
{
    noPlot = true;
    readSignalInput(keyFile, group);
    if (unit.empty())
        unit = inputs[0].source->unit;
    const Glib::ustring type = keyFile.get_value(group, "type");
    if (type == "min") {
        update = &Statistics::updateMin;
        result = DBL_MAX;
    } else if (type == "max") {
        update = &Statistics::updateMax;
        result = -DBL_MAX;
    } else if (type == "average" || type == "avg") {
        update = &Statistics::updateSum;
        result = 0.0;
    } else {
        throw std::invalid_argument("Invalid statistics type '" + type.raw() + "'");
    }
}

Statistics::~Statistics() = default;

std::shared_ptr<Signal> Statistics::create(std::shared_ptr<Message> parent, const Glib::ustring& group,
                                           Glib::KeyFile& keyFile)
{
    return build<Statistics>(std::move(parent), group, keyFile);
}

void Statistics::compute()
{
    (this->*update)(inputs[0].value);
    count += 1.0;
}

void Statistics::updateMax(double x) { result = std::max(result, x); }

void Statistics::updateMin(double x) { result = std::min(result, x); }

void Statistics::updateSum(double x) { result += x; }

bool Statistics::summary(double* out)
{
    if (count < 1.0) {
        *out = std::numeric_limits<double>::quiet_NaN();
        return true;
    }
    const double value = update == &Statistics::updateSum ? result / count : result;
    *out = value * factor + offset;
    return true;
}

} // namespace vistra
