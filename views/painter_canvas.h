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

#include <cstring>
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
    void moveTo(double x, double y)
    {
        flush();
        penX = toFixed(x);
        penY = toFixed(y);
        hasPen = true;
    }
    // Strokes the segment from the current point to (x, y), which must share its x or its
    // y. Without a current point it only moves there, as Cairo does.
    void lineTo(double x, double y)
    {
        if (!hasPen) {
            moveTo(x, y);
            return;
        }
        const i64 fx = toFixed(x);
        const i64 fy = toFixed(y);
        if (fx == penX && fy == penY)
            return; // a segment of no length draws nothing, and makes no join
        stroke(fx, fy);
    }
    // Hands the pixels over as a pixbuf; the canvas must not be drawn on afterwards.
    Glib::RefPtr<Gdk::Pixbuf> takeImage();

    // Largest width and height a canvas takes (Cairo's own limit for image surfaces).
    static constexpr i32 kMaxSize = 32767;

    // Cairo's 24.8 fixed point, rounded to the nearest (a tie to even) the way Cairo does
    // it: adding 1.5 × 2^44 leaves the rounded value in the low bits. Coordinates here
    // stay within a few pixels of the image; others are clamped.
    static i64 toFixed(double d)
    {
        constexpr double kLimit = 1 << 22;
        if (!(d > -kLimit)) // NaN too
            d = -kLimit;
        if (d > kLimit)
            d = kLimit;
        const double shifted = d + 26388279066624.0;
        u64 bits;
        std::memcpy(&bits, &shifted, sizeof bits);
        return static_cast<i32>(static_cast<u32>(bits));
    }

private:
    // A segment of the current subpath, in fixed point, held back until the next one shows
    // whether its end turns.
    struct Pending {
        i64 ax, ay, bx, by;
        bool horizontal;
        bool lengthenStart; // a turn before it
    };
    void stroke(i64 fx, i64 fy);
    // Draws the held segment, its end lengthened when the path turns there.
    void drawPending(bool lengthenEnd);
    void flush()
    {
        if (hasPending)
            drawPending(false);
        hasPending = false;
    }
    // Fills the box between two corners given in Cairo's 24.8 fixed point, each edge
    // rounded to the nearest pixel boundary (a half rounds down).
    void fillBox(i64 x0, i64 y0, i64 x1, i64 y1);

    std::unique_ptr<PainterBuffer> buffer;
    u32 colour;     // one pixel, as its four bytes lie in memory
    i64 halfWidth;  // half the line width, fixed point
    i64 penX = 0;   // current point, fixed point
    i64 penY = 0;
    bool hasPen = false;
    bool hasPending = false;
    Pending pending{};
};

} // namespace vistra
