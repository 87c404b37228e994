#include "views/painter_thread_context.h"

#include <limits>

namespace vistra {

PainterThreadContext::PainterThreadContext(std::shared_ptr<PainterTask> paintTask,
                                           const Cairo::RefPtr<Cairo::ImageSurface>& surface)
    : Cairo::Context(cairo_create(surface->cobj()), true), signal(paintTask->signal), task(std::move(paintTask)),
      width(task->width), height(task->height)
{
}

PainterThreadContext::~PainterThreadContext() = default;

double PainterThreadContext::timeToX(u64 t) const
{
    const u64 start = task->start;
    const u64 end = task->end;
    if (end <= start) // a zero-length window has no scale: only its edges are told apart
        return t < start ? -1.0 : t > start ? width + 1.0 : 0.0;
    const double dt = t >= start ? static_cast<double>(t - start) : -static_cast<double>(start - t);
    const double x = dt / static_cast<double>(end - start) * width;
    if (x > width)
        return width + 1.0;
    if (x < -1.0)
        return -1.0;
    return x;
}

u64 PainterThreadContext::columnEndTime(u64 first, i32 xi) const
{
    constexpr u64 kLast = std::numeric_limits<u64>::max();
    if (xi > width || task->end <= task->start)
        return first + 1; // past the right edge every time has its own test
    const auto column = [this](u64 t) { return static_cast<i32>(timeToX(t)); };
    // Estimate the boundary, then settle it with timeToX itself so the fast test in
    // lineTo agrees with it to the last bit (x grows monotonically with t).
    const double span = static_cast<double>(task->end - task->start);
    const double estimate = static_cast<double>(task->start) + (xi + 1.0) * span / width;
    u64 t = estimate >= static_cast<double>(kLast) ? kLast : static_cast<u64>(estimate);
    if (t <= first)
        t = first + 1;
    while (t - 1 > first && column(t - 1) > xi)
        --t;
    while (t != kLast && column(t) <= xi)
        ++t;
    return t;
}

void PainterThreadContext::lineToNewColumn(u64 t, double v)
{
    const double x = timeToX(t);
    const i32 xi = static_cast<i32>(x); // x is clamped to [−1, width + 1]
    if (xi == column) {
        // Same column, yet outside the cached time range (only after an odd time order).
        if (!columnOpen) {
            fold(lastValue);
            columnOpen = true;
        }
        fold(v);
        lastValue = v;
        return;
    }
    if (columnOpen) {
        closeColumn();
        move_to(column, y(lastValue));
    }
    column = xi;
    columnFirst = t;
    columnEnd = columnEndTime(t, xi);
    lastValue = v;
    line_to(x, y(v));
}

void PainterThreadContext::moveTo(u64 t, double v)
{
    if (columnOpen)
        closeColumn();
    column = -2;
    columnFirst = 1;
    columnEnd = 0;
    lastValue = v;
    move_to(timeToX(t), y(v));
}

void PainterThreadContext::closeColumn()
{
    move_to(column, y(columnMin));
    line_to(column, y(columnMax));
    columnOpen = false;
    columnMax = -DBL_MAX;
    columnMin = DBL_MAX;
}

void PainterThreadContext::finishPath()
{
    if (columnOpen)
        closeColumn();
    stroke();
}

} // namespace vistra
