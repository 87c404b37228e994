#include "views/statistics_values.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>

namespace vistra {

StatisticsValues computeStatistics(const std::vector<Sample>& samples, u64 leftRuler, u64 rightRuler,
                                   u64 shownFrom, u64 shownTo, double low, double high)
{
    StatisticsValues stats;
    stats.range = analysisRange(leftRuler, rightRuler, shownFrom, shownTo);
    stats.leftRuler = leftRuler;
    stats.rightRuler = rightRuler;
    stats.leftSet = rulerSet(leftRuler);
    stats.rightSet = rulerSet(rightRuler);
    // Each ruler's value is looked up on its own: it may lie outside the range walked below.
    if (stats.leftSet) {
        const std::size_t k = firstSampleAtOrAfter(samples, leftRuler);
        if (k < samples.size())
            stats.leftValue = samples[k].value;
    }
    if (stats.rightSet) {
        const std::size_t k = firstSampleAtOrAfter(samples, rightRuler);
        if (k > 0)
            stats.rightValue = samples[k - 1].value;
    }

    const u64 from = stats.range.from;
    const u64 to = stats.range.to;
    const std::size_t start = firstSampleAtOrAfter(samples, from);
    const std::size_t n = samples.size();
    auto counted = [&](const Sample& s) { return low <= s.value && s.value <= high; };

    const Sample* previous = nullptr;
    for (std::size_t k = start; k < n && samples[k].time <= to; ++k) {
        const Sample& s = samples[k];
        if (!counted(s))
            continue;
        stats.min = std::min(stats.min, s.value);
        stats.max = std::max(stats.max, s.value);
        if (previous) {
            const double dt = static_cast<double>(s.time - previous->time);
            if (dt < kStatisticsGapMs) {
                stats.totalTime += dt;
                stats.integral += previous->value * dt;
            }
        }
        previous = &s;
        stats.hasData = true;
    }
    if (!stats.hasData || stats.totalTime == 0.0)
        return stats;

    const double average = stats.integral / stats.totalTime;
    stats.average = average;
    u64 count = 0;
    double sumSq = 0.0;
    for (std::size_t k = start; k < n && samples[k].time <= to; ++k) {
        if (!counted(samples[k]))
            continue;
        ++count;
        sumSq += (samples[k].value - average) * (samples[k].value - average);
    }
    if (count > 1)
        stats.deviation = std::sqrt(sumSq / static_cast<double>(count - 1));
    return stats;
}

StatisticsTexts statisticsTexts(const StatisticsValues& stats, std::size_t timeUnit,
                                const std::function<std::string(u64 time, bool absolute)>& formatTime)
{
    static constexpr double kPerMs[] = {0.001, 1.6666666666666667e-5, 2.7777777777777776e-7};
    StatisticsTexts texts;
    texts.values.fill("-");
    texts.leftRelative = "(-)";
    texts.rightRelative = "(-)";
    if (!stats.hasData)
        return texts;
    if (stats.leftSet) {
        texts.values[0] = formatTime(stats.leftRuler, true);
        texts.leftRelative = "(" + formatTime(stats.leftRuler, false) + ")";
        texts.values[3] = fixedPoint(stats.leftValue);
    }
    if (stats.rightSet) {
        texts.values[1] = formatTime(stats.rightRuler, true);
        texts.rightRelative = "(" + formatTime(stats.rightRuler, false) + ")";
        texts.values[4] = fixedPoint(stats.rightValue);
    }
    char span[32];
    std::snprintf(span, sizeof span, "%" PRIu64, (stats.range.to - stats.range.from) / 1000);
    texts.values[2] = span;
    if (stats.leftSet && stats.rightSet)
        texts.values[5] = fixedPoint((stats.rightValue - stats.leftValue) * stats.range.sign);
    texts.values[6] = fixedPoint(stats.min);
    texts.values[7] = fixedPoint(stats.max);
    if (stats.average)
        texts.values[8] = fixedPoint(*stats.average);
    if (stats.deviation)
        texts.values[9] = fixedPoint(*stats.deviation);
    texts.values[10] = fixedPoint(stats.integral * kPerMs[timeUnit < 3 ? timeUnit : 2]);
    return texts;
}

} // namespace vistra
