#include "views/painter_thread_pool.h"

#include "views/signal_painter.h"

#include <gtkmm/main.h>

namespace vistra {

PainterThreadPool::PainterThreadPool(int threadCount, PaintFunction paint)
    : paintFunction(paint ? std::move(paint) : PaintFunction(paintSignal))
{
    // Painter threads wrap the Gdk::Pixbuf they make; the wrappers are registered here,
    // on the GUI thread, in case no Gtk::Application has done it yet.
    Gtk::Main::init_gtkmm_internals();
    for (int i = 0; i < threadCount; ++i)
        threads.push_back(std::make_unique<PainterThread>(static_cast<u32>(i), this));
    // Started only now: a running thread looks itself up in `threads`.
    for (auto& thread : threads)
        thread->start();
}

PainterThreadPool::~PainterThreadPool()
{
    for (auto& thread : threads) {
        thread->stop();
        thread->join();
        thread.reset();
    }
    std::lock_guard lock(queueMutex);
    queue.clear();
}

void PainterThreadPool::addTask(std::shared_ptr<PainterTask> task)
{
    for (auto& thread : threads)
        if (thread->assignWork(task))
            return;
    {
        std::lock_guard lock(queueMutex);
        queue.push_back(std::move(task));
    }
    // Between the refusals above and the push, a thread may have come free, found the
    // queue empty and gone to sleep: offer the queue to the idle threads once more.
    for (auto& thread : threads)
        if (!thread->assignQueued())
            break;
}

std::shared_ptr<PainterTask> PainterThreadPool::popQueued()
{
    std::lock_guard lock(queueMutex);
    if (queue.empty())
        return {};
    std::shared_ptr<PainterTask> task = std::move(queue.front());
    queue.pop_front();
    return task;
}

bool PainterThreadPool::takeQueuedTask(u32 index)
{
    std::shared_ptr<PainterTask> task = popQueued();
    if (!task)
        return false;
    threads[index]->reassign(std::move(task));
    return true;
}

void PainterThreadPool::cancelTasks()
{
    std::deque<std::shared_ptr<PainterTask>> dropped;
    {
        std::lock_guard lock(queueMutex);
        dropped.swap(queue);
    }
    for (auto& thread : threads)
        thread->abort();
}

std::size_t PainterThreadPool::queuedCount()
{
    std::lock_guard lock(queueMutex);
    return queue.size();
}

} // namespace vistra
