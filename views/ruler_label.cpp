#include "views/ruler_label.h"

#include "core/signal.h"

#include <cstdio>

namespace vistra {

std::string rulerValueText(Signal& signal, u64 at, std::optional<u64> deltaFrom)
{
    const std::optional<double> value = signal.lastValueAt(at);
    const std::optional<double> base = deltaFrom ? signal.lastValueAt(*deltaFrom) : std::nullopt;
    char text[150];
    if (!value || (deltaFrom && !base)) {
        std::snprintf(text, sizeof text, "%s (%s)", signal.fullName.c_str(), signal.unit.c_str());
    } else if (deltaFrom) {
        std::snprintf(text, sizeof text, "\u0394%.2f %s (%s)", *value - *base, signal.fullName.c_str(),
                      signal.unit.c_str());
    } else {
        char valueText[128];
        signal.formatValue(valueText, sizeof valueText, *value);
        std::snprintf(text, sizeof text, "%s %s (%s)", valueText, signal.fullName.c_str(), signal.unit.c_str());
    }
    return text;
}

} // namespace vistra
