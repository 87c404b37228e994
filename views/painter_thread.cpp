#include "views/painter_thread.h"

#include "core/report.h"
#include "core/signal.h"
#include "views/painter_thread_pool.h"

#include <glibmm/error.h>
#include <glibmm/exception.h>

#include <exception>

namespace vistra {

PainterThread::PainterThread(u32 threadIndex, PainterThreadPool* owningPool) : index(threadIndex), pool(owningPool) {}

PainterThread::~PainterThread()
{
    if (thread.joinable()) {
        stop();
        join();
    }
}

void PainterThread::start() { thread = std::thread([this] { run(); }); }

bool PainterThread::assignWork(std::shared_ptr<PainterTask> task)
{
    std::lock_guard lock(mutex);
    if (std::this_thread::get_id() == threadId)
        fail("assignWork may not be called from threads own context");
    if (ongoing)
        return false;
    assignment = std::move(task);
    ongoing = true;
    wakeUp.notify_one();
    return true;
}

void PainterThread::reassign(std::shared_ptr<PainterTask> task)
{
    if (std::this_thread::get_id() != threadId)
        fail("reassign may only be called from threads own context");
    assignment = std::move(task);
    ongoing = true;
}

bool PainterThread::assignQueued()
{
    std::lock_guard lock(mutex);
    if (ongoing || stopped)
        return true;
    std::shared_ptr<PainterTask> task = pool->popQueued(); // thread mutex, then queueMutex
    if (!task)
        return false;
    assignment = std::move(task);
    ongoing = true;
    wakeUp.notify_one();
    return true;
}

void PainterThread::abort()
{
    std::lock_guard lock(mutex);
    if (ongoing) {
        aborted = true;
        wakeUp.notify_one();
    }
}

void PainterThread::stop()
{
    std::lock_guard lock(mutex);
    stopped = true;
    aborted = true;
    wakeUp.notify_one();
}

void PainterThread::join()
{
    if (thread.joinable())
        thread.join();
}

void PainterThread::paint()
{
    if (!assignment)
        fail("no assignment set");
    pool->paintFunction(assignment, aborted);
}

void PainterThread::run()
{
    std::unique_lock lock(mutex);
    threadId = std::this_thread::get_id();
    while (!stopped) {
        if (!ongoing && !pool->takeQueuedTask(index))
            wakeUp.wait(lock, [this] { return ongoing || aborted || stopped; });
        if (stopped)
            break;
        if (aborted) {
            assignment.reset();
            aborted = false;
            ongoing = false;
            continue;
        }
        lock.unlock();
        deliver();
        // Nobody else touches `assignment` while `ongoing` is set; the last reference may
        // free the image, which needs no lock.
        std::shared_ptr<PainterTask> done = std::move(assignment);
        done.reset();
        lock.lock();
        aborted = false;
        ongoing = false;
    }
    assignment.reset();
}

// Paints the task in hand and hands it to its owner unless aborted. A paint that throws
// must not end the process, nor leave the owner waiting for the task: it is reported and
// the task is delivered without an image.
void PainterThread::deliver()
{
    const Glib::ustring name = assignment->signal ? assignment->signal->fullName : Glib::ustring("?");
    try {
        paint();
    } catch (const PrintMsgError&) {
        assignment->image.reset(); // reported already
    } catch (const std::exception& e) {
        assignment->image.reset();
        reportError("Painting %s failed: %s", name.c_str(), e.what());
    } catch (const Glib::Exception& e) {
        assignment->image.reset();
        reportError("Painting %s failed: %s", name.c_str(), e.what().c_str());
    } catch (...) {
        assignment->image.reset();
        reportError("Painting %s failed", name.c_str());
    }
    if (aborted || !assignment->owner)
        return;
    try {
        assignment->owner->onTaskFinished(assignment);
    } catch (const PrintMsgError&) {
        // Reported already.
    } catch (const std::exception& e) {
        reportError("Delivering the image of %s failed: %s", name.c_str(), e.what());
    } catch (...) {
        reportError("Delivering the image of %s failed", name.c_str());
    }
}

} // namespace vistra
