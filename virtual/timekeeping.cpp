#include "virtual/timekeeping.h"

#include "core/number_setting.h"
#include "virtual/hysteresis.h"

namespace vistra {

Timekeeping::Timekeeping(std::shared_ptr<Message> parent, const Glib::ustring& group, Glib::KeyFile& keyFile)
    : CustomSignal(std::move(parent), group, keyFile)
{
    readSignalInput(keyFile, group);
    readResetInput(keyFile, group);
    above = numberSetting(keyFile, group, "above", Infinities::Both);
    below = numberSetting(keyFile, group, "below", Infinities::Both);
    if (keyFile.has_key(group, "countAbove"))
        countAbove = keyFile.get_boolean(group, "countAbove");
}

Timekeeping::~Timekeeping() = default;

std::shared_ptr<Signal> Timekeeping::create(std::shared_ptr<Message> parent, const Glib::ustring& group,
                                            Glib::KeyFile& keyFile)
{
    return build<Timekeeping>(std::move(parent), group, keyFile);
}

void Timekeeping::compute()
{
    // A step counts only when the state was the counted one at the previous step and still
    // is: the steps at which the state changes add nothing to either side.
    const bool wasHigh = high;
    switchHysteresis(high, inputs[0].value, above, below);
    if (high == wasHigh && high == countAbove)
        elapsedMs += step;
    if (resetActive())
        elapsedMs = 0.0;
    addValue(currentTime, 0.001 * elapsedMs);
}

bool Timekeeping::summary(double* out)
{
    *out = elapsedMs * 0.001 * factor + offset;
    return true;
}

} // namespace vistra
