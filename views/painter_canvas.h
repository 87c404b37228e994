#pragma once
// The image one paint draws into: RGBA bytes in Gdk::Pixbuf layout, transparent except
// where the line runs. It strokes paths of horizontal and vertical segments pixel for
// pixel as Cairo strokes them without antialiasing (butt caps, miter joins), but writes
// the pixels itself: Cairo's stroker and the conversion of a whole ARGB32 surface into a
// pixbuf cost more than folding millions of samples.
//
// Buffers are recycled: when the last reference to a finished image goes, its buffer
// returns to a shared free list, and the next canvas of the same size clears only the
// pixels painted before. So neither a zoomed paint nor an empty one pays for the whole
// image, nor for the page faults of fresh memory.
#include "core/types.h"

#include <gdkmm/pixbuf.h>

#include <memory>

namespace vistra {

struct PainterBuffer;

class PainterCanvas {
public:
    // A transparent width × height canvas (both at least 1) painting in the given colour
    // (components 0..1, opaque) with the given line width.
    PainterCanvas(i32 width, i32 height, double red, double green, double blue, double lineWidth);
    ~PainterCanvas();

    PainterCanvas(const PainterCanvas&) = delete;
    PainterCanvas& operator=(const PainterCanvas&) = delete;

    // Starts a new subpath at (x, y).
    void moveTo(double x, double y);
    // Strokes the segment from the current point to (x, y), which must share its x or its
    // y. Without a current point it only moves there, as Cairo does.
    void lineTo(double x, double y);
    // Hands the pixels over as a pixbuf; the canvas must not be drawn on afterwards.
    Glib::RefPtr<Gdk::Pixbuf> takeImage();

    // Largest width and height a canvas takes (Cairo's own limit for image surfaces).
    static constexpr i32 kMaxSize = 32767;

private:
    enum class Direction { None, Horizontal, Vertical };
    // Fills the box between two corners given in Cairo's 24.8 fixed point, each edge
    // rounded to the nearest pixel boundary (a half rounds down).
    void fillBox(i64 x0, i64 y0, i64 x1, i64 y1);

    std::unique_ptr<PainterBuffer> buffer;
    u32 colour;     // one pixel, as its four bytes lie in memory
    i64 halfWidth;  // half the line width, fixed point
    i64 penX = 0;   // current point, fixed point
    i64 penY = 0;
    bool hasPen = false;
    Direction lastDirection = Direction::None; // of the subpath's last drawn segment
};

} // namespace vistra
