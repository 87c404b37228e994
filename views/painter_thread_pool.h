#pragma once
// A fixed set of painter threads for one plot widget: tasks go to the lowest-indexed
// idle thread, else wait in a first-in, first-out queue; cancelTasks drops the queue and
// aborts what is being painted. The pool knows nothing about plotting.
#include "views/painter_task.h"
#include "views/painter_thread.h"

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace vistra {

class PainterThreadPool {
public:
    // Paints task->image; returns early, leaving the image empty, once `aborted` is set.
    using PaintFunction = std::function<void(const std::shared_ptr<PainterTask>& task, const std::atomic<bool>& aborted)>;

    // Starts `threadCount` threads (none for 0) that paint signals; tests pass their own
    // paint function.
    explicit PainterThreadPool(int threadCount, PaintFunction paint = {});
    // Stops and joins every thread in index order, then drops the queued tasks. No owner
    // is called back after it returns.
    virtual ~PainterThreadPool();

    PainterThreadPool(const PainterThreadPool&) = delete;
    PainterThreadPool& operator=(const PainterThreadPool&) = delete;

    // GUI thread.
    void addTask(std::shared_ptr<PainterTask> task);
    // Called by thread `index` from its run loop with its mutex held; false when the
    // queue is empty.
    bool takeQueuedTask(u32 index);
    // GUI thread: queued tasks are dropped unpainted and unreported, running ones aborted.
    void cancelTasks();

    // The oldest queued task, taken off the queue; empty when there is none.
    std::shared_ptr<PainterTask> popQueued();
    std::size_t queuedCount();

    std::vector<std::unique_ptr<PainterThread>> threads; // in index order
    std::deque<std::shared_ptr<PainterTask>> queue;      // oldest first
    std::mutex queueMutex;
    const PaintFunction paintFunction;
};

} // namespace vistra
