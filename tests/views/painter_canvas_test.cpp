#include "views/painter_canvas.h"

#include <cairomm/context.h>
#include <cairomm/surface.h>
#include <gdkmm/pixbuf.h>
#include <gtest/gtest.h>
#include <gtkmm/main.h>

#include <random>
#include <vector>

namespace vistra {
namespace {

struct Segment {
    bool move; // starts a subpath
    double x, y;
};

// The canvas must give the pixels Cairo gives when it strokes the same path without
// antialiasing, and a recycled buffer must come back clean. Random paths of horizontal
// and vertical segments, with ends on pixel boundaries, on pixel centres (where Cairo's
// rounding decides), between them and off the image; turns inside subpaths; line widths
// odd, even, fractional and wide.
TEST(PainterCanvasTest, StrokesAsCairoDoes)
{
    Gtk::Main::init_gtkmm_internals();
    std::mt19937 rng(7);
    const double lineWidths[] = {1, 2, 3, 2.5, 0.7, 12, 0};
    const std::pair<int, int> sizes[] = {{7, 5}, {40, 30}, {1, 1}};
    const auto coordinate = [&](int size) {
        switch (rng() % 5) {
        case 0:
            return double(int(rng() % (size + 1)));
        case 1:
            return int(rng() % size) + 0.5;
        case 2:
            return (rng() % (256 * size)) / 256.0;
        case 3:
            return std::uniform_real_distribution<double>(0, size)(rng);
        default:
            return rng() % 2 ? -1.0 : size + 1.0;
        }
    };
    for (int round = 0; round < 600; ++round) {
        const auto [width, height] = sizes[round % 3];
        const double lineWidth = lineWidths[rng() % 7];
        const double red = (rng() % 256) / 255.0, green = (rng() % 1000) / 999.0, blue = 0.2;
        std::vector<Segment> path;
        const int subpaths = 1 + rng() % 4;
        for (int s = 0; s < subpaths; ++s) {
            double x = coordinate(width), y = coordinate(height);
            path.push_back({true, x, y});
            const int segments = 1 + rng() % 3;
            for (int k = 0; k < segments; ++k) {
                if (rng() % 2)
                    x = rng() % 8 ? coordinate(width) : x; // sometimes of no length
                else
                    y = coordinate(height);
                path.push_back({false, x, y});
            }
        }

        const auto surface = Cairo::ImageSurface::create(Cairo::FORMAT_ARGB32, width, height);
        const auto cr = Cairo::Context::create(surface);
        cr->set_line_width(lineWidth);
        cr->set_antialias(Cairo::ANTIALIAS_NONE);
        cr->set_source_rgba(red, green, blue, 1.0);
        PainterCanvas canvas(width, height, red, green, blue, lineWidth);
        for (const Segment& s : path) {
            if (s.move) {
                cr->move_to(s.x, s.y);
                canvas.moveTo(s.x, s.y);
            } else {
                cr->line_to(s.x, s.y);
                canvas.lineTo(s.x, s.y);
            }
        }
        cr->stroke();
        surface->flush();
        const auto want = Gdk::Pixbuf::create(surface, 0, 0, width, height);
        const auto got = canvas.takeImage();
        ASSERT_EQ(got->get_width(), width);
        ASSERT_EQ(got->get_height(), height);
        for (int y = 0; y < height; ++y) {
            const guint8* w = want->get_pixels() + y * want->get_rowstride();
            const guint8* g = got->get_pixels() + y * got->get_rowstride();
            for (int x = 0; x < width * 4; ++x)
                ASSERT_EQ(int(g[x]), int(w[x])) << "round " << round << " pixel " << x / 4 << "," << y;
        }
    }
}

} // namespace
} // namespace vistra
