#include "window/window_keys.h"

#include <gdk/gdk.h>

namespace vistra {

WindowKeyMatch windowKeyPress(unsigned keyval, unsigned state)
{
    const bool control = (state & GDK_CONTROL_MASK) != 0;
    const bool alt = (state & GDK_MOD1_MASK) != 0;
    const bool none = (state & (GDK_SHIFT_MASK | GDK_CONTROL_MASK | GDK_MOD1_MASK)) == 0;
    auto handled = [](WindowKey k) { return WindowKeyMatch{k, true}; };
    auto passing = [](WindowKey k) { return WindowKeyMatch{k, false}; };
    switch (gdk_keyval_to_lower(keyval)) {
    case GDK_KEY_F1:
        return handled(WindowKey::ShowHelp);
    case GDK_KEY_F2:
        return handled(WindowKey::ChangeTitle);
    case GDK_KEY_F5:
        return handled(WindowKey::UpdateSignals);
    case GDK_KEY_F11:
        return handled(WindowKey::ToggleFullscreen);
    case GDK_KEY_F12:
        return handled(WindowKey::ToggleListPane);
    case GDK_KEY_c:
        return none ? passing(WindowKey::ColorMode) : WindowKeyMatch{};
    case GDK_KEY_d:
        return control ? handled(WindowKey::OpenLogDirectories) : WindowKeyMatch{};
    case GDK_KEY_f:
        if (control)
            return handled(WindowKey::FocusSearch);
        return none ? passing(WindowKey::FindMode) : WindowKeyMatch{};
    case GDK_KEY_h:
        return none ? passing(WindowKey::HideMode) : WindowKeyMatch{};
    case GDK_KEY_l:
        return control ? handled(WindowKey::LoadVsdFile) : WindowKeyMatch{};
    case GDK_KEY_n:
        return control ? handled(WindowKey::ConnectLive) : WindowKeyMatch{};
    case GDK_KEY_o:
        return control ? handled(WindowKey::OpenLogFiles) : WindowKeyMatch{};
    case GDK_KEY_r:
        if (control)
            return handled(WindowKey::Reload);
        return alt ? handled(WindowKey::RestoreSelection) : WindowKeyMatch{};
    case GDK_KEY_s:
        if (alt)
            return handled(WindowKey::StoreSelection);
        return none ? passing(WindowKey::StatsMode) : WindowKeyMatch{};
    default:
        return {};
    }
}

WindowKey windowKeyRelease(unsigned keyval)
{
    switch (gdk_keyval_to_lower(keyval)) {
    case GDK_KEY_c:
        return WindowKey::ColorMode;
    case GDK_KEY_f:
        return WindowKey::FindMode;
    case GDK_KEY_h:
        return WindowKey::HideMode;
    case GDK_KEY_s:
        return WindowKey::StatsMode;
    default:
        return WindowKey::None;
    }
}

} // namespace vistra
