#pragma once
// What the window tests read off the screen.
#include <gdkmm/pixbuf.h>
#include <gdkmm/rgba.h>
#include <gtkmm/widget.h>

#include <cstdlib>

namespace vistra::test {

// Pixels of the widget's on-screen area within a small distance of `colour`.
inline int pixelsOfColour(Gtk::Widget& widget, const Gdk::RGBA& colour, Glib::RefPtr<Gdk::Pixbuf>* shot)
{
    auto gdkWindow = widget.get_window();
    const Gtk::Allocation area = widget.get_allocation();
    if (!gdkWindow || area.get_width() <= 0 || area.get_height() <= 0)
        return 0;
    // A widget with a window of its own starts at that window's origin; one without sits
    // at its allocation within its parent's window.
    const int x = widget.get_has_window() ? 0 : area.get_x();
    const int y = widget.get_has_window() ? 0 : area.get_y();
    auto pixbuf = Gdk::Pixbuf::create(gdkWindow, x, y, area.get_width(), area.get_height());
    if (!pixbuf)
        return 0;
    if (shot)
        *shot = pixbuf;
    const int want[3] = {colour.get_red_u() >> 8, colour.get_green_u() >> 8, colour.get_blue_u() >> 8};
    int count = 0;
    for (int y = 0; y < pixbuf->get_height(); ++y) {
        const guint8* row = pixbuf->get_pixels() + y * pixbuf->get_rowstride();
        for (int x = 0; x < pixbuf->get_width(); ++x) {
            const guint8* p = row + x * pixbuf->get_n_channels();
            if (std::abs(p[0] - want[0]) <= 24 && std::abs(p[1] - want[1]) <= 24 && std::abs(p[2] - want[2]) <= 24)
                ++count;
        }
    }
    return count;
}

} // namespace vistra::test
