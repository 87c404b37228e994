#include "core/bit_rate.h"
#include "core/can_iface.h"
#include "core/frame_record.h"
#include "core/message.h"
#include "core/message_log.h"
#include "store/store.h"
#include "test_helpers.h"

#include <glibmm/main.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace vistra {
namespace {

constexpr u64 T0 = 1765000000000ULL; // Sat Dec 06 05:46:40 2025 UTC, a whole second
constexpr u64 kWrap = u64{1} << 32;

using test::drainLog;

// A quiet store (text mode: no dispatcher emits) whose ASC trace goes into memory.
class TraceStore : public Store {
public:
    TraceStore()
    {
        textMode = true;
        output = open_memstream(&buffer, &size);
        setTimeOffsetCallback([this](u64 abs, u64 offset) { offsetCalls.emplace_back(abs, offset); });
    }
    ~TraceStore() override
    {
        stop();
        std::fclose(output);
        std::free(buffer);
    }
    std::string trace()
    {
        std::fflush(output);
        return std::string(buffer, size);
    }
    void write(const FrameRecord& frame, u64 abs) { writeAscFrame(frame, &abs); }

    char* buffer = nullptr;
    std::size_t size = 0;
    std::vector<std::pair<u64, u64>> offsetCalls;
};

FrameRecord frame(u32 idWord, std::vector<u8> data, u8 iface = 0, u32 timestamp = 0)
{
    FrameRecord f;
    f.idWord = idWord;
    f.length = static_cast<u8>(data.size());
    for (std::size_t i = 0; i < data.size() && i < 8; ++i)
        f.data[i] = data[i];
    f.iface = iface;
    f.timestamp = timestamp;
    return f;
}

TEST(TimeBase, PendingBasesWrapsStepsBackAndContinuation)
{
    constexpr u64 O = T0 - 5000; // the running offset of the rows that start from a base
    constexpr u64 kHalf = kWrap / 2;
    struct Step {
        u64 pendingBase;
        u32 ts;
        u64 abs, offset;
        bool callback, wrapWarning;
    };
    struct Case {
        const char* what;
        bool takeNext;
        u64 offset, last;
        std::vector<Step> steps;
        u64 outOfOrder; // frames kept at the time of the frame before
    };
    const Case cases[] = {
        {"fresh store: the first base is taken, then a frame out of order",
         true, 0, 0,
         {{T0, 5000, T0, O, true, false},
          {0, 6000, T0 + 1000, O, false, false},
          {0, 5500, T0 + 1000, O, false, false},
          {0, 6500, T0 + 1500, O, false, false}},
         1},
        {"the clock runs over: the time goes on",
         false, O, O + 0xFFFFFF00,
         {{0, 0xFFFFFFF0, O + 0xFFFFFFF0, O, false, false},
          {0, 16, O + kWrap + 16, O + kWrap, true, true},
          {0, 20, O + kWrap + 20, O + kWrap, false, false}},
         0},
        {"a step back of half the clock is out of order, one more is a wrap",
         false, O, O + kHalf + 100,
         {{0, 100, O + kHalf + 100, O, false, false},
          {0, 99, O + kWrap + 99, O + kWrap, true, true}},
         1},
        {"without a base a small step back keeps the last time",
         false, O, T0 + 1000,
         {{0, 5999, T0 + 1000, O, false, false}, {0, 5000, T0 + 1000, O, false, false}},
         2},
        {"taken base earlier than the last frame: held at the last frame",
         true, O, T0 + 1000,
         {{T0, 100, T0 + 1000, T0 + 900, true, false}},
         0},
        {"a base within 20 s of the offset continues it",
         false, O, T0 + 1000,
         {{T0 + 25000, 15000, T0 + 10000, O, false, false}},
         0},
        {"exactly 20 s still continues",
         false, O, T0 + 1000,
         {{T0 + 30000, 15000, T0 + 10000, O, false, false}},
         0},
        {"a base below the offset continues it",
         false, O, T0 + 1000,
         {{T0, 15000, T0 + 10000, O, false, false}},
         0},
        {"a base further ahead re-bases at the base",
         false, O, T0 + 1000,
         {{T0 + 60000, 7000, T0 + 60000, T0 + 53000, true, false}},
         0},
        {"a base behind the last frame re-bases at the last frame",
         false, O, T0 + 1000,
         {{T0 + 500, 5600, T0 + 1000, T0 + 1000 - 5600, true, false}},
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TraceStore store;
        store.takeNextOffsetAsBase = c.takeNext;
        store.timeOffset = c.offset;
        store.lastFrameTime = c.last;
        drainLog();
        u64 earliest = kNoTime;
        for (const Step& s : c.steps) {
            store.pendingBase = s.pendingBase;
            store.offsetCalls.clear();
            testing::internal::CaptureStderr();
            store.dispatchFrame(frame(0x100, {1}, 0, s.ts));
            testing::internal::GetCapturedStderr();
            earliest = std::min(earliest, s.abs);
            EXPECT_EQ(store.lastFrameTime, s.abs);
            EXPECT_EQ(store.timeOffset, s.offset);
            EXPECT_EQ(store.pendingBase, 0u);
            EXPECT_FALSE(store.takeNextOffsetAsBase);
            EXPECT_EQ(store.firstFileStart, earliest);
            using Calls = std::vector<std::pair<u64, u64>>;
            const Calls expected = s.callback ? Calls{{s.abs, s.offset}} : Calls{};
            EXPECT_EQ(store.offsetCalls, expected);
            const auto texts = drainLog();
            if (s.wrapWarning)
                EXPECT_EQ(texts, std::vector<std::string>{"can message timestamp has overflowed (" +
                                                          std::to_string(s.ts) + ")"});
            else
                EXPECT_TRUE(texts.empty());
        }
        // One warning for the stream, with the count; then the count starts again.
        testing::internal::CaptureStderr();
        store.reportFramesOutOfOrder("trace.asc");
        store.reportFramesOutOfOrder("trace.asc");
        testing::internal::GetCapturedStderr();
        const std::vector<std::string> expected =
            c.outOfOrder == 0 ? std::vector<std::string>{}
                              : std::vector<std::string>{"Frames out of time order in trace.asc: " +
                                                         std::to_string(c.outOfOrder) +
                                                         ", each kept at the time of the frame before"};
        EXPECT_EQ(drainLog(), expected);
    }
}

TEST(AscWriter, HeaderAndFrameLines)
{
    const u32 ext = kExtendedFlag;
    struct Case {
        const char* what;
        FrameRecord frame;
        u64 abs;
        const char* line;
    };
    const Case cases[] = {
        {"extended identifier with two bytes", frame(ext | 0x1A2, {0x0A, 0xFF}), T0 + 12345,
         "12.3450 1 1A2x Rx d 2 0A FF\n"},
        {"no data", frame(0x123, {}, 1), T0 + 7, "0.0070 2 123 Rx d 0\n"},
        {"29-bit identifier", frame(ext | 0x18FF00FE, {1, 2, 3}, 0), T0 + 2000, "2.0000 1 18FF00FEx Rx d 3 01 02 03\n"},
        {"length above 8: only the 8 data bytes", frame(0x7FF, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}), T0 + 1,
         "0.0010 1 7FF Rx d 12 01 02 03 04 05 06 07 08\n"},
        {"a day later", frame(0x1, {0xAB}, 3), T0 + 86400000 + 999, "86400.9990 4 1 Rx d 1 AB\n"},
    };
    const std::string header = "date Sat Dec 06 05:46:40.000 am 2025\nbase hex  timestamps absolute\nno internal events logged\n";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TraceStore store;
        store.write(frame(ext | 0x1A2, {0x0A, 0xFF}), T0 + 678);
        store.write(c.frame, c.abs);
        EXPECT_EQ(store.trace(), header + "0.6780 1 1A2x Rx d 2 0A FF\n" + c.line);
        EXPECT_EQ(store.firstDumpedTime, T0);
    }
}

TEST(AscWriter, SkippedFramesAndTheHeader)
{
    const std::string header = "date Sat Dec 06 05:46:40.000 am 2025\nbase hex  timestamps absolute\nno internal events logged\n";
    {
        // Error frames and the logger's own reports write nothing, not even the header.
        TraceStore store;
        store.write(frame(kErrorFrameFlag | 0x4, {0, 4}), T0 + 1);
        store.write(frame(10, {1, 2}, 255), T0 + 2);
        EXPECT_EQ(store.trace(), "");
        EXPECT_EQ(store.firstDumpedTime, 0u);
    }
    {
        // A remote frame first: the header, no line.
        TraceStore store;
        store.write(frame(kRemoteFlag | 0x200, {}), T0 + 500);
        store.write(frame(0x200, {5}), T0 + 1750);
        EXPECT_EQ(store.trace(), header + "1.7500 1 200 Rx d 1 05\n");
    }
    {
        // A dump keeps its interval, both ends included; the header takes the first kept second.
        TraceStore store;
        store.dumpPending = true;
        store.dumpFrom = T0 + 1000;
        store.dumpTo = T0 + 2000;
        for (u64 t : {T0 + 999, T0 + 1000, T0 + 2000, T0 + 2001})
            store.write(frame(0x10, {}), t);
        EXPECT_EQ(store.trace(), "date Sat Dec 06 05:46:41.000 am 2025\nbase hex  timestamps absolute\nno internal events logged\n"
                                 "0.0000 1 10 Rx d 0\n1.0000 1 10 Rx d 0\n");
    }
    {
        TraceStore store;
        store.dumpPending = true;
        store.dumpFrom = T0 + 5000;
        store.dumpTo = T0 + 6000;
        store.write(frame(0x10, {}), T0 + 4000);
        store.write(frame(0x10, {}), T0 + 7000);
        EXPECT_EQ(store.trace(), "");
    }
}

TEST(AscWriter, HeaderOnceForALogAtTheEpoch)
{
    // A logger whose clock was never set starts at 1970-01-01 00:00:00.
    TraceStore store;
    for (u64 t : {0, 500, 1500})
        store.write(frame(0x10, {}), t);
    EXPECT_EQ(store.trace(), "date Thu Jan 01 00:00:00.000 am 1970\nbase hex  timestamps absolute\nno internal events logged\n"
                             "0.0000 1 10 Rx d 0\n0.5000 1 10 Rx d 0\n1.5000 1 10 Rx d 0\n");
}

TEST(AscWriter, DateStampColumn)
{
    TraceStore store;
    store.dateStamp = true;
    store.write(frame(kExtendedFlag | 0x1A2, {0x0A, 0xFF}), T0 + 678);
    store.write(frame(0x5, {}), T0 + 3600000 + 5);
    EXPECT_EQ(store.trace(), "date Sat Dec 06 05:46:40.000 am 2025\nbase hex  timestamps absolute\nno internal events logged\n"
                             "2025-12-06 05:46:40.678 1 1A2x Rx d 2 0A FF\n"
                             "2025-12-06 06:46:40.005 1 5 Rx d 0\n");
}

TEST(FrameDispatch, AscOutputWritesWithTheResolvedTime)
{
    TraceStore store;
    store.ascOutput = true;
    store.pendingBase = T0 + 250;
    store.dispatchFrame(frame(0x300, {0x11}, 0, 1000));
    store.dispatchFrame(frame(0x300, {0x22}, 0, 3500));
    EXPECT_EQ(store.trace(), "date Sat Dec 06 05:46:40.000 am 2025\nbase hex  timestamps absolute\nno internal events logged\n"
                             "0.2500 1 300 Rx d 1 11\n2.7500 1 300 Rx d 1 22\n");
}

// A message that records what it is handed; one identifier makes its decoding throw.
class RecordingMessage : public Message {
public:
    using Message::Message;
    void addFrame(const FrameRecord& f) override
    {
        if (f.data[0] == 0xEE)
            throw std::runtime_error("bad frame");
        frames.push_back(f);
    }
    std::vector<FrameRecord> frames;
};

struct Model {
    std::shared_ptr<CanIface> can = CanIface::create("Can", 0);
    std::shared_ptr<CanIface> stats = CanIface::create("ST_Can", 0x10000);
    std::shared_ptr<RecordingMessage> msg = std::make_shared<RecordingMessage>(0x100, "MsgA", can);
    std::shared_ptr<RecordingMessage> other = std::make_shared<RecordingMessage>(0x101, "MsgB", can);
    std::shared_ptr<RecordingMessage> errors = std::make_shared<RecordingMessage>(1, "Error", stats);
    std::shared_ptr<BitRate> busLoad = BitRate::create(nullptr);

    Store& store;

    explicit Model(Store& owner) : store(owner)
    {
        can->addMessage(msg);
        can->addMessage(other);
        stats->addMessage(errors);
        store.interfaces[0] = can;
        store.interfaces[0x10000] = stats;
        store.usedIfaces[0] = can.get();
        store.usedIfaces[0x10000] = stats.get();
        can->usedMessages[0x100] = msg.get();
        can->usedMessages[0x101] = other.get();
        msg->usedNotLoadedCount = 1;
        errors->usedNotLoadedCount = 1;
        store.bitRates = {busLoad.get()};
        busLoad->self.reset(); // owned here, not by the store's array
    }
    ~Model()
    {
        // The model goes before the store: leave it nothing that points here.
        store.bitRates.clear();
        store.usedIfaces.clear();
        store.interfaces.clear();
        can->clear();
        stats->clear();
        msg->clear();
        other->clear();
        errors->clear();
    }
};

TEST(FrameDispatch, DeliversToTheUsedMessageAndTheBusLoad)
{
    TraceStore store;
    Model model(store);
    store.pendingBase = T0;
    store.dispatchFrame(frame(0x100, {1}, 0, 500));
    store.dispatchFrame(frame(0x101, {2}, 0, 600)); // nothing left to load: dropped
    store.dispatchFrame(frame(0x102, {3}, 0, 700)); // not used: dropped
    store.dispatchFrame(frame(0x100, {4}, 1, 800)); // interface not used: dropped
    store.dispatchFrame(frame(kErrorFrameFlag | 0x4, {0, 4}, 0, 900));
    ASSERT_EQ(model.msg->frames.size(), 1u);
    EXPECT_EQ(model.msg->frames[0].absTime, T0);
    EXPECT_TRUE(model.other->frames.empty());
    ASSERT_EQ(model.errors->frames.size(), 1u);
    EXPECT_EQ(model.errors->frames[0].absTime, T0 + 400);
    // The bus load counts the frames of its interface that are no error frames, once it
    // needs loading.
    EXPECT_EQ(model.busLoad->windowStart, 0u);
    model.busLoad->needsLoad = true;
    store.dispatchFrame(frame(0x102, {3}, 0, 1000));
    EXPECT_EQ(model.busLoad->windowStart, T0 + 500);

    // Live decoding hands every frame of a used message over, loaded or not.
    store.liveDecode = true;
    store.dispatchFrame(frame(0x101, {2}, 0, 1100));
    EXPECT_EQ(model.other->frames.size(), 1u);
    store.liveDecode = false;
}

TEST(FrameDispatch, AFrameThatFailsToDecodeIsReportedAndTheNextOneDelivered)
{
    TraceStore store;
    Model model(store);
    drainLog();
    testing::internal::CaptureStderr();
    store.pendingBase = T0;
    store.dispatchFrame(frame(0x100, {0xEE}, 0, 500));
    store.dispatchFrame(frame(0x100, {1}, 0, 510));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(drainLog(), std::vector<std::string>{"Error while parsing CAN frame 256: bad frame"});
    EXPECT_EQ(model.msg->frames.size(), 1u);
}

} // namespace
} // namespace vistra
