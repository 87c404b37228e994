#pragma once
// Colour texts of the settings and signals ("#eded33333b3b") as Cairo sources.
#include <cairomm/context.h>
#include <glibmm/ustring.h>

namespace vistra {

// An unreadable text gives black.
void setSourceColour(const Cairo::RefPtr<Cairo::Context>& cr, const Glib::ustring& colour, double alpha);

} // namespace vistra
