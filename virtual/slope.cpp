#include "virtual/slope.h"

#include "core/number_setting.h"

#include <algorithm>

namespace vistra {

Slope::Slope(std::shared_ptr<Message> parent, const Glib::ustring& group, Glib::KeyFile& keyFile)
    : CustomSignal(std::move(parent), group, keyFile)
{
    readSignalInput(keyFile, group);
    const double perStep = 0.001 * step;
    // Largest changes: inf lets the output follow the input at once.
    posSlopeIncr = numberSetting(keyFile, group, "posSlopeIncr", Infinities::Positive) * perStep;
    posSlopeDecr = numberSetting(keyFile, group, "posSlopeDecr", Infinities::Positive) * perStep;
    negSlopeIncr = numberSetting(keyFile, group, "negSlopeIncr", Infinities::Positive) * perStep;
    negSlopeDecr = numberSetting(keyFile, group, "negSlopeDecr", Infinities::Positive) * perStep;
}

Slope::~Slope() = default;

std::shared_ptr<Signal> Slope::create(std::shared_ptr<Message> parent, const Glib::ustring& group,
                                      Glib::KeyFile& keyFile)
{
    return build<Slope>(std::move(parent), group, keyFile);
}

void Slope::compute()
{
    const double x = inputs[0].value;
    if (first) {
        first = false;
        output = x;
        return;
    }
    const double d = x - output;
    if (output < 0.0)
        output += d < 0.0 ? std::max(d, -negSlopeIncr) : std::min(d, negSlopeDecr);
    else
        output += d > 0.0 ? std::min(d, posSlopeIncr) : std::max(d, -posSlopeDecr);
    addValue(currentTime, output);
}

} // namespace vistra
