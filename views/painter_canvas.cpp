#include "views/painter_canvas.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

namespace vistra {

struct PainterBuffer {
    PainterBuffer(i32 w, i32 h)
        : width(w), height(h), pixels(static_cast<u8*>(std::calloc(std::size_t(w) * std::size_t(h), 4))),
          top(std::size_t(w), h), bottom(std::size_t(w), 0)
    {
        if (!pixels)
            throw std::bad_alloc();
    }
    ~PainterBuffer() { std::free(pixels); }

    PainterBuffer(const PainterBuffer&) = delete;
    PainterBuffer& operator=(const PainterBuffer&) = delete;

    std::size_t bytes() const { return std::size_t(width) * std::size_t(height) * 4; }
    u32* row(i64 y) { return reinterpret_cast<u32*>(pixels) + y * width; }

    // Makes every pixel transparent again, touching only the rows painted in each column:
    // whole rows when most of their band was painted, else column by column.
    void clear()
    {
        i32 first = height;
        i32 last = 0;
        std::size_t area = 0;
        for (i32 x = 0; x < width; ++x) {
            if (top[x] < bottom[x]) {
                first = std::min(first, top[x]);
                last = std::max(last, bottom[x]);
                area += std::size_t(bottom[x] - top[x]);
            }
        }
        if (first >= last)
            return;
        // A pixel written across rows costs a cache line of its own; a row band is one
        // sequential fill.
        if (area * 8 >= std::size_t(width) * std::size_t(last - first)) {
            std::memset(row(first), 0, std::size_t(width) * std::size_t(last - first) * 4);
        } else {
            for (i32 x = 0; x < width; ++x) {
                if (top[x] >= bottom[x])
                    continue;
                u32* p = row(top[x]) + x;
                for (i32 y = top[x]; y < bottom[x]; ++y, p += width)
                    *p = 0;
            }
        }
        std::fill(top.begin(), top.end(), height);
        std::fill(bottom.begin(), bottom.end(), 0);
    }

    const i32 width;
    const i32 height;
    u8* const pixels; // width × height RGBA pixels, rows without padding
    // Per column the painted rows lie in [top, bottom); top >= bottom when none was.
    std::vector<i32> top;
    std::vector<i32> bottom;
};

namespace {

// Buffers of finished images whose last reference went, most recently freed last.
class BufferPool {
public:
    std::unique_ptr<PainterBuffer> take(i32 width, i32 height)
    {
        std::unique_ptr<PainterBuffer> buffer;
        {
            std::lock_guard lock(mutex);
            for (auto it = free.rbegin(); it != free.rend(); ++it) {
                if ((*it)->width == width && (*it)->height == height) {
                    buffer = std::move(*it);
                    free.erase(std::next(it).base());
                    freeBytes -= buffer->bytes();
                    break;
                }
            }
        }
        if (!buffer)
            return std::make_unique<PainterBuffer>(width, height);
        buffer->clear();
        return buffer;
    }

    void give(std::unique_ptr<PainterBuffer> buffer)
    {
        std::lock_guard lock(mutex);
        freeBytes += buffer->bytes();
        free.push_back(std::move(buffer));
        // Keep a few screens' worth; the oldest go first (images of a former size).
        while (freeBytes > kMaxFreeBytes) {
            freeBytes -= free.front()->bytes();
            free.erase(free.begin());
        }
    }

private:
    static constexpr std::size_t kMaxFreeBytes = 48u << 20;
    std::mutex mutex;
    std::vector<std::unique_ptr<PainterBuffer>> free;
    std::size_t freeBytes = 0;
};

// Never destroyed: an image may be released after static destructors ran.
BufferPool& pool()
{
    static BufferPool* const instance = new BufferPool;
    return *instance;
}

void returnBuffer(guchar*, gpointer buffer) { pool().give(std::unique_ptr<PainterBuffer>(static_cast<PainterBuffer*>(buffer))); }

// Cairo stores a colour component as 16 bits and draws its upper 8.
u8 colourByte(double c)
{
    c = std::clamp(std::isnan(c) ? 0.0 : c, 0.0, 1.0);
    return static_cast<u8>(static_cast<unsigned>(c * 65535.0 + 0.5) >> 8);
}

} // namespace

PainterCanvas::PainterCanvas(i32 width, i32 height, double red, double green, double blue, double lineWidth)
    : buffer(pool().take(width, height))
{
    const u8 bytes[4] = {colourByte(red), colourByte(green), colourByte(blue), 0xff};
    std::memcpy(&colour, bytes, 4);
    // A negative width strokes nothing, as in Cairo; a huge one covers the image anyway.
    if (!(lineWidth > 0))
        lineWidth = 0;
    halfWidth = toFixed(std::min(lineWidth, 1e6) / 2.0);
}

PainterCanvas::~PainterCanvas()
{
    if (buffer)
        pool().give(std::move(buffer));
}

void PainterCanvas::stroke(i64 fx, i64 fy)
{
    assert(fx == penX || fy == penY);
    const bool horizontal = fy == penY;
    // At a turn Cairo lengthens both segments by half the line width, each along its own
    // direction: the miter of a right angle.
    const bool turn = hasPending && pending.horizontal != horizontal;
    if (hasPending)
        drawPending(turn);
    pending = {penX, penY, fx, fy, horizontal, turn};
    hasPending = true;
    penX = fx;
    penY = fy;
}

void PainterCanvas::drawPending(bool lengthenEnd)
{
    Pending& s = pending;
    i64& a = s.horizontal ? s.ax : s.ay;
    i64& b = s.horizontal ? s.bx : s.by;
    if (s.lengthenStart || lengthenEnd) {
        const i64 forward = a < b ? halfWidth : -halfWidth;
        if (s.lengthenStart)
            a -= forward;
        if (lengthenEnd)
            b += forward;
    }
    if (s.horizontal)
        fillBox(s.ax, s.ay - halfWidth, s.bx, s.by + halfWidth);
    else
        fillBox(s.ax - halfWidth, s.ay, s.bx + halfWidth, s.by);
}

void PainterCanvas::fillBox(i64 x0, i64 y0, i64 x1, i64 y1)
{
    // Cairo snaps each edge of a stroke box to a pixel boundary when it does not
    // antialias, and then fills the pixels inside.
    const auto pixel = [](i64 f) { return (f + 127) >> 8; };
    const i64 left = std::max<i64>(pixel(std::min(x0, x1)), 0);
    const i64 right = std::min<i64>(pixel(std::max(x0, x1)), buffer->width);
    const i64 upper = std::max<i64>(pixel(std::min(y0, y1)), 0);
    const i64 lower = std::min<i64>(pixel(std::max(y0, y1)), buffer->height);
    if (left >= right || upper >= lower)
        return;
    // Locals, as the pixel stores might otherwise alias them.
    i32* const top = buffer->top.data();
    i32* const bottom = buffer->bottom.data();
    for (i64 x = left; x < right; ++x) {
        top[x] = std::min(top[x], static_cast<i32>(upper));
        bottom[x] = std::max(bottom[x], static_cast<i32>(lower));
    }
    const u32 paint = colour;
    const i64 stride = buffer->width;
    u32* row = buffer->row(upper) + left;
    const i64 count = right - left;
    if (count == 2) { // the usual vertical stroke
        for (i64 y = upper; y < lower; ++y, row += stride)
            row[0] = row[1] = paint;
        return;
    }
    for (i64 y = upper; y < lower; ++y, row += stride)
        for (i64 k = 0; k < count; ++k)
            row[k] = paint;
}

Glib::RefPtr<Gdk::Pixbuf> PainterCanvas::takeImage()
{
    flush();
    PainterBuffer* const b = buffer.release();
    GdkPixbuf* const pixbuf = gdk_pixbuf_new_from_data(b->pixels, GDK_COLORSPACE_RGB, TRUE, 8, b->width, b->height,
                                                       b->width * 4, &returnBuffer, b);
    return Glib::wrap(pixbuf, false);
}

} // namespace vistra
