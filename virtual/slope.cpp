#include "virtual/slope.h"

#include <algorithm>

namespace vistra {

Slope::Slope(std::shared_ptr<Message> parent, const Glib::ustring& group, Glib::KeyFile& keyFile)
    : CustomSignal(std::move(parent), group, keyFile)
{
    readSignalInput(keyFile, group);
    const double perStep = 0.001 * step;
    posSlopeIncr = keyFile.get_double(group, "posSlopeIncr") * perStep;
    posSlopeDecr = keyFile.get_double(group, "posSlopeDecr") * perStep;
    negSlopeIncr = keyFile.get_double(group, "negSlopeIncr") * perStep;
    negSlopeDecr = keyFile.get_double(group, "negSlopeDecr") * perStep;
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
