#include "core/number_setting.h"

#include <cmath>
#include <stdexcept>
#include <string>

namespace vistra {
namespace {

bool settingAllows(Infinities allowed, double value)
{
    if (std::isfinite(value))
        return true;
    switch (allowed) {
    case Infinities::Both:
        return !std::isnan(value);
    case Infinities::Negative:
        return value < 0.0;
    case Infinities::Positive:
        return value > 0.0;
    case Infinities::None:
        break;
    }
    return false;
}

const char* allowedNumbers(Infinities allowed)
{
    switch (allowed) {
    case Infinities::Both:
        return "a number";
    case Infinities::Negative:
        return "a finite number or -inf";
    case Infinities::Positive:
        return "a finite number or inf";
    case Infinities::None:
        break;
    }
    return "a finite number";
}

std::invalid_argument refusedSetting(Glib::KeyFile& keyFile, const Glib::ustring& group, const Glib::ustring& key,
                                     const char* expected)
{
    return std::invalid_argument("Expected '" + key.raw() + "' of " + group.raw() + " to be " + expected +
                                 " but got " + keyFile.get_value(group, key).raw());
}

} // namespace

double numberSetting(Glib::KeyFile& keyFile, const Glib::ustring& group, const Glib::ustring& key,
                     Infinities allowed)
{
    const double value = keyFile.get_double(group, key);
    if (!settingAllows(allowed, value))
        throw refusedSetting(keyFile, group, key, allowedNumbers(allowed));
    return value;
}

std::vector<double> finiteNumbers(Glib::KeyFile& keyFile, const Glib::ustring& group, const Glib::ustring& key)
{
    std::vector<double> values = keyFile.get_double_list(group, key);
    for (double value : values)
        if (!std::isfinite(value))
            throw refusedSetting(keyFile, group, key, "finite numbers");
    return values;
}

} // namespace vistra
