#include "views/histogram_layout.h"

#include <algorithm>
#include <cmath>

namespace vistra {

HistogramLayout histogramLayout(double width, double height, double margin, std::size_t binCount, double maxBin,
                                double zoom)
{
    HistogramLayout layout;
    if (binCount == 0)
        return layout;
    const double bins = static_cast<double>(binCount);
    const double usable = width - 2.0 * margin;
    layout.gap = 0.1 * usable / bins;
    layout.barWidth = (usable - (bins + 1.0) * layout.gap) / bins;
    if (maxBin > 0.0 && zoom > 0.0)
        layout.scale = (height - 2.0 * margin - 20.0) / (maxBin * zoom);
    return layout;
}

std::array<double, 5> axisTicks(double width)
{
    // Each step is the same whole number of pixels; a narrow widget puts them together.
    const double step = std::floor(std::max(0.0, (width - 20.0) * 0.25));
    std::array<double, 5> ticks{};
    for (std::size_t k = 0; k < ticks.size(); ++k)
        ticks[k] = 10.0 + static_cast<double>(k) * step;
    return ticks;
}

std::optional<std::size_t> binUnderPointer(double pointerX, const HistogramLayout& layout, double margin,
                                           std::size_t binCount)
{
    if (binCount == 0)
        return std::nullopt;
    const double pitch = layout.gap + layout.barWidth;
    double i = std::trunc((pointerX - (margin + layout.gap)) / pitch);
    // Clamped as a double: the quotient may be NaN or far out of any integer's range.
    if (!(i > 0.0))
        i = 0.0;
    i = std::min(i, static_cast<double>(binCount - 1));
    return static_cast<std::size_t>(i);
}

} // namespace vistra
