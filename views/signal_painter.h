#pragma once
// Paints one signal over a task's time window: a step line in the signal's colour on a
// transparent image, with the samples of each pixel column folded into one vertical
// stroke. Runs on a painter thread and holds the signal's samplesMutex throughout.
#include "views/painter_task.h"

#include <atomic>
#include <memory>

namespace vistra {

// Leaves task->image empty when there is nothing to draw (no samples, a window outside
// the view window, an empty or zero-length window, a side beyond PainterCanvas::kMaxSize)
// or when `aborted` is seen.
void paintSignal(const std::shared_ptr<PainterTask>& task, const std::atomic<bool>& aborted);

} // namespace vistra
