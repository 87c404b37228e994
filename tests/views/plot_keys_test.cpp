#include "views/plot_keys.h"

#include <gdk/gdk.h>
#include <gtest/gtest.h>

namespace vistra {
namespace {

TEST(PlotKeys, ModifiersDecideAndLockKeysDoNotCount)
{
    struct Case {
        unsigned keyval, state;
        PlotKey want;
    };
    const unsigned ctrl = GDK_CONTROL_MASK, shift = GDK_SHIFT_MASK, alt = GDK_MOD1_MASK;
    const unsigned caps = GDK_LOCK_MASK, num = GDK_MOD2_MASK;
    const Case cases[] = {
        {GDK_KEY_a, ctrl, PlotKey::ExportAsc},
        {GDK_KEY_A, ctrl | shift, PlotKey::ExportAsc}, // only Control is asked for
        {GDK_KEY_a, 0, PlotKey::None},
        {GDK_KEY_c, ctrl, PlotKey::Copy},
        {GDK_KEY_c, 0, PlotKey::None}, // a plain C is the main window's colour mode
        {GDK_KEY_d, 0, PlotKey::ToggleDelta},
        {GDK_KEY_D, caps, PlotKey::ToggleDelta}, // Caps Lock gives the upper case
        {GDK_KEY_D, shift, PlotKey::None},
        {GDK_KEY_d, GDK_MOD4_MASK, PlotKey::None},
        {GDK_KEY_t, num, PlotKey::TogglePrettyTime},
        {GDK_KEY_t, GDK_BUTTON1_MASK, PlotKey::None}, // while dragging a ruler
        {GDK_KEY_x, alt, PlotKey::Uncrop},
        {GDK_KEY_x, 0, PlotKey::None},
        {GDK_KEY_Z, alt | shift, PlotKey::Crop},
        {GDK_KEY_Escape, ctrl | shift, PlotKey::DeleteRulers},
        {GDK_KEY_Left, caps | num, PlotKey::PanEarlier},
        {GDK_KEY_Left, shift, PlotKey::None},
        {GDK_KEY_Right, 0, PlotKey::PanLater},
        {GDK_KEY_Up, 0, PlotKey::ZoomIn},
        {GDK_KEY_Down, 0, PlotKey::ZoomOut},
        {GDK_KEY_Down, ctrl, PlotKey::None},
        {GDK_KEY_b, 0, PlotKey::None},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << gdk_keyval_name(c.keyval) << " state " << c.state);
        EXPECT_EQ(plotKeyAction(c.keyval, c.state), c.want);
    }
}

} // namespace
} // namespace vistra
