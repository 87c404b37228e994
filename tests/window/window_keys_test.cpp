#include "window/window_keys.h"

#include <gdk/gdk.h>
#include <gtest/gtest.h>

namespace vistra {
namespace {

TEST(WindowKeys, PressMatchesTheModifierOfEachKey)
{
    struct Case {
        unsigned keyval, state;
        WindowKey want;
        bool handled;
    };
    const unsigned ctrl = GDK_CONTROL_MASK, shift = GDK_SHIFT_MASK, alt = GDK_MOD1_MASK;
    const Case cases[] = {
        {GDK_KEY_F1, 0, WindowKey::ShowHelp, true},
        {GDK_KEY_F2, shift, WindowKey::ChangeTitle, true}, // function keys with any modifier
        {GDK_KEY_F5, ctrl, WindowKey::UpdateSignals, true},
        {GDK_KEY_F11, 0, WindowKey::ToggleFullscreen, true},
        {GDK_KEY_F12, 0, WindowKey::ToggleListPane, true},
        {GDK_KEY_c, 0, WindowKey::ColorMode, false}, // click modes pass the key on
        {GDK_KEY_C, GDK_LOCK_MASK, WindowKey::ColorMode, false},
        {GDK_KEY_C, shift, WindowKey::None, false},
        {GDK_KEY_c, GDK_MOD2_MASK | GDK_MOD4_MASK, WindowKey::ColorMode, false}, // only Shift, Ctrl, Alt count
        {GDK_KEY_d, ctrl, WindowKey::OpenLogDirectories, true},
        {GDK_KEY_d, 0, WindowKey::None, false}, // the plot's delta toggle
        {GDK_KEY_f, ctrl, WindowKey::FocusSearch, true},
        {GDK_KEY_f, 0, WindowKey::FindMode, false},
        {GDK_KEY_h, 0, WindowKey::HideMode, false},
        {GDK_KEY_h, ctrl, WindowKey::None, false},
        {GDK_KEY_l, ctrl, WindowKey::LoadVsdFile, true},
        {GDK_KEY_n, ctrl, WindowKey::ConnectLive, true},
        {GDK_KEY_O, ctrl | shift, WindowKey::OpenLogFiles, true},
        {GDK_KEY_r, ctrl | alt, WindowKey::Reload, true}, // Ctrl before Alt
        {GDK_KEY_r, alt, WindowKey::RestoreSelection, true},
        {GDK_KEY_r, 0, WindowKey::None, false},
        {GDK_KEY_s, alt, WindowKey::StoreSelection, true},
        {GDK_KEY_s, 0, WindowKey::StatsMode, false},
        {GDK_KEY_S, shift, WindowKey::None, false},
        {GDK_KEY_a, ctrl, WindowKey::None, false}, // the plot's export
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << gdk_keyval_name(c.keyval) << " state " << c.state);
        const WindowKeyMatch m = windowKeyPress(c.keyval, c.state);
        EXPECT_EQ(m.action, c.want);
        EXPECT_EQ(m.handled, c.handled);
    }
    EXPECT_EQ(windowKeyRelease(GDK_KEY_S), WindowKey::StatsMode);
    EXPECT_EQ(windowKeyRelease(GDK_KEY_h), WindowKey::HideMode);
    EXPECT_EQ(windowKeyRelease(GDK_KEY_d), WindowKey::None);
}

} // namespace
} // namespace vistra
