#pragma once
// Where the histogram widget draws: its bars, the five ticks of its value axis and the
// bin whose value the pointer reads out.
#include <array>
#include <cstddef>
#include <optional>

namespace vistra {

struct HistogramLayout {
    double gap = 0.0;      // before each bar, pixels
    double barWidth = 0.0; // pixels
    double scale = 0.0;    // bar height in pixels per ms
};

// Bars and their gaps fill the width between the margins; the largest bin, divided by the
// vertical zoom, reaches the top margin. No bins, or bins that counted nothing, give a
// layout of zeros where the division would have no result.
HistogramLayout histogramLayout(double width, double height, double margin, std::size_t binCount, double maxBin,
                                double zoom);

// x of the five ticks: quarter steps from 10 pixels in, in whole pixels.
std::array<double, 5> axisTicks(double width);

// The bin under pointer x: the first left of the bars, the last right of them; none
// without bins.
std::optional<std::size_t> binUnderPointer(double pointerX, const HistogramLayout& layout, double margin,
                                           std::size_t binCount);

} // namespace vistra
