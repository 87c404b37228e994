#include "store/store.h"

#include "core/can_iface.h"
#include "core/message.h"
#include "core/message_log.h"
#include "core/report.h"
#include "core/signal.h"
#include "test_helpers.h"

#include <glibmm/main.h>
#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <thread>

namespace vistra {
namespace {

using namespace std::chrono_literals;

constexpr u64 kT0 = 1765000000000ULL;

using test::drainLog;
using test::waitFor;

// Delivers the dispatchers' pending emits on this thread.
int runPendingDispatches()
{
    int n = 0;
    while (Glib::MainContext::get_default()->iteration(false))
        ++n;
    return n;
}

// A store whose input job is a function of the test.
class TestStore : public Store {
public:
    ~TestStore() override { stop(); }
    using Store::markJobBusy;
    std::function<void()> job = [] {};
    std::mutex jobsMutex;
    int jobsRun = 0;
    int jobsActive = 0;
    int maxActive = 0;

protected:
    void runJob() override
    {
        {
            std::lock_guard lock(jobsMutex);
            jobsRun += 1;
            jobsActive += 1;
            maxActive = std::max(maxActive, jobsActive);
        }
        struct Leave {
            TestStore& store;
            ~Leave()
            {
                std::lock_guard lock(store.jobsMutex);
                store.jobsActive -= 1;
            }
        } leave{*this};
        job();
    }
};

TEST(StoreWorker, RunsOneJobAtATimeAndRemembersOneRequest)
{
    TestStore store;
    std::atomic<bool> release{false};
    store.job = [&] {
        while (!release)
            std::this_thread::sleep_for(1ms);
    };
    store.startThread();
    store.requestParse();
    ASSERT_TRUE(waitFor([&] { std::lock_guard l(store.jobsMutex); return store.jobsRun == 1; }));
    EXPECT_TRUE(store.parsing);
    store.requestParse(); // two requests while a job runs lead to one further job
    store.requestParse();
    release = true;
    ASSERT_TRUE(waitFor([&] { std::lock_guard l(store.jobsMutex); return store.jobsRun == 2 && store.jobsActive == 0; }));
    std::this_thread::sleep_for(50ms);
    std::lock_guard l(store.jobsMutex);
    EXPECT_EQ(store.jobsRun, 2);
    EXPECT_EQ(store.maxActive, 1);
    EXPECT_FALSE(store.parsing);
    runPendingDispatches();
}

TEST(StoreWorker, AThrowingJobIsReportedAndTheNextRequestRuns)
{
    drainLog();
    TestStore store;
    int calls = 0;
    store.job = [&] {
        if (++calls == 1)
            throw std::runtime_error("broken input");
    };
    store.startThread();
    testing::internal::CaptureStderr();
    store.requestParse();
    ASSERT_TRUE(waitFor([&] { return !store.parsing && calls == 1; }));
    store.requestParse();
    ASSERT_TRUE(waitFor([&] { std::lock_guard l(store.jobsMutex); return store.jobsRun == 2 && store.jobsActive == 0; }));
    testing::internal::GetCapturedStderr();
    EXPECT_FALSE(store.isWorking());
    const auto texts = drainLog();
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Exception: broken input"), texts.end());
    runPendingDispatches();
}

TEST(StoreWorker, TextModeRunsOneJobOnTheCallingThreadWithoutEmitting)
{
    TestStore store;
    store.textMode = true;
    int emits = 0;
    store.progressChanged.connect([&] { ++emits; });
    store.dataChanged.connect([&] { ++emits; });
    std::thread::id jobThread;
    store.job = [&] { jobThread = std::this_thread::get_id(); };
    store.parseNow();
    EXPECT_EQ(jobThread, std::this_thread::get_id());
    EXPECT_EQ(store.jobsRun, 1);
    store.setViewWindow(kT0, kT0 + 10);
    store.beginWork();
    store.endWork();
    runPendingDispatches();
    EXPECT_EQ(emits, 0);

    TestStore failing;
    failing.textMode = true;
    failing.job = [] { throw std::runtime_error("to main"); };
    EXPECT_THROW(failing.parseNow(), std::runtime_error); // main reports it and exits with 1
    EXPECT_FALSE(failing.parsing);
}

TEST(StoreWorker, StopJoinsABusyWorker)
{
    TestStore store;
    std::atomic<bool> started{false};
    store.job = [&] {
        started = true;
        std::this_thread::sleep_for(100ms);
    };
    store.startThread();
    store.requestParse();
    ASSERT_TRUE(waitFor([&] { return started.load(); }));
    store.stop(); // returns only after the job has ended and the worker has gone
    std::lock_guard l(store.jobsMutex);
    EXPECT_EQ(store.jobsActive, 0);
    runPendingDispatches();
}

TEST(StoreState, BusyTextsAndWorkCounter)
{
    drainLog();
    TestStore store;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(store.isBusy());
    store.parsing = true;
    EXPECT_TRUE(store.isBusy());
    store.dumpPending = true;
    EXPECT_TRUE(store.isBusy());
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(drainLog(), (std::vector<std::string>{"Wait for parse to complete", "Wait for dump to finish"}));

    store.endWork(); // at 0 the counter stays 0
    EXPECT_FALSE(store.isWorking());
    store.beginWork();
    EXPECT_TRUE(store.isWorking());
    store.endWork();
    EXPECT_FALSE(store.isWorking());

    // The worker gives back only the mark its job took: a render's mark outlives a job that
    // took none (a live connection failing at once), and a job's own mark goes with it.
    TestStore rendering;
    rendering.textMode = true;
    rendering.beginWork();
    rendering.parseNow();
    EXPECT_TRUE(rendering.isWorking());
    TestStore loading;
    loading.textMode = true;
    bool busyInJob = false;
    loading.job = [&] {
        loading.markJobBusy();
        busyInJob = loading.isWorking();
    };
    loading.parseNow();
    EXPECT_TRUE(busyInJob);
    EXPECT_FALSE(loading.isWorking());

    store.parsing = false;
    store.networkMode = true; // a live connection is no parse
    store.requestParse();
    EXPECT_FALSE(store.parsing);
    runPendingDispatches();
}

// CAN0 with "MsgA" and "Msg.with.dots", and the virtual interface.
void addModel(Store& store)
{
    auto can0 = CanIface::create("CAN0", 0);
    auto virt = CanIface::create("Virt", 1024);
    for (auto [iface, id, name] : {std::tuple{can0, 1u, "MsgA"}, std::tuple{can0, 2u, "Msg.with.dots"},
                                   std::tuple{virt, 1u, "Virtual"}}) {
        auto msg = std::make_shared<Message>(id, name, iface);
        for (const char* sig : {"Signal0", "Sig"})
            msg->addSignal(sig, std::make_shared<Signal>(msg, sig));
        iface->addMessage(msg);
    }
    store.interfaces[0] = can0;
    store.interfaces[1024] = virt;
}

TEST(StoreLookups, FindSignalSplitsAtTheFirstAndLastDot)
{
    TestStore store;
    addModel(store);
    auto can = CanIface::create("Can", 3);
    auto msg = std::make_shared<Message>(5, "MsgA", can);
    msg->addSignal("Signal0", std::make_shared<Signal>(msg, "Signal0"));
    can->addMessage(msg);
    store.interfaces[3] = can;

    struct Case {
        const char* name;
        bool legacy;
        const char* found; // full name of the signal found, or the error text
    };
    const std::vector<Case> cases = {
        {"CAN0.MsgA.Signal0", false, "CAN0.MsgA.Signal0"},
        {"CAN0.Msg.with.dots.Sig", false, "CAN0.Msg.with.dots.Sig"},
        {"Virt.Virtual.Sig", false, "Virt.Virtual.Sig"},
        {"MsgA.Signal0", false, "Expected signal to be formatted as <iface>.<msg>.<sign> but got MsgA.Signal0"},
        {"MsgA.Signal0", true, "Can.MsgA.Signal0"},
        {"Virtual.Sig", true, "Virt.Virtual.Sig"},
        {"CAN9.MsgA.Signal0", false, "Couldn't find interface with name CAN9"},
        {"CAN0.MsgZ.Signal0", false, "Can't find message with name MsgZ"},
        {"CAN0.MsgA.Nope", false, "Can't find signal with name Nope"},
    };
    for (const auto& c : cases) {
        store.legacyNames = c.legacy;
        std::string result;
        try {
            result = store.findSignal(c.name)->fullName;
        } catch (const std::invalid_argument& e) {
            result = e.what();
        } catch (const SignalNotFoundException& e) {
            result = e.message;
        }
        EXPECT_EQ(result, c.found) << c.name;
    }
    EXPECT_THROW(store.getMessage(9, 0), std::invalid_argument);
    EXPECT_THROW(store.getMessage(1, 7), std::invalid_argument);
    EXPECT_EQ(store.getMessage(1, 0)->name, "MsgA");
    EXPECT_EQ(store.getIfaceByName("Virt")->number, 1024u);
    EXPECT_EQ(store.getIface(5), nullptr);
}

TEST(StoreViewWindow, SetOrdersTheEndsAndResetFollowsTheData)
{
    TestStore store;
    addModel(store);
    auto signal = store.findSignal("CAN0.MsgA.Signal0");
    for (u64 i = 0; i < 100; ++i)
        signal->addValue(kT0 + i * 10, double(i));
    store.firstTime = kT0;
    store.lastTime = kT0 + 990;
    store.viewStart = kT0;
    store.viewEnd = kT0 + 990;
    int dataChanges = 0;
    store.dataChanged.connect([&] { ++dataChanges; });

    store.setViewWindow(kT0 + 505, kT0 + 200); // given the wrong way round
    EXPECT_EQ(store.viewStart, kT0 + 200);
    EXPECT_EQ(store.viewEnd, kT0 + 505);
    EXPECT_TRUE(store.viewLocked);
    EXPECT_EQ(signal->viewRange().low, 19); // the value held at the window start counts
    EXPECT_EQ(signal->viewRange().high, 50);

    store.resetViewWindowAndNotify();
    EXPECT_FALSE(store.viewLocked);
    EXPECT_EQ(store.viewStart, kT0);
    EXPECT_EQ(store.viewEnd, kT0 + 990);
    EXPECT_EQ(signal->viewRange().low, 0);
    EXPECT_EQ(signal->viewRange().high, 99);
    store.resetViewWindowAndNotify(); // not locked: nothing
    runPendingDispatches();
    EXPECT_EQ(dataChanges, 2);
}

TEST(StoreViewWindow, ClearDataOnAnUnlockedEmptyStoreEmitsNoDataChange)
{
    TestStore store;
    int dataChanges = 0;
    store.dataChanged.connect([&] { ++dataChanges; });
    store.clearData();
    runPendingDispatches();
    EXPECT_EQ(dataChanges, 0);
}

TEST(StorePlotList, RefreshCountsEnabledAndUnloadedSignals)
{
    TestStore store;
    addModel(store);
    auto a = store.findSignal("CAN0.MsgA.Signal0");
    auto b = store.findSignal("Virt.Virtual.Sig");
    a->setEnabled(true);
    b->setEnabled(true);
    b->noPlot = true;
    store.refreshPlotSignals();
    ASSERT_EQ(store.plotSignals().size(), 1u);
    EXPECT_EQ(store.plotSignals()[0], a);
    EXPECT_EQ(store.plotCount, 1u);
    EXPECT_EQ(store.selectedSignalCount, 2u);
    EXPECT_EQ(store.usedNotLoadedCount, 2u);
    EXPECT_EQ(store.progress, 0);
    a->loaded = b->loaded = true;
    store.refreshPlotSignals();
    EXPECT_EQ(store.progress, 255);

    std::weak_ptr<Signal> weak = a;
    a.reset();
    b.reset();
    store.clearData();
    EXPECT_TRUE(weak.expired());
    EXPECT_TRUE(store.interfaces.empty());
    runPendingDispatches();
}

TEST(StoreTimeText, FormatTime)
{
    TestStore store;
    store.firstTime = kT0;
    struct Case {
        i64 ms;
        bool absolute;
        bool withDate;
        const char* text;
    };
    const std::vector<Case> cases = {
        {-1500, true, false, "-00:00:01.500"},
        {90061001, true, false, " (+1) 01:01:01.001"},
        {3723004, true, false, " 01:02:03.004"},
        {i64(kT0), true, true, "  2025-12-06 05:46:40.000"},
        {i64(kT0 + 12345), false, false, " 12.345s"},
        {i64(kT0 - 250), false, false, "-0.250s"},
    };
    char buf[64];
    for (const auto& c : cases)
        EXPECT_STREQ(store.formatTime(c.ms, buf, sizeof buf, c.absolute, c.withDate), c.text) << c.ms;
    EXPECT_STREQ(store.formatTime(3723004, buf, 6, true, false), " 01:0"); // truncated as snprintf does
}

} // namespace
} // namespace vistra
