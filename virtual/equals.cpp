#include "virtual/equals.h"

#include "core/number_setting.h"

#include <stdexcept>

namespace vistra {

Equals::Equals(std::shared_ptr<Message> parent, const Glib::ustring& group, Glib::KeyFile& keyFile)
    : CustomSignal(std::move(parent), group, keyFile)
{
    if (readNumberedInputs(keyFile, group) == 0)
        throw std::invalid_argument("At least one signal_XX= must be defined");
    const int values = countNumberedKeys(keyFile, group, "value");
    for (int i = 1; i <= values; ++i)
        compareValues.push_back(numberSetting(keyFile, group, numberedKey("value", i), Infinities::Both));
    if (compareValues.size() != inputs.size())
        throw std::invalid_argument("Input and value count for Equals signal must match");
    if (keyFile.has_key(group, "allOf"))
        allOf = keyFile.get_boolean(group, "allOf");
}

Equals::~Equals() = default;

std::shared_ptr<Signal> Equals::create(std::shared_ptr<Message> parent, const Glib::ustring& group,
                                       Glib::KeyFile& keyFile)
{
    return build<Equals>(std::move(parent), group, keyFile);
}

void Equals::compute()
{
    bool any = false;
    bool all = true;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        const bool match = inputs[i].value == compareValues[i];
        any = any || match;
        all = all && match;
    }
    addValue(currentTime, all || (!allOf && any) ? 1.0 : 0.0);
}

} // namespace vistra
