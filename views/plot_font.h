#pragma once
// The font of the plots' texts: bold monospace in the "font_size" setting.
#include <pangomm/fontdescription.h>

namespace vistra {

Pango::FontDescription plotTextFont();

} // namespace vistra
