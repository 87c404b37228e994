#include "views/work_area.h"

#include <gdkmm/display.h>
#include <gdkmm/monitor.h>
#include <gtkmm/window.h>

namespace vistra {

Gdk::Rectangle workAreaOf(Gtk::Window* window)
{
    Gdk::Rectangle area;
    auto display = Gdk::Display::get_default();
    if (!display)
        return area;
    Glib::RefPtr<Gdk::Monitor> monitor;
    if (window && window->get_window())
        monitor = display->get_monitor_at_window(window->get_window());
    if (!monitor)
        monitor = display->get_primary_monitor();
    if (!monitor && display->get_n_monitors() > 0)
        monitor = display->get_monitor(0);
    if (monitor)
        monitor->get_workarea(area);
    return area;
}

} // namespace vistra
