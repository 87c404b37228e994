#include "views/painter_thread_context.h"

#include <algorithm>
#include <limits>

namespace vistra {

PainterThreadContext::PainterThreadContext(std::shared_ptr<PainterTask> paintTask, const ValueRange& viewRange)
    : signal(paintTask->signal), task(std::move(paintTask)), view(viewRange), width(task->width), height(task->height),
      msPerPixel(static_cast<double>(task->end - task->start) / width),
      canvas(width, height, task->red, task->green, task->blue, task->lineWidth)
{
}

PainterThreadContext::~PainterThreadContext() = default;

u64 PainterThreadContext::columnEndTime(u64 first, i32 xi) const
{
    constexpr u64 kLast = std::numeric_limits<u64>::max();
    if (xi > width || task->end <= task->start)
        return first + 1; // past the right edge every time has its own test
    const auto column = [this](u64 t) { return static_cast<i32>(timeToX(t)); };
    // Estimate the boundary, then settle it with timeToX itself so the fast test in
    // lineTo agrees with it to the last bit (x grows monotonically with t).
    const double estimate = static_cast<double>(task->start) + (xi + 1.0) * msPerPixel;
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
    const int row = y(v);
    if (columnOpen) {
        closeColumn();
        canvas.moveTo(column, v == lastValue ? row : y(lastValue)); // mostly the held value
    }
    column = xi;
    columnFirst = t;
    columnEnd = columnEndTime(t, xi);
    lastValue = v;
    canvas.lineTo(x, row);
}

std::size_t PainterThreadContext::foldRun(const Sample* samples, std::size_t i, std::size_t n, u64 end, u64 joinMs,
                                          u64& lastTime, double& lastVal, double& previousValue,
                                          const std::atomic<bool>& aborted)
{
    // Times are non-decreasing, so every time below the column's end lies in the column.
    const u64 limit = std::min(end, columnEnd);
    if (i >= n || samples[i].time >= limit || samples[i].time < columnFirst)
        return i;
    const std::size_t first = i;
    // Each joined sample is lineTo(t, held value), lineTo(t, v): the held value is the
    // previous sample's, folded already, except the value at which the path entered.
    const double entry = lastVal;
    double lo = columnMin;
    double hi = columnMax;
    if (!columnOpen) {
        lo = std::min(lo, entry);
        hi = std::max(hi, entry);
    }
    // Whole blocks first: times are sorted, so when the block's last time is inside the
    // column and at most `joinMs` after the previous sample, so is every time in it and
    // every step between them. The values then fold in two independent chains; a NaN
    // never enters the accumulators, so splitting them changes no result. The abort flag
    // is looked at once per block.
    constexpr std::size_t kBlock = 16;
    u64 t = lastTime;
    double lo2 = lo;
    double hi2 = hi;
    while (n - i >= kBlock) {
        const Sample* block = samples + i;
        const u64 last = block[kBlock - 1].time;
        if (last >= limit || last - t > joinMs || aborted.load(std::memory_order_relaxed))
            break;
        for (std::size_t k = 0; k < kBlock; k += 2) {
            lo = std::min(lo, block[k].value);
            hi = std::max(hi, block[k].value);
            lo2 = std::min(lo2, block[k + 1].value);
            hi2 = std::max(hi2, block[k + 1].value);
        }
        t = last;
        i += kBlock;
    }
    lo = std::min(lo, lo2);
    hi = std::max(hi, hi2);
    // The rest one by one, up to the sample that ends the run.
    const std::size_t tail = i;
    for (; i < n; ++i) {
        if (aborted.load(std::memory_order_relaxed))
            break;
        const u64 next = samples[i].time;
        if (next >= limit || next - t > joinMs)
            break;
        t = next;
    }
    for (std::size_t k = tail; k < i; ++k) {
        lo = std::min(lo, samples[k].value);
        hi = std::max(hi, samples[k].value);
    }
    if (i == first)
        return i;
    columnOpen = true;
    columnMin = lo;
    columnMax = hi;
    lastTime = t;
    previousValue = i - first >= 2 ? samples[i - 2].value : entry;
    lastVal = lastValue = samples[i - 1].value;
    return i;
}

void PainterThreadContext::moveTo(u64 t, double v)
{
    if (columnOpen)
        closeColumn();
    column = -2;
    columnFirst = 1;
    columnEnd = 0;
    lastValue = v;
    canvas.moveTo(timeToX(t), y(v));
}

void PainterThreadContext::closeColumn()
{
    const int bottom = y(columnMin);
    canvas.moveTo(column, bottom);
    canvas.lineTo(column, columnMax == columnMin ? bottom : y(columnMax));
    columnOpen = false;
    columnMax = -DBL_MAX;
    columnMin = DBL_MAX;
}

void PainterThreadContext::finishPath()
{
    if (columnOpen)
        closeColumn();
}

} // namespace vistra
