#include "views/lane_compositor.h"

#include <gdkmm/general.h>

namespace vistra {

void addLane(const PainterTask& task, bool split, double scale, const Glib::RefPtr<Gdk::Pixbuf>& lanes,
             const Cairo::RefPtr<Cairo::Context>& overlay) noexcept
{
    const Glib::RefPtr<Gdk::Pixbuf>& lane = task.image;
    if (!lane)
        return;
    try {
        if (split) {
            const int w = static_cast<int>(task.width * scale);
            const int h = static_cast<int>(task.height * scale);
            if (lanes && task.x + w <= lanes->get_width() && task.y + h <= lanes->get_height() &&
                lane->get_width() * scale >= w && lane->get_height() * scale >= h)
                lane->composite(lanes, task.x, task.y, w, h, task.x, task.y, scale, scale,
                                scale == 1.0 ? Gdk::INTERP_NEAREST : Gdk::INTERP_TILES, 255);
        } else if (overlay) {
            overlay->save();
            Gdk::Cairo::set_source_pixbuf(overlay, lane, 0, 0);
            overlay->paint();
            overlay->restore();
        }
    } catch (...) {
        // A lane that cannot be composited (cairo out of memory, say) stays empty in this
        // image; the painter thread that delivers it must not fail, and the next render
        // paints the lane again.
    }
}

} // namespace vistra
