#include "virtual/custom_math.h"

#include <cstdio>
#include <stdexcept>

namespace vistra {

CustomMath::CustomMath(std::shared_ptr<Message> parent, const Glib::ustring& group, Glib::KeyFile& keyFile)
    : CustomSignal(std::move(parent), group, keyFile)
{
    if (readNumberedInputs(keyFile, group) == 0)
        throw std::invalid_argument("At least one signal_XX= must be defined\n"
                                    "\tYou don't have to use the signal in the expression, but Tarnwick\n"
                                    "\tneeds it to know when to plot the expression.");
    if (keyFile.has_key(group, "radians"))
        radians = keyFile.get_boolean(group, "radians");

    // Registered functions keep a pointer into inputIndexes: it is filled once, before.
    inputIndexes.resize(inputs.size());
    for (std::size_t k = 0; k < inputs.size(); ++k) {
        inputIndexes[k] = static_cast<u32>(k);
        char name[16];
        std::snprintf(name, sizeof name, "$%02u", static_cast<unsigned>(k + 1));
        registerFunction(name, 0, &inputIndexes[k]);
    }

    const Glib::ustring text =
        keyFile.has_key(group, "expr") ? keyFile.get_string(group, "expr") : keyFile.get_string(group, "expression");
    std::list<Token> tokens = parseExpression(text.raw());
    rpn = toRpn(tokens);
    evaluate(rpn);
    validating = false;
}

CustomMath::CustomMath() : CustomSignal(nullptr, Glib::ustring()) {}

CustomMath::~CustomMath() = default;

std::shared_ptr<Signal> CustomMath::create(std::shared_ptr<Message> parent, const Glib::ustring& group,
                                           Glib::KeyFile& keyFile)
{
    return build<CustomMath>(std::move(parent), group, keyFile);
}

void CustomMath::compute() { addValue(currentTime, evaluate(rpn)); }

double CustomMath::callCustomFunction(const std::list<double>&, void* userData)
{
    if (validating)
        return 0.0;
    return inputs[*static_cast<const u32*>(userData)].value;
}

} // namespace vistra
