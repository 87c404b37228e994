#include "virtual/above_below.h"

#include "core/number_setting.h"
#include "virtual/hysteresis.h"

namespace vistra {

AboveBelow::AboveBelow(std::shared_ptr<Message> parent, const Glib::ustring& group, Glib::KeyFile& keyFile)
    : CustomSignal(std::move(parent), group, keyFile)
{
    inverted = keyFile.get_string(group, "method") == "below";
    readSignalInput(keyFile, group);
    above = numberSetting(keyFile, group, "above", Infinities::Both);
    below = numberSetting(keyFile, group, "below", Infinities::Both);
}

AboveBelow::~AboveBelow() = default;

std::shared_ptr<Signal> AboveBelow::create(std::shared_ptr<Message> parent, const Glib::ustring& group,
                                           Glib::KeyFile& keyFile)
{
    return build<AboveBelow>(std::move(parent), group, keyFile);
}

void AboveBelow::compute()
{
    switchHysteresis(high, inputs[0].value, above, below);
    addValue(currentTime, high != inverted ? 1.0 : 0.0);
}

} // namespace vistra
