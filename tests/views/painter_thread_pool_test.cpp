#include "views/painter_thread_pool.h"

#include "core/message_log.h"
#include "core/report.h"
#include "core/signal.h"
#include "core/store_host.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

namespace vistra {
namespace {

using namespace std::chrono_literals;

// Waits up to 20 s for pred, polling; painter threads run on their own.
template <typename Pred> bool eventually(Pred pred)
{
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// Plays a plot widget: counts every delivery per task id (the task's `y`) and keeps
// only images of its current generation.
class Owner : public PainterThreadPoolUser {
public:
    void onTaskFinished(std::shared_ptr<PainterTask> task) override
    {
        if (holdCallbacks) {
            std::unique_lock lock(mutex);
            ++waiting;
            changed.notify_all();
            changed.wait(lock, [this] { return !holdCallbacks; });
        }
        std::lock_guard lock(mutex);
        ++deliveries[task->y];
        ++total;
        if (afterDestruction)
            ++lateCallbacks;
        if (task->generation == generation)
            accepted.push_back(task->y);
        changed.notify_all();
    }
    // Waits up to 5 s until `n` tasks are delivered.
    bool waitForCount(int n)
    {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, 5s, [&] { return total >= n; });
    }
    int count()
    {
        std::lock_guard lock(mutex);
        return total;
    }

    std::mutex mutex;
    std::condition_variable changed;
    std::map<int, int> deliveries;
    std::vector<int> accepted;
    int total = 0;
    int waiting = 0;
    u32 generation = 1;
    std::atomic<bool> holdCallbacks{false};
    std::atomic<bool> afterDestruction{false};
    int lateCallbacks = 0;
};

// A fake paint: records the start order and holds each task until it is released
// (by its id) or aborted.
class Gate {
public:
    PainterThreadPool::PaintFunction paint()
    {
        return [this](const std::shared_ptr<PainterTask>& task, const std::atomic<bool>& aborted) {
            std::unique_lock lock(mutex);
            started.push_back(task->y);
            changed.notify_all();
            // The abort flag has no wake-up of its own here: look at it every millisecond.
            while (!releasedAll && !released.count(task->y) && !aborted)
                changed.wait_for(lock, 1ms);
        };
    }
    void release(int id)
    {
        std::lock_guard lock(mutex);
        released.insert({id, true});
        changed.notify_all();
    }
    void releaseAll()
    {
        std::lock_guard lock(mutex);
        releasedAll = true;
        changed.notify_all();
    }
    std::vector<int> startOrder()
    {
        std::lock_guard lock(mutex);
        return started;
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<int> started;
    std::map<int, bool> released;
    bool releasedAll = false;
};

std::shared_ptr<PainterTask> makeTask(Owner& owner, int id, u32 generation = 1)
{
    return std::make_shared<PainterTask>(&owner, generation, nullptr, 0, 1000, 10, 10, 0, id);
}

bool allIdle(PainterThreadPool& pool)
{
    for (auto& thread : pool.threads)
        if (thread->ongoing)
            return false;
    return true;
}

TEST(PainterThreadPool, QueuesBeyondItsThreadsAndServesTheQueueInOrder)
{
    Owner owner;
    Gate gate;
    PainterThreadPool pool(8, gate.paint());
    for (int id = 1; id <= 10; ++id)
        pool.addTask(makeTask(owner, id));
    EXPECT_EQ(pool.queuedCount(), 2u);
    ASSERT_TRUE(eventually([&] { return gate.startOrder().size() == 8; }));

    gate.release(3);
    ASSERT_TRUE(eventually([&] { return gate.startOrder().size() == 9; }));
    EXPECT_EQ(gate.startOrder().back(), 9);
    gate.release(5);
    ASSERT_TRUE(eventually([&] { return gate.startOrder().size() == 10; }));
    EXPECT_EQ(gate.startOrder().back(), 10);

    gate.releaseAll();
    ASSERT_TRUE(eventually([&] { return owner.count() == 10; }));
    for (int id = 1; id <= 10; ++id)
        EXPECT_EQ(owner.deliveries[id], 1) << id;
}

TEST(PainterThreadPool, CancelDropsQueuedAndRunningTasksAndLeavesNoFlagSet)
{
    Owner owner;
    Gate gate; // never released: the paints end only by abort
    PainterThreadPool pool(8, gate.paint());
    for (int id = 1; id <= 10; ++id)
        pool.addTask(makeTask(owner, id));
    ASSERT_TRUE(eventually([&] { return gate.startOrder().size() == 8; }));

    pool.cancelTasks();
    EXPECT_EQ(pool.queuedCount(), 0u);
    ASSERT_TRUE(eventually([&] { return allIdle(pool); }));
    EXPECT_EQ(owner.count(), 0);

    pool.cancelTasks(); // with every thread idle: changes nothing
    for (auto& thread : pool.threads)
        EXPECT_FALSE(thread->aborted);
    gate.releaseAll();
    for (int id = 11; id <= 20; ++id)
        pool.addTask(makeTask(owner, id));
    ASSERT_TRUE(eventually([&] { return owner.count() == 10; }));
}

TEST(PainterThreadPool, LateResultOfAnOldGenerationIsDropped)
{
    Owner owner;
    owner.holdCallbacks = true; // the paint returned and passed its abort check
    PainterThreadPool pool(2, [](const std::shared_ptr<PainterTask>&, const std::atomic<bool>&) {});
    pool.addTask(makeTask(owner, 1, 1));
    {
        std::unique_lock lock(owner.mutex);
        ASSERT_TRUE(owner.changed.wait_for(lock, 20s, [&] { return owner.waiting == 1; }));
        owner.generation = 2; // what a new render does on the GUI thread
    }
    pool.cancelTasks();
    pool.addTask(makeTask(owner, 2, 2));
    {
        std::unique_lock lock(owner.mutex);
        ASSERT_TRUE(owner.changed.wait_for(lock, 20s, [&] { return owner.waiting == 2; }));
        owner.holdCallbacks = false;
        owner.changed.notify_all();
    }
    ASSERT_TRUE(eventually([&] { return owner.count() == 2; }));
    EXPECT_EQ(owner.accepted, std::vector<int>{2});
}

// Many small tasks in bursts, each burst awaited: a task pushed onto the queue while
// every thread goes to sleep must still be painted.
TEST(PainterThreadPool, EveryTaskOfManyBurstsIsDeliveredOnce)
{
    for (int threads : {1, 8}) {
    SCOPED_TRACE(threads);
    Owner owner;
    // Paints of varying short length, so threads come free at every point of addTask.
    PainterThreadPool pool(threads, [](const std::shared_ptr<PainterTask>& task, const std::atomic<bool>&) {
        std::atomic<int> spin = task->y % 97;
        while (spin.fetch_sub(1, std::memory_order_relaxed) > 0) {
        }
    });
    constexpr int kTasks = 100000;
    int id = 0;
    for (int burst = 1; id < kTasks; burst = burst % (threads + 2) + 1) {
        for (int i = 0; i < burst && id < kTasks; ++i)
            pool.addTask(makeTask(owner, id++));
        ASSERT_TRUE(owner.waitForCount(id)) << "stranded after task " << id;
    }
    EXPECT_EQ(owner.deliveries.size(), std::size_t(kTasks));
    for (const auto& [taskId, n] : owner.deliveries)
        ASSERT_EQ(n, 1) << taskId;
    }
}

TEST(PainterThreadPool, DestructionWhileBusyJoinsEveryThreadAndCallsNobodyAfter)
{
    Owner owner;
    {
        Gate gate;
        PainterThreadPool pool(4, gate.paint());
        for (int id = 1; id <= 7; ++id)
            pool.addTask(makeTask(owner, id));
        ASSERT_TRUE(eventually([&] { return gate.startOrder().size() == 4; }));
        gate.release(1); // one paint returns while the pool goes down
        // ~PainterThreadPool, then ~Gate: a thread left running would use a dead gate.
    }
    owner.afterDestruction = true;
    std::this_thread::sleep_for(20ms);
    std::lock_guard lock(owner.mutex);
    EXPECT_EQ(owner.lateCallbacks, 0);
}

TEST(PainterThreadPool, WithoutThreadsTasksWaitInTheQueue)
{
    Owner owner;
    PainterThreadPool pool(0);
    for (int id = 1; id <= 3; ++id)
        pool.addTask(makeTask(owner, id));
    EXPECT_EQ(pool.queuedCount(), 3u);
    EXPECT_EQ(owner.count(), 0);
}

TEST(PainterThreadPool, PaintThatThrowsIsReportedAndTheTaskStillFinishes)
{
    while (!MessageLog::instance().empty())
        MessageLog::instance().pop();
    Owner owner;
    PainterThreadPool* self = nullptr;
    PainterThreadPool pool(1, [&self](const std::shared_ptr<PainterTask>& task, const std::atomic<bool>&) {
        switch (task->y) {
        case 1: throw std::runtime_error("surface too big");
        case 2: fail("already reported");
        case 3: throw 42;
        case 4: self->threads[0]->assignWork(task); break; // a programming error
        default: break;
        }
    });
    self = &pool;
    for (int id = 1; id <= 5; ++id)
        pool.addTask(makeTask(owner, id));
    ASSERT_TRUE(eventually([&] { return owner.count() == 5; }));
    for (int id = 1; id <= 5; ++id)
        EXPECT_EQ(owner.deliveries[id], 1) << id;

    std::vector<Glib::ustring> errors;
    while (!MessageLog::instance().empty()) {
        const MessageLog::Entry entry = MessageLog::instance().pop();
        if (entry.level == Level::Error)
            errors.push_back(entry.text);
    }
    const std::vector<Glib::ustring> want = {"Painting ? failed: surface too big", "already reported",
                                             "Painting ? failed",
                                             "assignWork may not be called from threads own context"};
    EXPECT_EQ(errors, want);
}

TEST(PainterThreadPool, PaintsSignalsByDefault)
{
    Owner owner;
    auto signal = std::make_shared<Signal>(nullptr, "S");
    signal->samples = {{100, 1.0}, {500, 2.0}};
    signal->setViewRange({1.0, 2.0});
    storeHost().viewStart = 100;
    storeHost().viewEnd = 500;
    std::shared_ptr<PainterTask> task = makeTask(owner, 1);
    storeHost().viewStart = kNoTime;
    storeHost().viewEnd = 0;
    task->signal = signal;
    {
        PainterThreadPool pool(2);
        pool.addTask(task);
        ASSERT_TRUE(eventually([&] { return owner.count() == 1; }));
    }
    ASSERT_TRUE(task->image);
    EXPECT_EQ(task->image->get_width(), 10);
}

} // namespace
} // namespace vistra
