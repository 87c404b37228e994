#include "views/histogram_counts.h"
#include "views/histogram_layout.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <random>
#include <sstream>

namespace vistra {
namespace {

struct CountCase {
    const char* name;
    std::vector<Sample> samples;
    u64 from, to;
    std::size_t binCount;
    double low, high;
    std::vector<u64> bins;
    u64 total;
};

TEST(HistogramCountsTest, CountsTheTimeSinceThePreviousSampleIntoTheBinOfTheValue)
{
    const std::vector<CountCase> cases = {
        {"constant signal: bin 0 takes all", {{0, 5}, {1000, 5}, {3000, 5}}, 0, 10000, 4, -DBL_MAX, DBL_MAX,
         {3000, 0, 0, 0}, 3000},
        {"0..10 in 10 bins: upper edges belong to their bin, the largest value to the last",
         {{0, 0}, {1000, 3.5}, {2000, 4}, {3000, 10}, {4000, 3}}, 0, 10000, 10, -DBL_MAX, DBL_MAX,
         {0, 0, 1000, 2000, 0, 0, 0, 0, 0, 1000}, 4000},
        {"the first sample in range counts the time since the sample before the range",
         {{0, 1}, {5000, 2}, {8000, 3}}, 4000, 10000, 2, -DBL_MAX, DBL_MAX, {5000, 3000}, 8000},
        {"a sample outside the limits is passed over without breaking the chain",
         {{0, 1}, {1000, 99}, {3000, 2}}, 0, 10000, 1, 0, 10, {3000}, 3000},
        {"a sample before the range moves the previous time whatever its value",
         {{0, 99}, {2000, 1}, {3000, 2}}, 500, 10000, 2, 0, 10, {2000, 1000}, 3000},
        {"both range ends are included; the very first sample adds 0",
         {{1000, 1}, {2000, 2}, {3000, 3}}, 1000, 2000, 1, -DBL_MAX, DBL_MAX, {1000}, 1000},
        {"0 bins count nothing", {{0, 1}, {1000, 2}}, 0, 10000, 0, -DBL_MAX, DBL_MAX, {}, 0},
        {"nothing in range", {{0, 1}, {1000, 2}}, 5000, 10000, 2, -DBL_MAX, DBL_MAX, {0, 0}, 0},
        {"every sample outside the limits", {{0, 20}, {1000, 30}}, 0, 10000, 2, 0, 10, {0, 0}, 0},
        {"no samples", {}, 0, 10000, 3, -DBL_MAX, DBL_MAX, {0, 0, 0}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const HistogramCounts counts = countHistogram(c.samples, c.from, c.to, c.binCount, c.low, c.high);
        EXPECT_EQ(counts.bins, c.bins);
        EXPECT_EQ(counts.totalTime, c.total);
        double largest = 0;
        for (u64 b : counts.bins)
            largest = std::max(largest, double(b));
        EXPECT_EQ(counts.maxBin, largest);
        if (c.total == 0) { // nothing counted: the header alone
            EXPECT_EQ(histogramTable(counts, "V"), "From (V)\tTo (V)\tFrom/To (V)\t%\n");
        }
    }
}

TEST(HistogramCountsTest, TableRowsGiveTheBinEdgesAndSharesThatAddUpTo100)
{
    const std::vector<Sample> samples = {{0, 0}, {1000, 3.5}, {2000, 4}, {3000, 10}, {4000, 3}, {4700, 7.25}};
    const std::string table = histogramTable(countHistogram(samples, 0, 10000, 10, -DBL_MAX, DBL_MAX), "km/h");
    std::istringstream lines(table);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "From (km/h)\tTo (km/h)\tFrom/To (km/h)\t%");
    std::vector<std::string> rows;
    double sum = 0;
    while (std::getline(lines, line)) {
        rows.push_back(line);
        sum += std::stod(line.substr(line.rfind('\t') + 1));
    }
    ASSERT_EQ(rows.size(), 10u);
    EXPECT_EQ(rows[3], "3.000000\t4.000000\t3.00 - 4.00\t42.553191"); // 2000 of 4700 ms
    EXPECT_EQ(rows[0], "0.000000\t1.000000\t0.00 - 1.00\t0.000000");
    EXPECT_NEAR(sum, 100.0, 1e-5);
    EXPECT_EQ(table.back(), '\n');

    // A constant signal: every row shows the same edges.
    const std::string constant = histogramTable(countHistogram({{0, 2}, {500, 2}}, 0, 1000, 3, -DBL_MAX, DBL_MAX), "");
    EXPECT_EQ(constant, "From ()\tTo ()\tFrom/To ()\t%\n"
                        "2.000000\t2.000000\t2.00 - 2.00\t100.000000\n"
                        "2.000000\t2.000000\t2.00 - 2.00\t0.000000\n"
                        "2.000000\t2.000000\t2.00 - 2.00\t0.000000\n");
}

// The bin found by arithmetic is the one the edge test gives when walked from bin 0.
TEST(HistogramCountsTest, ArithmeticBinEqualsTheEdgeTest)
{
    auto byEdges = [](double v, double min, double width, std::size_t n) {
        for (std::size_t i = 0; i + 1 < n; ++i)
            if (min + double(i + 1) * width >= v)
                return i;
        return n - 1;
    };
    std::mt19937_64 random(26);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int round = 0; round < 2000; ++round) {
        const std::size_t n = 1 + random() % 120;
        const double min = (unit(random) - 0.5) * std::pow(10.0, double(random() % 12) - 3);
        const double max = min + unit(random) * std::pow(10.0, double(random() % 12) - 6);
        const double width = (max - min) / double(n);
        std::vector<double> values = {min, max};
        for (std::size_t i = 0; i < n; ++i) { // every edge and its neighbours
            const double edge = min + double(i + 1) * width;
            values.insert(values.end(), {edge, std::nextafter(edge, -DBL_MAX), std::nextafter(edge, DBL_MAX)});
        }
        for (int k = 0; k < 20; ++k)
            values.push_back(min + unit(random) * (max - min));
        for (double v : values) {
            if (v < min || v > max)
                continue;
            ASSERT_EQ(histogramBin(v, min, width, n), byEdges(v, min, width, n))
                << "v=" << v << " min=" << min << " width=" << width << " n=" << n;
        }
    }
    EXPECT_EQ(histogramBin(3.0, 3.0, 0.0, 5), 0u);           // constant signal
    EXPECT_EQ(histogramBin(1e308, -1e308, INFINITY, 4), 0u); // a range beyond the doubles
}

TEST(HistogramLayoutTest, GeometryHasNoNaNAndFiveTicksAtAnyWidth)
{
    const HistogramLayout bars = histogramLayout(406, 426, 3, 10, 2000, 0.5);
    EXPECT_DOUBLE_EQ(bars.gap, 4.0);
    EXPECT_DOUBLE_EQ(bars.barWidth, 35.6);
    EXPECT_DOUBLE_EQ(bars.scale, 0.4); // (426 - 6 - 20) / (2000 * 0.5)

    for (const HistogramLayout& empty : {histogramLayout(400, 400, 3, 10, 0, 1), histogramLayout(400, 400, 3, 0, 0, 1)}) {
        EXPECT_EQ(empty.scale, 0.0);
        EXPECT_FALSE(std::isnan(empty.gap) || std::isnan(empty.barWidth));
    }
    EXPECT_EQ(axisTicks(420), (std::array<double, 5>{10, 110, 210, 310, 410}));
    EXPECT_EQ(axisTicks(63), (std::array<double, 5>{10, 20, 30, 40, 50}));
    EXPECT_EQ(axisTicks(23), (std::array<double, 5>{10, 10, 10, 10, 10}));
    EXPECT_EQ(axisTicks(0), (std::array<double, 5>{10, 10, 10, 10, 10}));

    EXPECT_EQ(binUnderPointer(0, bars, 3, 10), 0u);
    EXPECT_EQ(binUnderPointer(3 + 4 + 39.6 * 2 + 1, bars, 3, 10), 2u);
    EXPECT_EQ(binUnderPointer(1e300, bars, 3, 10), 9u);
    // A widget no wider than its margins has bars of pitch 0: the quotient is inf or NaN.
    EXPECT_EQ(binUnderPointer(50, HistogramLayout{}, 3, 10), 9u);
    EXPECT_EQ(binUnderPointer(3, HistogramLayout{}, 3, 10), 0u);
    EXPECT_EQ(binUnderPointer(50, bars, 3, 0), std::nullopt);
}

} // namespace
} // namespace vistra
