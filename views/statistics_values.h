#pragma once
// What the statistics window shows, computed without a widget: the values at the rulers,
// minimum, maximum, time-weighted average, standard deviation and integral of a signal
// over a range, and the texts of the window's value column.
#include "core/signal.h"
#include "core/types.h"
#include "views/analysis_range.h"

#include <array>
#include <cfloat>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vistra {

// Steps between counted samples of this many ms or more are gaps: they add nothing to the
// total time or the integral.
inline constexpr double kStatisticsGapMs = 10000.0;

struct StatisticsValues {
    AnalysisRange range;
    u64 leftRuler = kNoTime;
    u64 rightRuler = kNoTime;
    bool leftSet = false;
    bool rightSet = false;
    // The value of the first sample at or after the left ruler and of the last sample
    // before the right ruler, whatever the limits; 0.0 when there is none.
    double leftValue = 0.0;
    double rightValue = 0.0;
    bool hasData = false; // a sample of the range lies within the limits
    double min = DBL_MAX;
    double max = -DBL_MAX;
    double totalTime = 0.0; // ms, gaps left out
    double integral = 0.0;  // value x ms: each value held until the next counted sample
    std::optional<double> average;
    std::optional<double> deviation; // sample standard deviation (n - 1)
};

// The range is the rulers' when both are set, else [shownFrom, shownTo], both ends
// included; samples outside [low, high] are left out as if absent. Walks only the samples
// of the range; the caller holds the samples lock.
StatisticsValues computeStatistics(const std::vector<Sample>& samples, u64 leftRuler, u64 rightRuler,
                                   u64 shownFrom, u64 shownTo, double low, double high);

// The integral's time units, in the order the window's unit button steps through them.
inline constexpr std::array<const char*, 3> kTimeUnitNames{"s", "min", "h"};

// The value column of the window's rows 0-10 and the bracketed relative times that stand
// beside the ruler times; "-" for what is missing. `formatTime(t, absolute)` writes a time
// as the Store does (absolute with the date, or relative to the data's first time).
struct StatisticsTexts {
    std::array<std::string, 11> values;
    std::string leftRelative;
    std::string rightRelative;
};
StatisticsTexts statisticsTexts(const StatisticsValues& stats, std::size_t timeUnit,
                                const std::function<std::string(u64 time, bool absolute)>& formatTime);

} // namespace vistra
