// The GPS plot window as the main window's GPS menu opens it: the track of the current
// load drawn with its marks, following rulers, the visible interval and new data, zoomed
// by the wheel and reset by Escape, closed, and let go of by a reload.
#include "core/settings.h"
#include "gui_fixture.h"
#include "views/dialog_runner.h"
#include "views/time_box.h"
#include "virtual/gps_track.h"
#include "window/menu_icon_item.h"
#include "window/window.h"

#include <cairomm/context.h>
#include <cairomm/surface.h>
#include <gdk/gdkkeysyms.h>
#include <gtkmm/dialog.h>

#include <array>
#include <cstring>

namespace vistra::test {
namespace {

constexpr u64 kT0 = 1'700'000'000'000;
using Rgb = std::array<int, 3>;

constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kPaleGrey{217, 217, 217}; // 0.5 grey at 0.3 over white
constexpr Rgb kGrey{128, 128, 128};
constexpr Rgb kRedOverGrey{153, 102, 102}; // red at 0.2 over grey
constexpr Rgb kRed{255, 0, 0};
constexpr Rgb kLeftCircle{242, 140, 191}; // (0.9, 0.1, 0.5) at 0.5 over white

bool near(Rgb a, Rgb b)
{
    return std::abs(a[0] - b[0]) <= 3 && std::abs(a[1] - b[1]) <= 3 && std::abs(a[2] - b[2]) <= 3;
}

class GpsPlotWindowTest : public StoreFixture {
protected:
    GpsPlotWindowTest()
    {
        Settings::instance()->setVsdFile("./dummy");
        Settings::instance()->setDbFile(dbcPath);
        setDialogRunner([](Gtk::Dialog&) { return int(Gtk::RESPONSE_CANCEL); });
        window.reload(true);
        drainLog();
    }
    ~GpsPlotWindowTest() override
    {
        store.leftRuler = kNoTime;
        store.rightRuler = kNoTime;
        window.reload(true);
        setDialogRunner(nullptr);
        Settings::instance()->setDbFile("./dummy");
    }

    // Fixes a second apart from kT0 + first s, due east one after the other along one
    // latitude: the track is a line across the middle of the plot.
    void addFixes(u64 first, u64 count)
    {
        for (u64 i = first; i < first + count; ++i)
            window.gpsTrack->addTrackPoint(kT0 + i * 1000, 59.3, 18.1 + double(i) * 0.001, 20.0, 36.0);
        window.gpsTrack->hasData = true;
    }

    void openFromMenu()
    {
        for (Gtk::Widget* top : window.menuBar.get_children()) {
            auto* topItem = static_cast<Gtk::MenuItem*>(top);
            if (topItem->get_label() != "_GPS")
                continue;
            for (Gtk::Widget* child : topItem->get_submenu()->get_children()) {
                auto* item = dynamic_cast<MenuIconItem*>(child);
                if (item && item->label.get_label() == "Plot GPS track (beta)") {
                    EXPECT_TRUE(item->get_sensitive());
                    item->activate();
                    return;
                }
            }
        }
        FAIL() << "no item Plot GPS track (beta)";
    }

    GPSPlot& plot() { return window.gpsPlotWin.plot; }

    // Handles what the main loop has ready (dispatcher notices, resizes), then what the
    // plot draws on white, after the size allocation and render that may still be pending.
    Cairo::RefPtr<Cairo::ImageSurface> shot()
    {
        auto context = Glib::MainContext::get_default();
        for (int k = 0; k < 100 && context->pending(); ++k)
            context->iteration(false);
        gtk_container_check_resize(GTK_CONTAINER(window.gpsPlotWin.gobj()));
        auto surface = Cairo::ImageSurface::create(Cairo::FORMAT_RGB24, plot().get_allocated_width(),
                                                   plot().get_allocated_height());
        auto cr = Cairo::Context::create(surface);
        cr->set_source_rgb(1, 1, 1);
        cr->paint();
        gtk_widget_draw(GTK_WIDGET(plot().gobj()), cr->cobj());
        surface->flush();
        return surface;
    }

    static Rgb at(const Cairo::RefPtr<Cairo::ImageSurface>& s, double x, double y)
    {
        const unsigned char* p = s->get_data() + int(y) * s->get_stride() + int(x) * 4;
        return {p[2], p[1], p[0]};
    }
    static bool same(const Cairo::RefPtr<Cairo::ImageSurface>& a, const Cairo::RefPtr<Cairo::ImageSurface>& b)
    {
        return a->get_height() == b->get_height() && a->get_stride() == b->get_stride() &&
               std::memcmp(a->get_data(), b->get_data(), std::size_t(a->get_stride()) * a->get_height()) == 0;
    }

    // Where the fix of kT0 + k s lands in the plot now.
    double xOf(u64 k)
    {
        const TrackCopy copy = window.gpsTrack->copy();
        const GpsFit& fit = plot().trackFit();
        return (copy.track.at(k).x - fit.minX) * fit.scale + fit.offsetX - plot().zoomState().panX;
    }
    double lineY() { return plot().trackFit().offsetY - plot().zoomState().panY; }
    // The colour of the line at the fix of kT0 + k s.
    Rgb lineAt(const Cairo::RefPtr<Cairo::ImageSurface>& s, u64 k) { return at(s, xOf(k), lineY()); }

    GdkEvent* newEvent(GdkEventType type)
    {
        GdkEvent* e = gdk_event_new(type);
        e->any.window = GDK_WINDOW(g_object_ref(plot().get_window()->gobj()));
        e->any.send_event = TRUE;
        GdkSeat* seat = gdk_display_get_default_seat(gdk_display_get_default());
        gdk_event_set_device(e, type == GDK_KEY_PRESS ? gdk_seat_get_keyboard(seat) : gdk_seat_get_pointer(seat));
        return e;
    }
    bool send(GdkEvent* e)
    {
        const bool handled = gtk_widget_event(GTK_WIDGET(plot().gobj()), e);
        gdk_event_free(e);
        return handled;
    }
    void wheelAt(GdkScrollDirection direction, double x, double y)
    {
        GdkEvent* move = newEvent(GDK_MOTION_NOTIFY);
        move->motion.x = x;
        move->motion.y = y;
        send(move);
        GdkEvent* e = newEvent(GDK_SCROLL);
        e->scroll.direction = direction;
        e->scroll.x = x;
        e->scroll.y = y;
        EXPECT_TRUE(send(e));
    }
    // A key as the window gets it: passed on to its focus widget.
    bool key(guint keyval)
    {
        GdkEvent* e = newEvent(GDK_KEY_PRESS);
        g_object_unref(e->any.window);
        e->any.window = GDK_WINDOW(g_object_ref(window.gpsPlotWin.get_window()->gobj()));
        e->key.keyval = keyval;
        const bool handled = gtk_widget_event(GTK_WIDGET(window.gpsPlotWin.gobj()), e);
        gdk_event_free(e);
        return handled;
    }

    Window& window = Window::instance();
};

TEST_F(GpsPlotWindowTest, DrawsTheTrackWithItsMarksAndFollowsRulersIntervalAndNewData)
{
    ASSERT_TRUE(window.gpsTrack);
    addFixes(0, 200);
    store.setViewWindow(kT0, kT0 + 300000);
    timeBox().setInterval(kT0 + 20000, kT0 + 100000, false);

    openFromMenu();
    EXPECT_TRUE(window.gpsPlotWin.get_visible());
    EXPECT_EQ(window.gpsPlotWin.get_title(), "GPS Plot");
    EXPECT_TRUE(window.gpsPlotWin.trackAttached);
    EXPECT_EQ(plot().track(), window.gpsTrack);

    auto s = shot();
    ASSERT_TRUE(plot().image());
    EXPECT_EQ(plot().image()->get_width(), plot().get_allocated_width());
    // North up: a track along one latitude lies across the middle, fitted to the width.
    EXPECT_NEAR(lineY(), plot().get_allocated_height() / 2.0, 1.0);
    EXPECT_NEAR(xOf(199), plot().get_allocated_width(), 1e-6);
    EXPECT_TRUE(near(lineAt(s, 10), kPaleGrey));
    EXPECT_TRUE(near(lineAt(s, 60), kGrey));         // in the visible interval
    EXPECT_TRUE(near(lineAt(s, 120), kPaleGrey));
    EXPECT_TRUE(near(lineAt(s, 170), kRed));         // the last minute
    EXPECT_TRUE(near(at(s, xOf(60), lineY() - 20), kWhite));

    // Rulers (in either order): the stretch between them, a circle at the left one.
    store.leftRuler = kT0 + 80000;
    store.rightRuler = kT0 + 50000;
    store.markersChanged.emit();
    s = shot();
    EXPECT_TRUE(near(lineAt(s, 70), kRedOverGrey));
    EXPECT_TRUE(near(lineAt(s, 40), kGrey));
    EXPECT_TRUE(near(at(s, xOf(81), lineY() - 5), kLeftCircle));

    // A new visible interval.
    timeBox().setInterval(kT0 + 100000, kT0 + 130000, false);
    s = shot();
    EXPECT_TRUE(near(lineAt(s, 40), kPaleGrey));
    EXPECT_TRUE(near(lineAt(s, 120), kGrey));

    // Data arriving: the track grows and its last minute moves with it.
    addFixes(200, 60);
    store.emitDataChanged();
    s = shot();
    EXPECT_NEAR(xOf(259), plot().get_allocated_width(), 1e-6);
    EXPECT_TRUE(near(lineAt(s, 170), kPaleGrey));
    EXPECT_TRUE(near(lineAt(s, 230), kRed));
}

TEST_F(GpsPlotWindowTest, WheelZoomsAboutThePointerAndEscapeShowsTheWholeTrackAgain)
{
    addFixes(0, 200);
    store.setViewWindow(kT0, kT0 + 199000);
    timeBox().setInterval(kT0 + 20000, kT0 + 100000, false);
    openFromMenu();
    EXPECT_TRUE(plot().is_focus());
    const auto whole = shot();
    const double x = xOf(60);
    const double y = lineY();

    wheelAt(GDK_SCROLL_UP, x, y);
    auto s = shot();
    EXPECT_DOUBLE_EQ(plot().zoomState().zoom, 1.2);
    EXPECT_NEAR(xOf(60), x, 1e-6); // the point under the pointer stays there
    EXPECT_TRUE(near(at(s, x, y), kGrey));
    EXPECT_FALSE(same(s, whole));
    wheelAt(GDK_SCROLL_DOWN, x, y);
    EXPECT_TRUE(same(shot(), whole));
    EXPECT_EQ(plot().zoomState().zoom, 1.0);

    // However far in, the line under the pointer still crosses the picture.
    for (int k = 0; k < 150; ++k)
        wheelAt(GDK_SCROLL_UP, x, y);
    s = shot();
    EXPECT_GT(plot().zoomState().zoom, 1e11);
    // Rounding at such a zoom moves the line by a fraction of a pixel: the row above its
    // middle is still inside it.
    EXPECT_NEAR(lineY(), y, 0.25);
    EXPECT_TRUE(near(at(s, x, lineY() - 0.5), kGrey));
    EXPECT_TRUE(near(at(s, 5, lineY() - 0.5), kGrey));
    EXPECT_TRUE(near(at(s, x, y - 20), kWhite));

    EXPECT_FALSE(key(GDK_KEY_a));
    EXPECT_TRUE(key(GDK_KEY_Escape));
    EXPECT_TRUE(same(shot(), whole));
    EXPECT_EQ(plot().zoomState().panX, 0.0);
}

TEST_F(GpsPlotWindowTest, ClosingKeepsTheWindowAndAReloadLetsGoOfTheTrack)
{
    addFixes(0, 100);
    store.setViewWindow(kT0, kT0 + 99000);

    store.parsing = true;
    openFromMenu();
    store.parsing = false;
    EXPECT_EQ(drainLog(), std::vector<std::string>{"Wait for parse to complete"});
    EXPECT_FALSE(window.gpsPlotWin.get_visible());
    EXPECT_FALSE(plot().track());

    openFromMenu();
    const auto first = shot();
    // The close button only hides the window; the menu shows it again, with its track.
    GdkEvent* close = gdk_event_new(GDK_DELETE);
    close->any.window = GDK_WINDOW(g_object_ref(window.gpsPlotWin.get_window()->gobj()));
    close->any.send_event = TRUE;
    gtk_main_do_event(close);
    gdk_event_free(close);
    EXPECT_FALSE(window.gpsPlotWin.get_visible());
    openFromMenu();
    EXPECT_TRUE(window.gpsPlotWin.get_visible());
    EXPECT_TRUE(same(shot(), first));

    // A reload hides the window and lets go of the old track; the next opening takes the
    // new load's track.
    const auto oldTrack = window.gpsTrack;
    window.reload(true);
    EXPECT_FALSE(window.gpsPlotWin.get_visible());
    EXPECT_FALSE(window.gpsPlotWin.trackAttached);
    EXPECT_FALSE(plot().track());
    ASSERT_TRUE(window.gpsTrack);
    EXPECT_NE(window.gpsTrack, oldTrack);
    window.gpsTrack->hasData = true; // no parse asked for in this test
    openFromMenu();
    EXPECT_EQ(plot().track(), window.gpsTrack);
}

TEST_F(GpsPlotWindowTest, NoPointInViewDrawsNothingAndOnePositionSitsInTheMiddle)
{
    // All fixes at one place, the rulers on them: the circle marks the middle.
    for (u64 i = 0; i < 3; ++i)
        window.gpsTrack->addTrackPoint(kT0 + i * 1000, 59.3, 18.1, 20.0, 0.0);
    window.gpsTrack->hasData = true;
    store.setViewWindow(kT0, kT0 + 2000);
    store.leftRuler = kT0;
    openFromMenu();
    auto s = shot();
    const double w = plot().get_allocated_width();
    const double h = plot().get_allocated_height();
    EXPECT_TRUE(near(at(s, w / 2, h / 2 - 5), kLeftCircle));

    // A view window without a fix: an empty picture and no circle.
    store.setViewWindow(kT0 + 10000, kT0 + 20000);
    s = shot();
    ASSERT_TRUE(plot().image());
    const auto& image = plot().image();
    image->flush();
    bool blank = true;
    for (int y = 0; y < image->get_height(); ++y)
        for (int x = 0; x < image->get_width(); ++x)
            blank = blank && reinterpret_cast<const u32*>(image->get_data() + y * image->get_stride())[x] == 0;
    EXPECT_TRUE(blank);
    EXPECT_TRUE(near(at(s, w / 2, h / 2 - 5), kWhite));
}

} // namespace
} // namespace vistra::test
