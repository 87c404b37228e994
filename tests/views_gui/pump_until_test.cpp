// The GUI tests wait with pumpUntil while they read pixels off the screen; under the
// sanitizers one reading takes longer than the pump's own wake-up tick. GTK's layout and
// painting, which run below the default priority, must still get their turn meanwhile.
#include "test_helpers.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <gtkmm/drawingarea.h>
#include <gtkmm/main.h>
#include <gtkmm/window.h>

#include <chrono>
#include <thread>

namespace vistra {
namespace {

class ConfigureCounter : public Gtk::DrawingArea {
public:
    int configures = 0;

    bool on_configure_event(GdkEventConfigure*) override
    {
        ++configures;
        return true;
    }
};

TEST(PumpUntil, SlowConditionStillLetsAQueuedResizeReachTheWidget)
{
    ASSERT_TRUE(gtk_init_check(nullptr, nullptr)) << "GTK cannot open the display";
    Gtk::Main::init_gtkmm_internals();
    Gtk::Window window;
    ConfigureCounter area;
    window.add(area);
    window.set_default_size(200, 100);
    window.show_all();
    ASSERT_TRUE(test::pumpUntil([&] { return area.configures > 0; }, 5000));

    // The plots re-render through exactly this: a resize queued on the widget, answered
    // by a configure event in GTK's next layout pass.
    const int before = area.configures;
    area.queue_resize();
    const bool configured = test::pumpUntil(
        [&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            return area.configures > before;
        },
        3000);
    EXPECT_TRUE(configured) << "the layout pass never ran while the pump waited";
    window.hide();
}

} // namespace
} // namespace vistra
