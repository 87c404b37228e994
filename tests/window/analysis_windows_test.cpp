// The main window's histogram and statistics windows: opened through the window, closed
// by its reload.
#include "window/analysis_windows.h"

#include "core/settings.h"
#include "gui_fixture.h"
#include "views/dialog_runner.h"
#include "window/menu_icon_item.h"
#include "window/window.h"

#include <gtkmm/dialog.h>

namespace vistra::test {
namespace {

class MainAnalysisWindowsTest : public StoreFixture {
protected:
    MainAnalysisWindowsTest()
    {
        Settings::instance()->setVsdFile("./dummy");
        Settings::instance()->setDbFile(dbcPath);
        setDialogRunner([](Gtk::Dialog&) { return int(Gtk::RESPONSE_CANCEL); });
    }
    ~MainAnalysisWindowsTest() override
    {
        closeAnalysisWindows();
        setDialogRunner(nullptr);
        Settings::instance()->setDbFile("./dummy");
    }

    Window& window = Window::instance();
};

TEST_F(MainAnalysisWindowsTest, ShowStatsOpensOneWindowPerSignalAndAReloadClosesEveryWindow)
{
    auto speed = store.findSignal("Can.Body.Speed");
    window.showStats(speed);
    window.showStats(speed);
    EXPECT_EQ(openStatWindows().size(), 1u);
    openHistWindows().openWindow(speed);
    openStatWindows().openWindow(store.findSignal("Can.motor.rpm"));
    ASSERT_EQ(openStatWindows().size(), 2u);

    window.reload(true);
    EXPECT_TRUE(pumpUntil([] { return openStatWindows().size() + openHistWindows().size() == 0; }, 2000));
}

TEST_F(MainAnalysisWindowsTest, PopupItemsOpenTheHistogramAndTheStatisticsOfTheirTarget)
{
    window.reload(true);
    const auto rpm = store.findSignal("Can.motor.rpm");
    ASSERT_TRUE(window.prepareSignalMenu(rpm));
    window.popupItem(PopupSignal, PopupHistogram).activate();
    window.popupItem(PopupSignal, PopupShowStats).activate();
    ASSERT_TRUE(window.preparePlotMenu(rpm));
    window.popupItem(PopupPlot, PopupHistogram).activate();
    ASSERT_EQ(openHistWindows().size(), 1u);
    ASSERT_EQ(openStatWindows().size(), 1u);
    EXPECT_EQ(openHistWindows().find(rpm->fullName)->get_title(), "motor.rpm");
    EXPECT_EQ(openStatWindows().find(rpm->fullName)->get_title(), "motor.rpm Statistics");
}

} // namespace
} // namespace vistra
