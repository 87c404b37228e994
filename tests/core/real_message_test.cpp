#include "core/can_iface.h"
#include "core/parsed_log.h"
#include "core/real_message.h"
#include "core/real_signal.h"
#include "core/report.h"
#include "test_helpers.h"
#include "core_samples.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace vistra {
namespace {

using test::T;

FrameRecord frame(u8 b0, u8 b1, u64 t, u8 iface = 0, u32 idWord = 0x100)
{
    FrameRecord f;
    f.idWord = idWord;
    f.length = 8;
    f.data[0] = b0;
    f.data[1] = b1;
    f.iface = iface;
    f.absTime = t;
    return f;
}

std::vector<double> values(const Signal& s)
{
    std::vector<double> out;
    for (const Sample& sample : s.samples)
        out.push_back(sample.value);
    return out;
}

class RealMessageTest : public testing::Test {
protected:
    void SetUp() override
    {
        iface = CanIface::create("Can", 0);
        msg = RealMessage::create(0x100, "M", iface);
        a = RealSignal::create(msg, "A", 0, 8, 1, '+', "", 1, 0, 0, 0);
        msg->addSignal("A", a);
    }
    void TearDown() override
    {
        msg->clear();
        test::drainLog();
    }
    void use(const std::shared_ptr<Signal>& s)
    {
        s->addUser(nullptr);
        msg->updateSignalCounts();
    }
    test::StoreHostReset hostReset;
    std::shared_ptr<CanIface> iface;
    std::shared_ptr<RealMessage> msg;
    std::shared_ptr<RealSignal> a;
};

TEST_F(RealMessageTest, RateSignalIsHiddenInternalToggle)
{
    ASSERT_TRUE(msg->rateSignal);
    auto rate = std::dynamic_pointer_cast<RealSignal>(msg->rateSignal);
    ASSERT_TRUE(rate);
    EXPECT_EQ(msg->getSignal("___rate___"), msg->rateSignal);
    EXPECT_TRUE(rate->hidden && rate->noPlot && rate->internal);
    EXPECT_EQ(rate->length, 0u);
    EXPECT_EQ(rate->muxValue, RealSignal::kNotMultiplexed);

    RealMessage unowned(1, "U", iface);
    EXPECT_THROW(unowned.createRateSignal(-1), std::bad_weak_ptr);
}

TEST_F(RealMessageTest, UnusedMessageStartsNoThread)
{
    msg->updateSignalCounts();
    EXPECT_FALSE(msg->needsDecoding());
    EXPECT_FALSE(msg->startThread());
    EXPECT_FALSE(msg->startThreadLowPriority({}));
    EXPECT_EQ(msg->thread, nullptr);
    msg->endOfLoad(); // without a thread: only the message's own end of load
}

TEST_F(RealMessageTest, DecodesOnlyNeededSignalsAndStopsAtFirstUnused)
{
    auto b = RealSignal::create(msg, "B", 8, 8, 1, '+', "", 1, 0, 0, 0);
    msg->addSignal("B", b);
    use(a);
    msg->decodeFrame(frame(5, 6, T));
    EXPECT_EQ(values(*a), std::vector<double>{5});
    EXPECT_TRUE(b->samples.empty());

    storeHost().liveDecode = true; // live decoding takes every signal
    msg->decodeFrame(frame(7, 8, T + 10));
    EXPECT_EQ(values(*b), std::vector<double>{8});
}

// Records as a parser hands them over: times ready at once, indexed or walked whole.
struct ReadyLog : ParsedLog {
    bool waitTimesReady() override { return true; }
};

TEST_F(RealMessageTest, WalksOnlyItsOwnRecordsOfEveryLogInOrder)
{
    use(a);
    // Same identifier on another interface, another identifier, the extended form of the
    // same number: none of them is this message's.
    std::vector<std::shared_ptr<ParsedLog>> logs;
    for (bool indexed : {true, false, true}) {
        auto log = std::make_shared<ReadyLog>();
        const u8 base = static_cast<u8>(logs.size() * 10);
        log->records = {frame(base + 1, 0, T + base), frame(99, 0, T + base + 1, 1),
                        frame(98, 0, T + base + 2, 0, 0x200), frame(base + 2, 0, T + base + 3),
                        frame(97, 0, T + base + 4, 0, 0x80000100), frame(base + 3, 0, T + base + 5)};
        if (indexed)
            log->indexRecords();
        logs.push_back(log);
    }
    logs.push_back(std::make_shared<ReadyLog>()); // an empty file
    ASSERT_TRUE(msg->startThreadLowPriority({logs.begin(), logs.end()}));
    msg->endOfLoad();
    EXPECT_EQ(values(*a), (std::vector<double>{1, 2, 3, 11, 12, 13, 21, 22, 23}));
}

TEST_F(RealMessageTest, MuxSwitchDecodedBeforeMultiplexedSignals)
{
    // The switch copy sets the current multiplexor value, even though no user wants it.
    auto mux = RealSignal::create(msg, "Mux", 0, 8, 1, '+', "", 1, 0, 0, 0);
    mux->muxValue = RealSignal::kMuxSwitch;
    msg->muxSignal = mux;
    auto m1 = RealSignal::create(msg, "M1", 8, 8, 1, '+', "", 1, 0, 0, 0);
    m1->muxValue = 1;
    msg->addSignal("M1", m1);
    use(m1);
    msg->decodeFrame(frame(1, 42, T));
    msg->decodeFrame(frame(2, 43, T + 10));
    msg->decodeFrame(frame(1, 44, T + 20));
    EXPECT_EQ(values(*m1), (std::vector<double>{42, 44}));
}

TEST_F(RealMessageTest, DecodeThreadMatchesFrameByFrameDecode)
{
    // A multiplexed message with a plain signal, two multiplexed ones, the rate toggle and
    // a rate toggle of one multiplexor value; the thread decodes it in runs of frames, the
    // twin frame by frame. Long logs, so that runs end inside a file.
    auto build = [this](const std::shared_ptr<RealMessage>& m) {
        auto mux = RealSignal::create(m, "Mux", 0, 2, 1, '+', "", 1, 0, 0, 0);
        mux->muxValue = RealSignal::kMuxSwitch;
        m->muxSignal = mux;
        std::vector<std::shared_ptr<Signal>> all{m->rateSignal, m->createRateSignal(1)};
        for (int k = 0; k < 3; ++k) {
            auto s = RealSignal::create(m, "S" + std::to_string(k), 8, 3, 1, '+', "", 1, 0, 0, 0);
            s->muxValue = k == 0 ? RealSignal::kNotMultiplexed : k;
            m->addSignal(s->name, s);
            all.push_back(s);
        }
        for (auto& s : all)
            s->addUser(nullptr);
        m->updateSignalCounts();
        return all;
    };
    auto twin = RealMessage::create(0x100, "M", iface);
    const auto threaded = build(msg);
    const auto plain = build(twin);

    std::vector<std::shared_ptr<ParsedLog>> logs;
    u32 state = 1;
    for (int file = 0; file < 2; ++file) {
        auto log = std::make_shared<ReadyLog>();
        for (u32 i = 0; i < 10000; ++i) {
            state = state * 1103515245 + 12345;
            const u8 iface = (state >> 20) % 5 == 0 ? 1 : 0; // some frames of another bus
            log->records.push_back(frame(u8(state >> 24), u8(state >> 16), T + file * 100000 + i * 7, iface));
        }
        log->indexRecords();
        logs.push_back(log);
    }
    ASSERT_TRUE(msg->startThreadLowPriority({logs.begin(), logs.end()}));
    msg->endOfLoad();
    for (const auto& log : logs)
        for (const FrameRecord& f : log->records)
            if (f.iface == 0)
                twin->decodeFrame(f);
    twin->endOfLoad();
    for (std::size_t k = 0; k < plain.size(); ++k) {
        EXPECT_GT(plain[k]->samples.size(), 100u) << plain[k]->name;
        EXPECT_EQ(threaded[k]->samples, plain[k]->samples) << plain[k]->name;
    }
    EXPECT_EQ(msg->currentMux, twin->currentMux);
    twin->clear();
}

TEST_F(RealMessageTest, QueueThreadDecodesEveryFrameQueuedBeforeEnd)
{
    use(a);
    ASSERT_TRUE(msg->startThread());
    EXPECT_THROW(msg->startThread(), PrintMsgError);
    EXPECT_EQ(test::drainLog(), std::vector<std::string>{"thread already created"});
    for (u8 i = 0; i < 200; ++i)
        msg->addFrame(frame(i, 0, T + i));
    msg->endOfLoad();
    EXPECT_EQ(msg->thread, nullptr);
    EXPECT_EQ(a->samples.size(), 200u);
    EXPECT_TRUE(a->loaded);
    // The next load may start a thread again.
    a->loaded = false;
    a->needsLoad = true;
    msg->updateSignalCounts();
    EXPECT_TRUE(msg->startThread());
    msg->endOfLoad();
}

// A signal whose decoding fails, as when memory runs out while its samples grow.
struct FailingSignal : Signal {
    using Signal::Signal;
    void onFrame(const FrameRecord&) override { throw std::bad_alloc(); }
};

TEST_F(RealMessageTest, DecodeThreadsReportAFailureAndEndCleanly)
{
    auto failing = std::make_shared<FailingSignal>(msg, "F");
    msg->addSignal("F", failing);
    a->addUser(nullptr); // two uses: A comes first in the decode order
    use(a);
    use(failing);

    // The walk of a log load ends at the failure; what came before it stays.
    auto log = std::make_shared<ReadyLog>();
    log->records = {frame(1, 0, T), frame(2, 0, T + 1)};
    ASSERT_TRUE(msg->startThreadLowPriority({log}));
    msg->endOfLoad();
    EXPECT_EQ(values(*a), (std::vector<double>{1, 2}));
    EXPECT_EQ(test::drainLog(), std::vector<std::string>{"Decoding Can.M failed: std::bad_alloc"});

    // The queue thread drops the failed frame and goes on with the next.
    a->loaded = false;
    a->needsLoad = failing->needsLoad = true;
    msg->updateSignalCounts();
    ASSERT_TRUE(msg->startThread());
    msg->addFrame(frame(3, 0, T + 2));
    msg->addFrame(frame(4, 0, T + 3));
    msg->endOfLoad();
    EXPECT_EQ(values(*a), (std::vector<double>{1, 2, 3, 4}));
    EXPECT_EQ(test::drainLog(), std::vector<std::string>{"Decoding Can.M failed: std::bad_alloc"});
}

// A signal that holds its decode thread on its first frame until released.
struct HeldSignal : Signal {
    using Signal::Signal;
    void onFrame(const FrameRecord& frame) override
    {
        {
            std::unique_lock lock(mutex);
            reached = true;
            changed.notify_all();
            changed.wait(lock, [this] { return released; });
        }
        addValue(frame.absTime, frame.data[0]);
    }
    void release()
    {
        std::lock_guard lock(mutex);
        released = true;
        changed.notify_all();
    }
    bool waitReached()
    {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(10), [this] { return reached; });
    }
    std::mutex mutex;
    std::condition_variable changed;
    bool reached = false;
    bool released = false;
};

TEST_F(RealMessageTest, DecodeThreadsKeepWithinTwoFilesOfTheSlowest)
{
    // Message M walks freely; message N is held on its first frame. M decodes two files
    // and then waits until N is done with the first; a walk that ends early (N's
    // failing signal in the second round) holds nobody back.
    auto other = RealMessage::create(0x200, "N", iface);
    auto held = std::make_shared<HeldSignal>(other, "H");
    other->addSignal("H", held);
    held->addUser(nullptr);
    other->updateSignalCounts();
    use(a);
    std::vector<std::shared_ptr<ParsedLog>> logs;
    for (u8 file = 0; file < 4; ++file) {
        auto log = std::make_shared<ReadyLog>();
        log->records = {frame(file, 0, T + file * 10), frame(file, 0, T + file * 10 + 1, 0, 0x200)};
        log->indexRecords();
        logs.push_back(log);
    }
    ASSERT_TRUE(other->startThreadLowPriority({logs.begin(), logs.end()}));
    ASSERT_TRUE(held->waitReached());
    ASSERT_TRUE(msg->startThreadLowPriority({logs.begin(), logs.end()}));
    auto decoded = [this] {
        std::lock_guard lock(*a->samplesMutex);
        return values(*a);
    };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (decoded().size() < 2 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(100)); // time to walk on, were it free to
    EXPECT_EQ(decoded(), (std::vector<double>{0, 1}));
    held->release();
    msg->endOfLoad();
    other->endOfLoad();
    EXPECT_EQ(values(*a), (std::vector<double>{0, 1, 2, 3}));
    EXPECT_EQ(values(*held), (std::vector<double>{0, 1, 2, 3}));
    for (const auto& log : logs)
        EXPECT_EQ(log->walkers->left, 0u);

    auto failing = std::make_shared<FailingSignal>(other, "F");
    other->addSignal("F", failing);
    failing->addUser(nullptr); // two uses: first in the decode order
    failing->addUser(nullptr);
    other->updateSignalCounts();
    a->clear();
    msg->updateSignalCounts();
    ASSERT_TRUE(other->startThreadLowPriority({logs.begin(), logs.end()}));
    ASSERT_TRUE(msg->startThreadLowPriority({logs.begin(), logs.end()}));
    msg->endOfLoad();
    other->endOfLoad();
    EXPECT_EQ(values(*a), (std::vector<double>{0, 1, 2, 3}));
    EXPECT_EQ(test::drainLog(), std::vector<std::string>{"Decoding Can.N failed: std::bad_alloc"});
    other->clear();
}

TEST_F(RealMessageTest, ClearReleasesSwitchAndRateSignal)
{
    auto mux = RealSignal::create(msg, "Mux", 0, 8, 1, '+', "", 1, 0, 0, 0);
    msg->muxSignal = mux;
    std::weak_ptr<Signal> rate = msg->rateSignal;
    std::weak_ptr<Message> weakMsg = msg;
    std::weak_ptr<Signal> weakA = a;
    a.reset();
    mux.reset();
    msg->clear();
    msg.reset();
    EXPECT_TRUE(rate.expired());
    EXPECT_TRUE(weakA.expired());
    EXPECT_TRUE(weakMsg.expired());
    msg = RealMessage::create(0x100, "M", iface); // for TearDown
}

} // namespace
} // namespace vistra
