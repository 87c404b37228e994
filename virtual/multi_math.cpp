#include "virtual/multi_math.h"

#include "core/number_setting.h"
#include "virtual/angle_units.h"

#include <cmath>
#include <stdexcept>
#include <string>

namespace vistra {
namespace {

struct Operation {
    const char* keyword;
    double (MultiMath::*function)();
};

} // namespace

MultiMath::MultiMath(std::shared_ptr<Message> parent, const Glib::ustring& group, Glib::KeyFile& keyFile)
    : CustomSignal(std::move(parent), group, keyFile)
{
    if (readNumberedInputs(keyFile, group) == 0)
        throw std::invalid_argument("At least one signal_XX= must be defined");
    if (keyFile.has_key(group, "radians"))
        radians = keyFile.get_boolean(group, "radians");

    static const Operation operations[] = {
        {"sum", &MultiMath::sum},   {"sub", &MultiMath::sub},       {"mult", &MultiMath::mult},
        {"div", &MultiMath::div},   {"avg", &MultiMath::avg},       {"max", &MultiMath::max},
        {"min", &MultiMath::min},   {"sin", &MultiMath::sin},       {"cos", &MultiMath::cos},
        {"tan", &MultiMath::tan},   {"asin", &MultiMath::asin},     {"acos", &MultiMath::acos},
        {"atan", &MultiMath::atan}, {"inv", &MultiMath::inv},       {"sqrt", &MultiMath::sqrt},
        {"sqr", &MultiMath::sqr},   {"der", &MultiMath::der},       {"derive", &MultiMath::der},
        {"fmod", &MultiMath::fmod},
    };
    const Glib::ustring method = keyFile.get_value(group, "method");
    for (const Operation& op : operations)
        if (method == op.keyword)
            operation = op.function;
    if (!operation)
        throw std::invalid_argument("Unknown virtual signal method: " + method.raw());

    if (operation == &MultiMath::fmod) {
        if (!keyFile.has_key(group, "denom"))
            throw std::invalid_argument("Expected 'denom'");
        denom = numberSetting(keyFile, group, "denom");
    }
}

MultiMath::~MultiMath() = default;

std::shared_ptr<Signal> MultiMath::create(std::shared_ptr<Message> parent, const Glib::ustring& group,
                                          Glib::KeyFile& keyFile)
{
    return build<MultiMath>(std::move(parent), group, keyFile);
}

void MultiMath::compute() { addValue(currentTime, (this->*operation)()); }

double MultiMath::sum()
{
    double r = 0.0;
    for (const Input& input : inputs)
        r += input.value;
    return r;
}

double MultiMath::sub()
{
    double r = inputs[0].value;
    for (std::size_t i = 1; i < inputs.size(); ++i)
        r -= inputs[i].value;
    return r;
}

double MultiMath::mult()
{
    double r = 1.0;
    for (const Input& input : inputs)
        r *= input.value;
    return r;
}

double MultiMath::div()
{
    double r = inputs[0].value;
    for (std::size_t i = 1; i < inputs.size(); ++i)
        r /= inputs[i].value;
    return r;
}

double MultiMath::avg() { return sum() / static_cast<double>(inputs.size()); }

double MultiMath::max()
{
    double r = inputs[0].value;
    for (const Input& input : inputs)
        r = std::fmax(r, input.value);
    return r;
}

double MultiMath::min()
{
    double r = inputs[0].value;
    for (const Input& input : inputs)
        r = std::fmin(r, input.value);
    return r;
}

// The trigonometric functions work in single precision, as the loggers' own tools do.
double MultiMath::sin() { return std::sin(static_cast<float>(radians ? inputs[0].value : inputs[0].value * kDegToRad)); }

double MultiMath::cos() { return std::cos(static_cast<float>(radians ? inputs[0].value : inputs[0].value * kDegToRad)); }

double MultiMath::tan() { return std::tan(static_cast<float>(radians ? inputs[0].value : inputs[0].value * kDegToRad)); }

double MultiMath::asin()
{
    const double r = std::asin(static_cast<float>(inputs[0].value));
    return radians ? r : r * kRadToDeg;
}

double MultiMath::acos()
{
    const double r = std::acos(static_cast<float>(inputs[0].value));
    return radians ? r : r * kRadToDeg;
}

double MultiMath::atan()
{
    const double r = std::atan(static_cast<float>(inputs[0].value));
    return radians ? r : r * kRadToDeg;
}

double MultiMath::inv() { return 1.0 / inputs[0].value; }

double MultiMath::sqrt() { return std::sqrt(static_cast<float>(inputs[0].value)); }

double MultiMath::sqr() { return inputs[0].value * inputs[0].value; }

double MultiMath::der()
{
    // Per second over the time since the previous step: after a silence the walk jumps
    // ahead by more than one step.
    const double x = inputs[0].value;
    double r = 0.0;
    if (!firstStep && currentTime > prevTime)
        r = (x - prevValue) * 1000.0 / static_cast<double>(currentTime - prevTime);
    firstStep = false;
    prevValue = x;
    prevTime = currentTime;
    return r;
}

double MultiMath::fmod() { return std::fmod(inputs[0].value, denom); }

} // namespace vistra
