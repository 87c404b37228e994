#pragma once
// Shared set-up of the plot widget tests: a display, the Store's view window with known
// signals, plain colours, and helpers that run the main loop until painter results are
// in and read back what a widget draws.
#include "core/settings.h"
#include "core/signal.h"
#include "store/store.h"
#include "views/time_box.h"

#include <cairomm/surface.h>
#include <glibmm/main.h>
#include "test_helpers.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <gtkmm/main.h>
#include <gtkmm/widget.h>

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

namespace vistra::test {

inline constexpr u64 kT0 = 1'700'000'000'000;
inline constexpr u64 kSpan = 60'000; // the view window: one minute

// The colours of the test signals; the background is white.
enum Hue { None, Green, Blue, Magenta, Red, Grey, White, Other };

struct Pixel {
    int r, g, b;
};

inline Hue hue(Pixel p)
{
    auto high = [](int a, int b) { return a - b > 40; };
    if (p.r > 245 && p.g > 245 && p.b > 245)
        return White;
    if (high(p.g, p.r) && high(p.g, p.b))
        return Green;
    if (high(p.b, p.r) && high(p.b, p.g))
        return Blue;
    if (high(p.r, p.g) && high(p.b, p.g))
        return Magenta;
    if (high(p.r, p.g) && high(p.r, p.b))
        return Red;
    if (std::abs(p.r - p.g) < 8 && std::abs(p.g - p.b) < 8)
        return Grey;
    return Other;
}

class PlotFixture : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        displayReady = gtk_init_check(nullptr, nullptr);
        if (displayReady)
            Gtk::Main::init_gtkmm_internals();
    }

    void SetUp() override
    {
        ASSERT_TRUE(displayReady) << "GTK cannot open the display";
        Settings& settings = *Settings::instance();
        settings.setSplitView(true);
        settings.setShowDelta(false);
        settings.setPrettyTime(false);
        settings.setBgColor("#ffffffffffff");
        settings.setGridColor("#c0c0c0c0c0c0");
        settings.setRulerColor("#000000000000");
        settings.setRulerTransparency(1.0);
        Store& store = Store::instance();
        store.viewStart = kT0;
        store.viewEnd = kT0 + kSpan;
        store.firstTime = kT0;
        store.leftRuler = kNoTime;
        store.rightRuler = kNoTime;
        store.live = false;
        timeBox().from = 0;
        timeBox().to = 0;
        plot({});
    }

    void TearDown() override
    {
        if (!displayReady)
            return;
        plot({});
        drain();
        Store& store = Store::instance();
        store.viewStart = kNoTime;
        store.viewEnd = 0;
        store.leftRuler = kNoTime;
        store.rightRuler = kNoTime;
        store.live = false;
        timeBox().from = 0;
        timeBox().to = 0;
    }

    // A signal over the whole view window, one sample a second: `low` for ten seconds,
    // then `high` for ten, and so on; its view range is [0, 1] unless said otherwise.
    static std::shared_ptr<Signal> square(const char* name, const char* colour, double low = 0.0, double high = 1.0)
    {
        auto s = std::make_shared<Signal>(nullptr, name);
        s->fullName = name;
        s->colour = colour;
        s->enabled = true;
        s->loaded = true;
        s->hasData = true;
        for (u64 k = 0; k <= kSpan / 1000; ++k)
            s->samples.push_back({kT0 + k * 1000, (k / 10) % 2 ? high : low});
        s->setViewRange({0.0, 1.0});
        return s;
    }

    static std::vector<std::shared_ptr<Signal>> threeSignals()
    {
        return {square("A", "#0000ffff0000"), square("B", "#00000000ffff"), square("C", "#ffff0000ffff")};
    }

    static void plot(std::vector<std::shared_ptr<Signal>> signals)
    {
        Store& store = Store::instance();
        store.plotCount = static_cast<u32>(signals.size());
        store.setPlotSignals(std::move(signals));
    }

    // Runs what the main loop has ready.
    static void drain()
    {
        auto context = Glib::MainContext::get_default();
        while (context->pending())
            context->iteration(false);
    }

    // Nothing is waiting in the main loop: late configure events and dispatcher notices
    // (a loaded machine delivers them after the first image) have been handled.
    static bool settled() { return !Glib::MainContext::get_default()->pending(); }

    // What the widget draws now, on an opaque image of its size.
    // A size allocation still pending is made first (and renders, as the main loop would).
    static Cairo::RefPtr<Cairo::ImageSurface> snapshot(Gtk::Widget& widget)
    {
        gtk_container_check_resize(GTK_CONTAINER(gtk_widget_get_toplevel(widget.gobj())));
        auto surface = Cairo::ImageSurface::create(Cairo::FORMAT_RGB24, widget.get_allocated_width(),
                                                   widget.get_allocated_height());
        auto cr = Cairo::Context::create(surface);
        gtk_widget_draw(widget.gobj(), cr->cobj());
        surface->flush();
        return surface;
    }

    static Pixel at(const Cairo::RefPtr<Cairo::ImageSurface>& s, int x, int y)
    {
        const unsigned char* p = s->get_data() + y * s->get_stride() + x * 4;
        return {p[2], p[1], p[0]};
    }

    // How many pixels of rows [top, bottom) have the hue.
    static int count(const Cairo::RefPtr<Cairo::ImageSurface>& s, Hue h, int top, int bottom, int left = 0,
                     int right = -1)
    {
        if (right < 0)
            right = s->get_width();
        int n = 0;
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x)
                n += hue(at(s, x, y)) == h;
        return n;
    }

    static inline bool displayReady = false;
};

} // namespace vistra::test
