#pragma once
// What the histogram and statistics windows share: the interval they cover, where an
// interval starts in a signal's samples, and the signal's name in their titles.
#include "core/signal.h"
#include "core/types.h"

#include <glibmm/ustring.h>

#include <cstddef>
#include <string>
#include <vector>

namespace vistra {

// A ruler is set when its time, read as a signed number, is not negative (kNoTime is -1).
inline bool rulerSet(u64 ruler) { return static_cast<i64>(ruler) >= 0; }

struct AnalysisRange {
    u64 from = 0;
    u64 to = 0;
    // Both rulers set: the range lies between them. `sign` is +1 when the left ruler is
    // the earlier one, else -1 (equal rulers included): a value difference taken as right
    // minus left, times sign, is the later value minus the earlier one.
    bool betweenRulers = false;
    double sign = 1.0;
};

// Between the rulers when both are set, in either order; else the shown interval.
AnalysisRange analysisRange(u64 leftRuler, u64 rightRuler, u64 shownFrom, u64 shownTo);

// Index of the first sample at or after t (the size when there is none). The caller
// holds the signal's samples lock.
std::size_t firstSampleAtOrAfter(const std::vector<Sample>& samples, u64 t);

// v in fixed-point notation with that many decimals ("%.*f"), whatever its size.
std::string fixedPoint(double v, int decimals = 6);

// "<message>.<signal>", or the signal's name alone when it has no message.
Glib::ustring messageAndSignalName(const Signal& signal);

} // namespace vistra
