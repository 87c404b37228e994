#include "views/statistics_values.h"

#include <gtest/gtest.h>

#include <cfloat>

namespace vistra {
namespace {

constexpr u64 kUnset = kNoTime;

struct StatsCase {
    const char* name;
    std::vector<Sample> samples;
    u64 left, right, from, to;
    double low, high;
    // The value column, rows 0 to 10 (integral in h).
    std::array<std::string, 11> values;
};

// Times as "A<ms>" (absolute) and "R<ms>" (relative), so that the rows show which time
// they took.
std::string fakeTime(u64 t, bool absolute) { return (absolute ? "A" : "R") + std::to_string(t); }

TEST(StatisticsValuesTest, RowsFollowTheRulersTheLimitsAndTheGaps)
{
    const std::vector<Sample> ramp = {{1000, 1}, {2000, 3}, {3000, 5}, {4000, 100}};
    const std::vector<StatsCase> cases = {
        {"no rulers: the shown interval with both ends", ramp, kUnset, kUnset, 1000, 3000, -DBL_MAX, DBL_MAX,
         {"-", "-", "2", "-", "-", "-", "1.000000", "5.000000", "2.000000", "2.345208", "0.001111"}},
        {"left ruler after the right one: [R, L], delta = value at L - value at R", ramp, 3000, 1500, 0, 9000,
         -DBL_MAX, DBL_MAX,
         {"A3000", "A1500", "1", "5.000000", "1.000000", "4.000000", "3.000000", "5.000000", "3.000000",
          "2.000000", "0.000833"}},
        {"equal rulers: that millisecond; a sample at L counts for L, the one at R does not", ramp, 2000, 2000, 0,
         9000, -DBL_MAX, DBL_MAX,
         {"A2000", "A2000", "0", "3.000000", "1.000000", "2.000000", "3.000000", "3.000000", "-", "-",
          "0.000000"}},
        {"rulers in order", ramp, 1000, 3000, 0, 9000, -DBL_MAX, DBL_MAX,
         {"A1000", "A3000", "2", "1.000000", "3.000000", "2.000000", "1.000000", "5.000000", "2.000000",
          "2.345208", "0.001111"}},
        {"a step of 10000 ms is a gap, one of 9999 ms counts", {{0, 1}, {10000, 2}, {19999, 4}}, kUnset, kUnset, 0,
         20000, -DBL_MAX, DBL_MAX,
         {"-", "-", "20", "-", "-", "-", "1.000000", "4.000000", "2.000000", "1.581139", "0.005555"}},
        {"one sample: no average, no deviation, integral 0", {{1000, 7}}, kUnset, kUnset, 0, 5000, -DBL_MAX,
         DBL_MAX, {"-", "-", "5", "-", "-", "-", "7.000000", "7.000000", "-", "-", "0.000000"}},
        {"two samples: the deviation divides by 1", {{0, 1}, {1000, 3}}, kUnset, kUnset, 0, 5000, -DBL_MAX, DBL_MAX,
         {"-", "-", "5", "-", "-", "-", "1.000000", "3.000000", "1.000000", "2.000000", "0.000278"}},
        {"samples outside the limits are left out, the chain goes on", {{0, 1}, {500, 50}, {1000, 3}}, kUnset,
         kUnset, 0, 5000, 0, 10,
         {"-", "-", "5", "-", "-", "-", "1.000000", "3.000000", "1.000000", "2.000000", "0.000278"}},
        {"a right ruler alone after the shown interval: the last sample before it",
         {{0, 1}, {1000, 2}, {5000, 8}, {6000, 9}}, kUnset, 7000, 0, 2000, -DBL_MAX, DBL_MAX,
         {"-", "A7000", "2", "-", "9.000000", "-", "1.000000", "2.000000", "1.000000", "1.000000", "0.000278"}},
        {"a left ruler alone after the shown interval: the first sample at or after it",
         {{0, 1}, {1000, 2}, {5000, 8}}, 3000, kUnset, 0, 2000, -DBL_MAX, DBL_MAX,
         {"A3000", "-", "2", "8.000000", "-", "-", "1.000000", "2.000000", "1.000000", "1.000000", "0.000278"}},
        {"no samples: every value missing", {}, 1000, 2000, 0, 5000, -DBL_MAX, DBL_MAX,
         {"-", "-", "-", "-", "-", "-", "-", "-", "-", "-", "-"}},
        {"samples, none in range", ramp, kUnset, kUnset, 5000, 6000, -DBL_MAX, DBL_MAX,
         {"-", "-", "-", "-", "-", "-", "-", "-", "-", "-", "-"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const StatisticsValues stats = computeStatistics(c.samples, c.left, c.right, c.from, c.to, c.low, c.high);
        const StatisticsTexts texts = statisticsTexts(stats, 2, fakeTime);
        EXPECT_EQ(texts.values, c.values);
        EXPECT_EQ(texts.leftRelative, texts.values[0] == "-" ? "(-)" : "(R" + std::to_string(c.left) + ")");
        EXPECT_EQ(texts.rightRelative, texts.values[1] == "-" ? "(-)" : "(R" + std::to_string(c.right) + ")");
    }
}

TEST(StatisticsValuesTest, IntegralOfOneOverAnHourInEachTimeUnit)
{
    std::vector<Sample> samples;
    for (u64 t = 0; t <= 3600; ++t)
        samples.push_back({t * 1000, 1.0});
    const StatisticsValues stats = computeStatistics(samples, kUnset, kUnset, 0, 3600000, -DBL_MAX, DBL_MAX);
    EXPECT_EQ(statisticsTexts(stats, 0, fakeTime).values[10], "3600.000000");
    EXPECT_EQ(statisticsTexts(stats, 1, fakeTime).values[10], "60.000000");
    EXPECT_EQ(statisticsTexts(stats, 2, fakeTime).values[10], "1.000000");
    EXPECT_EQ(statisticsTexts(stats, 2, fakeTime).values[2], "3600");
}

} // namespace
} // namespace vistra
