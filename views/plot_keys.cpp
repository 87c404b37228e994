#include "views/plot_keys.h"

#include <gdk/gdk.h>

namespace vistra {
namespace {

// Everything but Lock and Mod2 (Caps Lock and Num Lock on common layouts): a key with any
// of these is not plain.
constexpr unsigned kNotPlain = GDK_SHIFT_MASK | GDK_CONTROL_MASK | GDK_MOD1_MASK | GDK_MOD3_MASK | GDK_MOD4_MASK |
                               GDK_MOD5_MASK | GDK_SUPER_MASK | GDK_HYPER_MASK | GDK_META_MASK | GDK_BUTTON1_MASK |
                               GDK_BUTTON2_MASK | GDK_BUTTON3_MASK | GDK_BUTTON4_MASK | GDK_BUTTON5_MASK |
                               GDK_RELEASE_MASK;

} // namespace

PlotKey plotKeyAction(unsigned keyval, unsigned state)
{
    const bool plain = (state & kNotPlain) == 0;
    const bool control = (state & GDK_CONTROL_MASK) != 0;
    const bool alt = (state & GDK_MOD1_MASK) != 0;
    switch (gdk_keyval_to_lower(keyval)) {
    case GDK_KEY_a:
        return control ? PlotKey::ExportAsc : PlotKey::None;
    case GDK_KEY_c:
        return control ? PlotKey::Copy : PlotKey::None;
    case GDK_KEY_d:
        return plain ? PlotKey::ToggleDelta : PlotKey::None;
    case GDK_KEY_t:
        return plain ? PlotKey::TogglePrettyTime : PlotKey::None;
    case GDK_KEY_x:
        return alt ? PlotKey::Uncrop : PlotKey::None;
    case GDK_KEY_z:
        return alt ? PlotKey::Crop : PlotKey::None;
    case GDK_KEY_Escape:
        return PlotKey::DeleteRulers;
    case GDK_KEY_Left:
        return plain ? PlotKey::PanEarlier : PlotKey::None;
    case GDK_KEY_Right:
        return plain ? PlotKey::PanLater : PlotKey::None;
    case GDK_KEY_Up:
        return plain ? PlotKey::ZoomIn : PlotKey::None;
    case GDK_KEY_Down:
        return plain ? PlotKey::ZoomOut : PlotKey::None;
    default:
        return PlotKey::None;
    }
}

} // namespace vistra
