#pragma once
// One long-lived thread of a PainterThreadPool: holds at most one task, paints it and
// tells the task's owner.
#include "core/types.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace vistra {

class PainterThreadPool;
struct PainterTask;

class PainterThread {
public:
    PainterThread(u32 index, PainterThreadPool* pool);
    // Stops and joins the thread when the pool has not done so.
    virtual ~PainterThread();

    PainterThread(const PainterThread&) = delete;
    PainterThread& operator=(const PainterThread&) = delete;

    // Starts run(); the pool calls it once every thread of the pool exists.
    void start();
    // Takes the task when idle and wakes the thread; false when it holds one already.
    // Never on the thread itself.
    bool assignWork(std::shared_ptr<PainterTask> task);
    // On the thread itself, with `mutex` held: takes a task from the pool's queue.
    void reassign(std::shared_ptr<PainterTask> task);
    // When idle, takes the oldest queued task and wakes the thread; false when the queue
    // was empty. Closes the gap between a refused assignWork and the push onto the queue.
    bool assignQueued();
    // Drops the task in hand at the next check; an idle thread is left alone.
    void abort();
    // Ends the thread; a running paint ends at its next abort check, undelivered.
    void stop();
    void join();
    // Paints `assignment` with the pool's paint function.
    void paint();

    const u32 index;
    std::thread::id threadId; // recorded when run starts
    std::mutex mutex;         // guards the flags' changes and `assignment`
    std::condition_variable wakeUp;
    std::thread thread;
    std::atomic<bool> stopped{false};
    std::atomic<bool> aborted{false};
    std::atomic<bool> ongoing{false};
    PainterThreadPool* const pool;
    std::shared_ptr<PainterTask> assignment;

private:
    void run();
    void deliver();
};

} // namespace vistra
