#pragma once
// Draws the step path of a signal into one task's image, folding every point that falls
// into the current pixel column into one vertical stroke, so the path stays proportional
// to the image width however dense the samples are.
#include "core/signal.h"
#include "views/painter_canvas.h"
#include "views/painter_task.h"

#include <atomic>
#include <cfloat>
#include <cstddef>
#include <memory>

namespace vistra {

class PainterThreadContext {
public:
    // A transparent image of the task's size (at least 1 × 1), in the task's colour and
    // line width; values are placed in the lane by the signal's view range `view`, read by
    // the caller under the sample lock it holds while it draws.
    PainterThreadContext(std::shared_ptr<PainterTask> task, const ValueRange& view);
    virtual ~PainterThreadContext();

    PainterThreadContext(const PainterThreadContext&) = delete;
    PainterThreadContext& operator=(const PainterThreadContext&) = delete;

    // (t − start) / (end − start) × width; beyond the right edge width + 1, before the
    // left edge −1, so off-image points never land inside the image.
    double timeToX(u64 t) const
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
    // Pen up: closes an open column and moves to (t, v).
    void moveTo(u64 t, double v);
    // Extends the path to (t, v); a point in the current column only widens its stroke.
    // Times passed in are non-decreasing.
    void lineTo(u64 t, double v)
    {
        if (t >= columnFirst && t < columnEnd) {
            if (!columnOpen) {
                fold(lastValue); // the value at which the path entered the column
                columnOpen = true;
            }
            fold(v);
            lastValue = v;
            return;
        }
        lineToNewColumn(t, v);
    }
    // Folds the joined samples from samples[i] on that fall into the current column, with
    // the value held between them, as pairs of lineTo calls would; stops before `end`, a
    // gap of more than `joinMs`, the next column or an abort. Keeps the running values in
    // registers: dense data spends its time here. Returns the index after the last one.
    std::size_t foldRun(const Sample* samples, std::size_t i, std::size_t n, u64 end, u64 joinMs, u64& lastTime,
                        double& lastVal, double& previousValue, const std::atomic<bool>& aborted);
    // Draws the open column's stroke from its smallest to its largest value.
    void closeColumn();
    // Closes an open column: the path is then drawn whole.
    void finishPath();
    // The finished image; the context draws no more afterwards.
    Glib::RefPtr<Gdk::Pixbuf> takeImage() { return canvas.takeImage(); }
    // Pixel row of v, inside the lane.
    int y(double v) const { return valueToY(v, height, task->lineWidth, view); }

    std::shared_ptr<Signal> signal;
    std::shared_ptr<PainterTask> task;
    ValueRange view;
    bool columnOpen = false;
    double columnMax = -DBL_MAX;
    double columnMin = DBL_MAX;
    double lastValue = 0.0;
    i32 column = -2; // −2 after a pen-up move
    i32 width;
    i32 height;

private:
    void fold(double v)
    {
        if (v > columnMax)
            columnMax = v;
        if (v < columnMin)
            columnMin = v;
    }
    void lineToNewColumn(u64 t, double v);
    // The first time after `first` whose x truncates past `xi`.
    u64 columnEndTime(u64 first, i32 xi) const;

    // Times t with columnFirst <= t < columnEnd truncate to `column`; empty after a
    // pen-up move. Lets dense samples skip the division.
    u64 columnFirst = 1;
    u64 columnEnd = 0;
    double msPerPixel; // only to estimate column boundaries
    // Segments are drawn as they are added.
    PainterCanvas canvas;
};

} // namespace vistra
