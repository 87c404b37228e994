#include "views/plot_grid.h"

#include "core/settings.h"
#include "views/plot_colour.h"

namespace vistra {

void drawPlotGrid(const Cairo::RefPtr<Cairo::Context>& cr, int width, int height, int step, double lineWidth)
{
    cr->save();
    cr->set_line_width(lineWidth);
    setSourceColour(cr, Settings::instance()->getGridColor(), 1.0);
    for (int x = step; x < width; x += step) {
        cr->move_to(x, 0);
        cr->line_to(x, height);
    }
    for (int y = step; y < height; y += step) {
        cr->move_to(0, y);
        cr->line_to(width, y);
    }
    cr->stroke();
    cr->restore();
}

} // namespace vistra
