#include "views/histogram_counts.h"

#include "views/analysis_range.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vistra {

namespace {

double upperEdge(std::size_t i, double minValue, double binWidth)
{
    return minValue + static_cast<double>(i + 1) * binWidth;
}

} // namespace

std::size_t histogramBin(double v, double minValue, double binWidth, std::size_t binCount)
{
    const std::size_t last = binCount - 1;
    std::size_t i = 0;
    const double guess = std::ceil((v - minValue) / binWidth) - 1.0;
    if (guess >= static_cast<double>(last))
        i = last;
    else if (guess > 0.0) // NaN (a width of 0 or inf) starts at bin 0
        i = static_cast<std::size_t>(guess);
    // The quotient is rounded; the edges decide. The edges grow with i, so this ends at
    // the first bin whose upper edge is at least v.
    while (i > 0 && upperEdge(i - 1, minValue, binWidth) >= v)
        --i;
    while (i < last && !(upperEdge(i, minValue, binWidth) >= v))
        ++i;
    return i;
}

HistogramCounts countHistogram(const std::vector<Sample>& samples, u64 from, u64 to, std::size_t binCount,
                               double low, double high)
{
    HistogramCounts counts;
    counts.bins.assign(binCount, 0);
    const std::size_t start = firstSampleAtOrAfter(samples, from);
    const std::size_t n = samples.size();
    auto counted = [&](const Sample& s) { return low <= s.value && s.value <= high; };

    for (std::size_t k = start; k < n && samples[k].time <= to; ++k) {
        if (counted(samples[k])) {
            counts.maxValue = std::max(counts.maxValue, samples[k].value);
            counts.minValue = std::min(counts.minValue, samples[k].value);
        }
    }
    if (binCount == 0 || start == n)
        return counts;

    const double width = counts.binWidth();
    // Every sample before the range moves the previous time, so the walk may start at the
    // last of them.
    u64 previous = samples[start > 0 ? start - 1 : 0].time;
    for (std::size_t k = start; k < n && samples[k].time <= to; ++k) {
        const Sample& s = samples[k];
        if (!counted(s))
            continue;
        const u64 dt = s.time - previous;
        u64& bin = counts.bins[histogramBin(s.value, counts.minValue, width, binCount)];
        bin += dt;
        counts.totalTime += dt;
        counts.maxBin = std::max(counts.maxBin, static_cast<double>(bin));
        previous = s.time;
    }
    return counts;
}

std::string histogramTable(const HistogramCounts& counts, const Glib::ustring& unit)
{
    std::string table = "From (" + unit.raw() + ")\tTo (" + unit.raw() + ")\tFrom/To (" + unit.raw() + ")\t%\n";
    if (counts.totalTime == 0)
        return table;
    const double width = counts.binWidth();
    for (std::size_t i = 0; i < counts.bins.size(); ++i) {
        const double lo = static_cast<double>(i) * width + counts.minValue;
        const double hi = static_cast<double>(i + 1) * width + counts.minValue;
        const double share = static_cast<double>(counts.bins[i]) * 100.0 / static_cast<double>(counts.totalTime);
        table += fixedPoint(lo) + "\t" + fixedPoint(hi) + "\t" + fixedPoint(lo, 2) + " - " + fixedPoint(hi, 2) +
                 "\t" + fixedPoint(share) + "\n";
    }
    return table;
}

} // namespace vistra
