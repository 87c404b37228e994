#pragma once
// How the plots put the painted lanes of one render together.
#include "views/painter_task.h"

#include <cairomm/context.h>
#include <gdkmm/pixbuf.h>

namespace vistra {

// Adds one finished lane to the image being built. In split view the lane is composited
// into its own rectangle of `lanes`, scaled by `scale` (the overview paints at twice its
// size); overlaid, it is painted over `overlay`. A lane that does not fit, or that fails,
// is left out: one lost lane must not keep the render from completing.
void addLane(const PainterTask& task, bool split, double scale, const Glib::RefPtr<Gdk::Pixbuf>& lanes,
             const Cairo::RefPtr<Cairo::Context>& overlay) noexcept;

} // namespace vistra
