#include "views/signal_painter.h"

#include "core/signal.h"
#include "views/painter_thread_context.h"

#include <mutex>

namespace vistra {
namespace {

// Inside the window two samples are joined up to this far apart; across the window's
// edges the limit is one millisecond less.
constexpr u64 kJoinMs = 10000;
constexpr u64 kEdgeJoinMs = 9999;

} // namespace

void paintSignal(const std::shared_ptr<PainterTask>& task, const std::atomic<bool>& aborted)
{
    const std::shared_ptr<Signal> signal = task->signal;
    if (!signal || aborted)
        return;
    // An image without pixels cannot be made, and a window of no length has no scale.
    if (task->width < 1 || task->height < 1 || task->end <= task->start)
        return;
    if (task->width > PainterCanvas::kMaxSize || task->height > PainterCanvas::kMaxSize)
        return;

    const Signal::SampleLock lock = signal->lockSamples();
    const std::vector<Sample>& samples = signal->samples;
    if (samples.empty() || task->end < task->viewStart || task->start >= task->viewEnd)
        return;

    // Drawn with the task's line width and opaque colour, without antialiasing.
    PainterThreadContext cr(task, signal->viewRange(lock));

    // The first sample at or after the window start; the coarse search saves the walk
    // from the first sample.
    const std::size_t n = samples.size();
    std::size_t i = static_cast<std::size_t>(signal->lowerBoundApprox(task->start) - samples.data());
    while (i < n && samples[i].time < task->start)
        ++i;
    if (aborted)
        return;

    if (i < n) {
        double previousValue = i > 0 ? samples[i - 1].value : 0.0;
        u64 lastTime;
        double lastValue;
        if (i > 0 && samples[i].time - samples[i - 1].time <= kEdgeJoinMs) {
            lastTime = task->start; // the line enters through the left edge
            lastValue = samples[i - 1].value;
        } else {
            lastTime = samples[i].time;
            lastValue = samples[i].value;
            ++i;
        }
        cr.moveTo(lastTime, lastValue);

        const u64 end = task->end;
        for (; i < n && !aborted.load(std::memory_order_relaxed); ++i) {
            i = cr.foldRun(samples.data(), i, n, end, kJoinMs, lastTime, lastValue, previousValue, aborted);
            if (i == n || aborted.load(std::memory_order_relaxed))
                break;
            const Sample& s = samples[i];
            if (s.time >= end)
                break;
            if (s.time - lastTime <= kJoinMs) {
                cr.lineTo(s.time, lastValue); // hold the value, then step
                cr.lineTo(s.time, s.value);
            } else {
                cr.moveTo(s.time, s.value); // the gap stays empty
            }
            previousValue = lastValue;
            lastTime = s.time;
            lastValue = s.value;
        }
        if (aborted)
            return;
        if (i == n) {
            // Repeat the final step, so a last sample reached by a pen-up move still
            // shows as a stroke from the previous value to its own.
            cr.lineTo(lastTime, previousValue);
            cr.lineTo(lastTime, lastValue);
        } else if (samples[i].time >= end && samples[i].time - lastTime <= kEdgeJoinMs) {
            cr.lineTo(end, lastValue); // leave through the right edge
        }
    }
    if (aborted)
        return;
    cr.finishPath();
    task->image = cr.takeImage();
}

} // namespace vistra
