#pragma once
// A detail plot of 600 x 316 pixels in an offscreen window, with the helpers that wait for
// its renders.
#include "views/sub_plot.h"

#include "plot_fixture.h"
#include "views/plot_font.h"

#include <gtkmm/offscreenwindow.h>
#include <pangomm/layout.h>

#include <memory>

namespace vistra::test {

inline constexpr int kWidth = 600;
inline constexpr int kHeight = 316; // 300 rows of plot and the 16-row text row of font size 10

class SubPlotFixture : public PlotFixture {
protected:
    void show()
    {
        plotWidget = std::make_unique<SubPlot>();
        plotWidget->set_size_request(kWidth, kHeight);
        window = std::make_unique<Gtk::OffscreenWindow>();
        window->add(*plotWidget);
        window->show_all();
    }
    void TearDown() override
    {
        if (plotWidget) {
            window->remove();
            plotWidget.reset();
        }
        PlotFixture::TearDown();
    }
    // Runs the main loop until a render is complete and its image shows `hue`.
    bool shows(Hue h)
    {
        return pumpUntil([&] {
            return settled() && plotWidget->get_realized() && !plotWidget->renderPending() &&
                   count(snapshot(*plotWidget), h, 0, kHeight) > 0;
        });
    }
    // The height of a text box of the plot: the monospace font the machine resolves
    // decides it, so a test that looks for text measures it first.
    int textHeight(const char* text)
    {
        const auto layout = plotWidget->create_pango_layout(text);
        layout->set_font_description(plotTextFont());
        int w = 0;
        int h = 0;
        layout->get_pixel_size(w, h);
        return h;
    }
    GdkEvent* newEvent(GdkEventType type)
    {
        GdkEvent* e = gdk_event_new(type);
        e->any.window = GDK_WINDOW(g_object_ref(plotWidget->get_window()->gobj()));
        e->any.send_event = TRUE;
        GdkSeat* seat = gdk_display_get_default_seat(gdk_display_get_default());
        gdk_event_set_device(e, type == GDK_KEY_PRESS ? gdk_seat_get_keyboard(seat) : gdk_seat_get_pointer(seat));
        return e;
    }
    bool send(GdkEvent* e)
    {
        const bool handled = gtk_widget_event(GTK_WIDGET(plotWidget->gobj()), e);
        gdk_event_free(e);
        return handled;
    }

    void configure(int width = kWidth, int height = kHeight)
    {
        GdkEventConfigure event{};
        event.type = GDK_CONFIGURE;
        event.width = width;
        event.height = height;
        plotWidget->on_configure_event(&event);
    }

    // Synthesised input, delivered as GTK delivers it: through the widget's event signal.
    void press(guint button, double x, double y = 50, guint state = 0, GdkEventType type = GDK_BUTTON_PRESS)
    {
        GdkEvent* e = newEvent(type);
        e->button.button = button;
        e->button.x = x;
        e->button.y = y;
        e->button.state = state;
        send(e);
    }
    void release(guint button)
    {
        GdkEvent* e = newEvent(GDK_BUTTON_RELEASE);
        e->button.button = button;
        send(e);
    }
    void motion(double x, double y = 50)
    {
        GdkEvent* e = newEvent(GDK_MOTION_NOTIFY);
        e->motion.x = x;
        e->motion.y = y;
        send(e);
    }
    void scroll(GdkScrollDirection direction, double x, guint state = 0)
    {
        GdkEvent* e = newEvent(GDK_SCROLL);
        e->scroll.direction = direction;
        e->scroll.x = x;
        e->scroll.y = 50;
        e->scroll.state = state;
        send(e);
    }
    // True when the plot took the key.
    bool key(guint keyval, guint state = 0)
    {
        GdkEvent* e = newEvent(GDK_KEY_PRESS);
        e->key.keyval = keyval;
        e->key.state = state;
        return send(e);
    }

    std::unique_ptr<Gtk::OffscreenWindow> window; // made once a display is known to be there
    std::unique_ptr<SubPlot> plotWidget;
};

} // namespace vistra::test
