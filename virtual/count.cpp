#include "virtual/count.h"

#include "core/number_setting.h"
#include "virtual/hysteresis.h"

namespace vistra {

Count::Count(std::shared_ptr<Message> parent, const Glib::ustring& group, Glib::KeyFile& keyFile)
    : CustomSignal(std::move(parent), group, keyFile)
{
    above = numberSetting(keyFile, group, "above", Infinities::Both);
    below = numberSetting(keyFile, group, "below", Infinities::Both);
    readSignalInput(keyFile, group);
    readResetInput(keyFile, group);
}

Count::~Count() = default;

std::shared_ptr<Signal> Count::create(std::shared_ptr<Message> parent, const Glib::ustring& group,
                                      Glib::KeyFile& keyFile)
{
    return build<Count>(std::move(parent), group, keyFile);
}

void Count::compute()
{
    if (switchHysteresis(high, inputs[0].value, above, below))
        count += 1.0;
    // A reset leaves the switch as it is: a rise during the reset is not counted later.
    if (resetActive())
        count = 0.0;
    addValue(currentTime, count);
}

bool Count::summary(double* out)
{
    *out = count * factor + offset;
    return true;
}

} // namespace vistra
