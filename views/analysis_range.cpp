#include "views/analysis_range.h"

#include "core/message.h"

#include <algorithm>
#include <cstdio>

namespace vistra {

AnalysisRange analysisRange(u64 leftRuler, u64 rightRuler, u64 shownFrom, u64 shownTo)
{
    if (!rulerSet(leftRuler) || !rulerSet(rightRuler))
        return {shownFrom, shownTo, false, 1.0};
    if (leftRuler < rightRuler)
        return {leftRuler, rightRuler, true, 1.0};
    return {rightRuler, leftRuler, true, -1.0};
}

std::size_t firstSampleAtOrAfter(const std::vector<Sample>& samples, u64 t)
{
    auto it = std::lower_bound(samples.begin(), samples.end(), t,
                               [](const Sample& s, u64 time) { return s.time < time; });
    return static_cast<std::size_t>(it - samples.begin());
}

std::string fixedPoint(double v, int decimals)
{
    char text[400]; // "%f" of a value near DBL_MAX is over 300 characters long
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
    return text;
}

Glib::ustring messageAndSignalName(const Signal& signal)
{
    return signal.parent ? signal.parent->name + "." + signal.name : signal.name;
}

} // namespace vistra
