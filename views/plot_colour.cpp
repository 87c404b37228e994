#include "views/plot_colour.h"

#include <gdkmm/rgba.h>

namespace vistra {

void setSourceColour(const Cairo::RefPtr<Cairo::Context>& cr, const Glib::ustring& colour, double alpha)
{
    Gdk::RGBA rgba;
    if (!rgba.set(colour))
        rgba.set_rgba(0.0, 0.0, 0.0);
    cr->set_source_rgba(rgba.get_red(), rgba.get_green(), rgba.get_blue(), alpha);
}

} // namespace vistra
