#pragma once
// What the histogram window shows, computed without a widget: how long a signal stayed in
// each of a number of equal value bins over a time range, and the clipboard table of it.
#include "core/signal.h"
#include "core/types.h"

#include <glibmm/ustring.h>

#include <cfloat>
#include <cstddef>
#include <string>
#include <vector>

namespace vistra {

struct HistogramCounts {
    std::vector<u64> bins; // ms counted into each bin
    u64 totalTime = 0;     // the sum of all bins, ms
    double maxBin = 0.0;   // the largest bin, ms
    // The value range of the counted samples; the extremes of the type when none counted.
    double maxValue = -DBL_MAX;
    double minValue = DBL_MAX;

    bool rangeFound() const { return maxValue != -DBL_MAX && minValue != DBL_MAX; }
    double binWidth() const { return (maxValue - minValue) / static_cast<double>(bins.size()); }
};

// The samples in [from, to] whose value lies within [low, high] are counted: each adds
// the time since the sample before it in the signal to its bin. That earlier sample may lie
// before `from` (whatever its value) or be one outside the limits before it; the very first
// sample of the signal adds 0. Bin i takes the values above the upper edge of bin i-1 up
// to its own upper edge minValue + (i+1) * binWidth; the last bin takes the rest. Long gaps
// count in full. With 0 bins nothing is counted. Walks only the samples of the range; the
// caller holds the samples lock.
HistogramCounts countHistogram(const std::vector<Sample>& samples, u64 from, u64 to, std::size_t binCount,
                               double low, double high);

// The bin of v: the first whose upper edge is at least v, the last when none is. Found by
// arithmetic, then moved to the exact edge test. binCount > 0.
std::size_t histogramBin(double v, double minValue, double binWidth, std::size_t binCount);

// "From (u)\tTo (u)\tFrom/To (u)\t%" and, when anything was counted, one line per bin:
// its lower and upper edge, both rounded to two decimals, and its share of the total time
// in percent.
std::string histogramTable(const HistogramCounts& counts, const Glib::ustring& unit);

} // namespace vistra
