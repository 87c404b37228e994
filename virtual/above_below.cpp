#include "virtual/above_below.h"

#include "virtual/hysteresis.h"

namespace vistra {

AboveBelow::AboveBelow(std::shared_ptr<Message> parent, const Glib::ustring& group, Glib::KeyFile& keyFile)
    : CustomSignal(std::move(parent), group, keyFile)
{
    inverted = keyFile.get_string(group, "method") == "below";
    readSignalInput(keyFile, group);
    above = keyFile.get_double(group, "above");
    below = keyFile.get_double(group, "below");
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
