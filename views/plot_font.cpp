#include "views/plot_font.h"

#include "core/settings.h"

#include <string>

namespace vistra {

Pango::FontDescription plotTextFont()
{
    Pango::FontDescription font(std::to_string(Settings::instance()->getFontSize()));
    font.set_family("Monospace");
    font.set_weight(static_cast<Pango::Weight>(1000));
    return font;
}

} // namespace vistra
