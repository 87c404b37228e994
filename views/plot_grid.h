#pragma once
// The background grid of the plots, in the "grid_color" setting.
#include <cairomm/context.h>

namespace vistra {

// Lines every `step` pixels across and down, `lineWidth` wide.
void drawPlotGrid(const Cairo::RefPtr<Cairo::Context>& cr, int width, int height, int step, double lineWidth);

} // namespace vistra
