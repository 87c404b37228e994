#include "virtual/multiplex.h"

#include "core/number_setting.h"

#include <stdexcept>

namespace vistra {

Multiplex::Multiplex(std::shared_ptr<Message> parent, const Glib::ustring& group, Glib::KeyFile& keyFile)
    : CustomSignal(std::move(parent), group, keyFile)
{
    readSignalInput(keyFile, group);
    const int triggers = countNumberedKeys(keyFile, group, "trigSign");
    if (triggers == 0)
        throw std::invalid_argument("expected at least trigSignal_01");
    for (int i = 1; i <= triggers; ++i)
        addInput(keyFile.get_value(group, numberedKey("trigSign", i)));
    for (int i = 1; i <= triggers; ++i) {
        const Glib::ustring key = numberedKey("trigVal", i);
        if (!keyFile.has_key(group, key))
            throw std::invalid_argument("expected " + key.raw());
        // Compared exactly: a float signal may carry an infinity, a NaN equals nothing.
        trigValues.push_back(numberSetting(keyFile, group, key, Infinities::Both));
    }
}

Multiplex::~Multiplex() = default;

std::shared_ptr<Signal> Multiplex::create(std::shared_ptr<Message> parent, const Glib::ustring& group,
                                          Glib::KeyFile& keyFile)
{
    return build<Multiplex>(std::move(parent), group, keyFile);
}

void Multiplex::compute()
{
    bool match = true;
    for (std::size_t i = 0; i < trigValues.size(); ++i)
        match = match && inputs[i + 1].value == trigValues[i];
    if (match) {
        latchedValue = inputs[0].value;
        latched = true;
    }
    if (latched)
        addValue(currentTime, latchedValue);
}

} // namespace vistra
