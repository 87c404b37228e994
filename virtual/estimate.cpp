#include "virtual/estimate.h"

#include "core/number_setting.h"

namespace vistra {

Estimate::Estimate(std::shared_ptr<Message> parent, const Glib::ustring& group, Glib::KeyFile& keyFile)
    : CustomSignal(std::move(parent), group, keyFile)
{
    readSignalInput(keyFile, group);
    highLimit = numberSetting(keyFile, group, "highLimit", Infinities::Both);
    lowLimit = numberSetting(keyFile, group, "lowLimit", Infinities::Both);
    // The factor is never 0 (the common options refuse it).
    if (keyFile.has_key(group, "offValue"))
        offValue = (numberSetting(keyFile, group, "offValue") - offset) / factor;
}

Estimate::~Estimate() = default;

std::shared_ptr<Signal> Estimate::create(std::shared_ptr<Message> parent, const Glib::ustring& group,
                                         Glib::KeyFile& keyFile)
{
    return build<Estimate>(std::move(parent), group, keyFile);
}

void Estimate::compute()
{
    const double x = inputs[0].value;
    if (!high) {
        if (x > highLimit) {
            high = true;
            segStart = currentTime;
            sum = 0.0;
            count = 0;
        } else {
            addValue(currentTime, offValue);
        }
        return;
    }
    // The mean takes the values from the step after the rise up to the one that ends the
    // stretch, and shows from the rise up to the step before the end.
    sum += x;
    count += 1;
    if (x >= lowLimit)
        return;
    high = false;
    sum /= count;
    for (; segStart < currentTime; segStart += step)
        addValue(segStart, sum);
}

} // namespace vistra
