// CAN socket access. This kernel has no SocketCAN: the CAN sockets' failure paths are
// tested as they are, the frame reads on UDP loopback sockets, where the same kernel
// calls (read, SIOCGSTAMP, recvmmsg with receive times and drop counts) work, and the
// SocketCAN job through a frame source of the test.
#include "store/can_batch_reader.h"
#include "store/can_socket.h"

#include "core/can_iface.h"
#include "core/message.h"
#include "core/message_log.h"
#include "core/real_message.h"
#include "core/real_signal.h"
#include "core/report.h"
#include "core/signal.h"
#include "store/store.h"
#include "test_helpers.h"
#include "virtual/virtual_message.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/can.h>
#include <linux/net_tstamp.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace vistra {
namespace {

using test::drainLog;

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A classic CAN frame as the kernel hands it out: 16 bytes.
std::string canFrameBytes(u32 idWord, u8 length, u8 seed)
{
    can_frame frame{};
    frame.can_id = idWord;
    frame.len = length;
    for (int i = 0; i < 8; ++i)
        frame.data[i] = static_cast<u8>(seed + i);
    return {reinterpret_cast<const char*>(&frame), sizeof frame};
}

// A UDP receiver on 127.0.0.1 (ephemeral port) and a sender bound to `from`.
struct UdpPair {
    explicit UdpPair(const char* from = "127.0.0.1")
    {
        receiver = ::socket(AF_INET, SOCK_DGRAM, 0);
        sender = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(::bind(receiver, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        socklen_t size = sizeof address;
        ::getsockname(receiver, reinterpret_cast<sockaddr*>(&address), &size);
        sockaddr_in source{};
        source.sin_family = AF_INET;
        ::inet_pton(AF_INET, from, &source.sin_addr);
        EXPECT_EQ(::bind(sender, reinterpret_cast<sockaddr*>(&source), sizeof source), 0);
        EXPECT_EQ(::connect(sender, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        // What the batch reader takes as the interface index of a frame from this sender:
        // the int after the family in the sender's address, there the IPv4 address.
        std::memcpy(&senderIndex, &source.sin_addr, sizeof senderIndex);
    }
    ~UdpPair()
    {
        if (receiver >= 0)
            ::close(receiver);
        ::close(sender);
    }
    void send(const std::string& bytes) const
    {
        ASSERT_EQ(::send(sender, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
    }

    int receiver = -1;
    int sender = -1;
    int senderIndex = 0;
};

// Whether this kernel has SocketCAN at all (this machine's has not).
bool socketCanHere()
{
    const int fd = ::socket(PF_CAN, SOCK_RAW, CAN_RAW);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

TEST(CanSocket, OpeningFails)
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(openCanSocket(3), -1);
    const std::string err = testing::internal::GetCapturedStderr();
    if (socketCanHere()) {
        EXPECT_TRUE(contains(err, " ERR Could not determine interface index for channel 3\033[0m\n")) << err;
    } else {
        EXPECT_TRUE(contains(err, " ERR open socket failed: Address family not supported by protocol\033[0m\n")) << err;
        testing::internal::CaptureStderr();
        EXPECT_EQ(openCanSocketSource(-1), nullptr);
        testing::internal::GetCapturedStderr();
    }
}

TEST(CanSocket, ReadsOneFrameWithItsReceiveTime)
{
    UdpPair udp;
    udp.send(canFrameBytes(0x800001A2, 2, 0x0A));
    udp.send(canFrameBytes(0x123, 12, 1)); // a length above 8: the 8 data bytes only
    FrameRecord frame;
    frame.iface = 77; // not the reader's to set
    const u64 before = wallClockMs();
    ASSERT_EQ(readCanTimestamp(udp.receiver, &frame), 1);
    EXPECT_EQ(frame.idWord, 0x800001A2u);
    EXPECT_EQ(frame.length, 2);
    EXPECT_EQ(frame.data[0], 0x0A);
    EXPECT_EQ(frame.data[1], 0x0B);
    EXPECT_EQ(frame.data[2], 0); // beyond the length
    EXPECT_LE(frame.absTime, wallClockMs());
    EXPECT_GE(frame.absTime + 1000, before);
    ASSERT_EQ(readCanTimestamp(udp.receiver, &frame), 1);
    EXPECT_EQ(frame.length, 12);
    EXPECT_EQ(frame.data[7], 8);
    EXPECT_EQ(frame.iface, 77);

    for (const std::string& wrong : {canFrameBytes(1, 1, 1).substr(0, 10), canFrameBytes(1, 1, 1) + "1234"}) {
        udp.send(wrong);
        EXPECT_EQ(readCanTimestamp(udp.receiver, &frame), -1) << wrong.size() << " bytes";
    }
    EXPECT_EQ(waitReadable(udp.receiver, 10), 0);
}

TEST(CanSocket, NoReceiveTimeOnASocketPair)
{
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_DGRAM, 0, pair), 0);
    const std::string bytes = canFrameBytes(5, 1, 1);
    ASSERT_EQ(::write(pair[1], bytes.data(), bytes.size()), 16);
    FrameRecord frame;
    testing::internal::CaptureStderr();
    EXPECT_EQ(readCanTimestamp(pair[0], &frame), -1);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(contains(err, " ERR get timestamp ioctl failed: Inappropriate ioctl for device")) << err;
    ::close(pair[0]);
    ::close(pair[1]);
}

// The kernel turns software receive times on for everyone a moment after the first
// socket asks for them, and off again after the last one closes: until then frames come
// without them. One socket that wants them stays open for the whole run, and this waits
// until a frame comes with one.
void keepReceiveTimesOn()
{
    static const bool on = [] {
        static UdpPair self;
        const int flags = SOF_TIMESTAMPING_RX_SOFTWARE | SOF_TIMESTAMPING_SOFTWARE;
        ::setsockopt(self.receiver, SOL_SOCKET, SO_TIMESTAMPING, &flags, sizeof flags);
        for (int attempt = 0; attempt < 300; ++attempt) {
            self.send("x");
            char byte;
            iovec vector{&byte, 1};
            alignas(cmsghdr) char control[256];
            msghdr m{};
            m.msg_iov = &vector;
            m.msg_iovlen = 1;
            m.msg_control = control;
            m.msg_controllen = sizeof control;
            if (::recvmsg(self.receiver, &m, 0) == 1 && CMSG_FIRSTHDR(&m))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }();
    ASSERT_TRUE(on);
}

// The logger-side batch reader over a UDP receiver with the receive options on.
struct BatchReader {
    explicit BatchReader(UdpPair& udp, bool withOptions = true, bool knownSender = true)
    {
        keepReceiveTimesOn();
        if (withOptions) {
            EXPECT_TRUE(enableCanReceive(udp.receiver));
        }
        std::map<int, u8> channels;
        if (knownSender)
            channels[udp.senderIndex] = 2;
        handle = attachCanSocket(udp.receiver, channels);
        udp.receiver = -1; // the handle owns it
    }
    ~BatchReader() { releaseCanSocket(handle); }
    FrameRecord next()
    {
        FrameRecord frame;
        EXPECT_EQ(readCanBatch(handle, &frame), 1);
        return frame;
    }
    CanSocketHandle* handle;
};

TEST(CanBatchReader, HandsOutBatchesFrameByFrame)
{
    UdpPair udp;
    BatchReader reader(udp);
    constexpr int kFrames = kCanBatchSize + 50;
    for (int i = 0; i < kFrames; ++i)
        udp.send(canFrameBytes(static_cast<u32>(i), static_cast<u8>(i % 9), static_cast<u8>(i)));
    const u64 now = wallClockMs();
    for (int i = 0; i < kFrames; ++i) {
        const FrameRecord frame = reader.next();
        // One read of the kernel takes a whole batch, the rest the next.
        EXPECT_EQ(reader.handle->filled, i < kCanBatchSize ? kCanBatchSize : 50);
        ASSERT_EQ(frame.idWord, static_cast<u32>(i));
        EXPECT_EQ(frame.length, i % 9);
        EXPECT_EQ(frame.data[0], frame.length != 0 ? static_cast<u8>(i) : 0);
        EXPECT_EQ(frame.iface, 2);
        EXPECT_LE(frame.absTime, now + 1000);
        EXPECT_GE(frame.absTime + 1000, now);
        EXPECT_EQ(frame.timestamp, static_cast<u32>(frame.absTime));
    }
}

TEST(CanBatchReader, FramesItCannotHandOutAreReportedAndCounted)
{
    struct Case {
        const char* what;
        bool withOptions, knownSender;
        std::string bytes;
        u32 dropId;
        std::string message;
    };
    UdpPair probe;
    const Case cases[] = {
        {"short read", true, true, canFrameBytes(1, 1, 1).substr(0, 10), 0x20000101,
         "WRN Got invalid can frame length 10 expected 16"},
        {"CAN FD size", true, true, std::string(72, '\0'), 0x20000101, "WRN Got invalid can frame length 72 expected 16"},
        {"no receive time", false, true, canFrameBytes(1, 1, 1), 0x20000102, "ERR No data added to frame"},
        {"unknown interface", true, false, canFrameBytes(1, 1, 1), 0x20000102,
         "ERR Interface index " + std::to_string(probe.senderIndex) + " was not found during init"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        UdpPair udp;
        BatchReader reader(udp, c.withOptions, c.knownSender);
        udp.send(c.bytes);
        udp.send(c.bytes);
        udp.send(canFrameBytes(0x7FF, 1, 9));
        testing::internal::CaptureStderr();
        FrameRecord drop = reader.next();
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_TRUE(contains(err, c.message)) << err;
        // Each lost frame is handed out at once, before the frames after it, with the
        // running total of its kind.
        for (u32 total : {1u, 2u}) {
            EXPECT_EQ(drop.idWord, c.dropId);
            EXPECT_EQ(drop.iface, 255);
            EXPECT_EQ(drop.length, 8);
            EXPECT_EQ(drop.data[4], total);
            if (total == 1) {
                testing::internal::CaptureStderr();
                drop = reader.next();
                testing::internal::GetCapturedStderr();
            }
        }
        if (c.withOptions && c.knownSender) {
            EXPECT_EQ(reader.next().idWord, 0x7FFu);
        }
    }
}

TEST(CanBatchReader, QueueOverflowIsReportedBeforeTheNextFrame)
{
    UdpPair udp;
    BatchReader reader(udp);
    const int small = 4096; // a few datagrams only
    ASSERT_EQ(::setsockopt(reader.handle->fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small), 0);
    constexpr int kSent = 150;
    for (int i = 0; i < kSent; ++i)
        udp.send(canFrameBytes(static_cast<u32>(i), 1, 0));
    const FrameRecord first = reader.next();
    EXPECT_EQ(first.idWord, 0u);
    const int queued = reader.handle->filled;
    ASSERT_LT(queued, kSent);
    for (int i = 1; i < queued; ++i)
        EXPECT_EQ(reader.next().idWord, static_cast<u32>(i));
    // The kernel tells the drops with the next frame it queues.
    udp.send(canFrameBytes(0x555, 1, 0));
    const FrameRecord drop = reader.next();
    EXPECT_EQ(drop.idWord, 0x20000100u);
    EXPECT_EQ(drop.iface, 255);
    u32 total = 0;
    std::memcpy(&total, drop.data + 4, 4);
    EXPECT_EQ(total, static_cast<u32>(kSent - queued));
    EXPECT_EQ(reader.next().idWord, 0x555u);
}

TEST(CanBatchReader, SetUpAndFailures)
{
    if (!socketCanHere()) {
        testing::internal::CaptureStderr();
        CanSocketHandle* handle = reinterpret_cast<CanSocketHandle*>(1);
        EXPECT_EQ(setupCanSocket(&handle, "/nonexistent/count.txt"), -1);
        EXPECT_EQ(handle, nullptr);
        const std::string err = testing::internal::GetCapturedStderr();
        for (const char* text : {"ERR open socket failed: Address family not supported by protocol",
                                 "ERR Init socket failed"})
            EXPECT_TRUE(contains(err, text)) << text << "\n" << err;
    }
    testing::internal::CaptureStderr();
    EXPECT_EQ(setupCanSocket(nullptr), -1);
    FrameRecord frame;
    EXPECT_EQ(readCanBatch(nullptr, &frame), -1);
    EXPECT_EQ(countCanDrops(nullptr, nullptr), -1);
    CanSocketHandle* closed = attachCanSocket(-1, {});
    EXPECT_EQ(readCanBatch(closed, &frame), -1);
    releaseCanSocket(closed);
    const std::string err = testing::internal::GetCapturedStderr();
    for (const char* text :
         {"ERR Invalid pointer to handle", "ERR Nullptr", "ERR Got NULL ptr when updating drop", "ERR recvmmsg failed"})
        EXPECT_TRUE(contains(err, text)) << text << "\n" << err;

    // The interface count, where the logger's other programs read it.
    UdpPair udp;
    std::map<int, u8> channels;
    EXPECT_EQ(probeCanInterfaces(udp.receiver, channels), 0); // no CAN interfaces here
    const std::string count = std::string(std::getenv("HOME")) + "/ifcount.txt";
    std::ofstream(count) << "12345";
    EXPECT_TRUE(writeCanIfCount(count.c_str(), 3));
    EXPECT_EQ(test::readFileText(count), "3");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(writeCanIfCount("/nonexistent/count.txt", 3));
    EXPECT_TRUE(contains(testing::internal::GetCapturedStderr(), "ERR Could not open /nonexistent/count.txt for writing"));
}

// A scripted frame source: each entry is a read result (1 with the frame, 0 timed out,
// -1 failed); an empty script reads as a quiet bus.
struct ScriptedSource : CanFrameSource {
    struct Step {
        int status;
        FrameRecord frame;
    };
    std::deque<Step>* script;
    std::atomic<int>* longestWait;
    int read(FrameRecord* frame, int waitMs) override
    {
        *longestWait = std::max(longestWait->load(), waitMs);
        if (script->empty()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
            return 0;
        }
        const Step step = script->front();
        script->pop_front();
        *frame = step.frame;
        return step.status;
    }
};

class KvaserStore : public Store {
public:
    KvaserStore() { kvaserInput = true; }
    ~KvaserStore() override { stop(); }
    std::deque<ScriptedSource::Step> script;
    std::atomic<int> longestWait{0};
    int openedChannel = -1;

protected:
    std::unique_ptr<CanFrameSource> openCanFrameSource(int channel) override
    {
        openedChannel = channel;
        auto source = std::make_unique<ScriptedSource>();
        source->script = &script;
        source->longestWait = &longestWait;
        return source;
    }
};

// A signal that counts how often the virtual signals are computed.
class ComputeCounter : public Signal {
public:
    ComputeCounter() : Signal(nullptr, "counter") {}
    void process() override { calls += 1; }
    int calls = 0;
};

TEST(KvaserJob, FramesOnInterfaceZeroAtTheirReceiveTimes)
{
    drainLog();
    KvaserStore store;
    store.textMode = true;
    store.canChannel = 3;
    auto iface = store.addIface("Can", 0);
    auto msg = RealMessage::create(0x100, "M", iface);
    auto a = RealSignal::create(msg, "A", 0, 8, 1, '+', "", 1, 0, 0, 0);
    msg->addSignal("A", a);
    iface->addMessage(msg);
    auto counter = std::make_shared<ComputeCounter>();
    VirtualMessage::allSignals.push_back(counter);

    // Receive times well after the job's start: the first frame must not be moved to it.
    const u64 t = wallClockMs() + 60000;
    const u64 times[] = {t, t + 10, t + 500, t + 1000, t + 1011, t + 1200, t + 2100};
    u8 value = 1;
    for (u64 time : times) {
        FrameRecord frame;
        frame.idWord = 0x100;
        frame.length = 1;
        frame.data[0] = value++;
        frame.iface = 5; // whatever the socket says: the job's frames are interface 0
        frame.absTime = time;
        store.script.push_back({1, frame});
        store.script.push_back({0, {}});
    }
    store.script.push_back({-1, {}});
    testing::internal::CaptureStderr();
    store.parseNow();
    testing::internal::GetCapturedStderr();
    VirtualMessage::allSignals.clear();

    EXPECT_EQ(store.openedChannel, 3);
    ASSERT_EQ(a->samples.size(), std::size(times));
    for (std::size_t i = 0; i < std::size(times); ++i)
        EXPECT_EQ(a->samples[i], (Sample{times[i], double(i + 1)}));
    // At the first frame, then once 1001 ms of frame time have passed: t + 1011, t + 2100.
    EXPECT_EQ(counter->calls, 3);
    EXPECT_EQ(store.firstTime, std::min(t, store.firstTime.load()));
    EXPECT_GE(store.lastTime, t + 2100);
    EXPECT_LE(store.longestWait, 500);
    EXPECT_EQ(drainLog(), std::vector<std::string>{"kvaser dongle read error"});
}

TEST(KvaserJob, AQuietBusDoesNotHoldUpAStop)
{
    KvaserStore store;
    store.textMode = true; // no dispatcher emits
    store.startThread();
    store.requestParse();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto before = std::chrono::steady_clock::now();
    store.stop();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(1500));
    EXPECT_LE(store.longestWait, 500);
}

TEST(KvaserJob, NoSocketEndsTheJobWithItsError)
{
    drainLog();
    Store store;
    store.kvaserInput = true;
    store.textMode = true;
    testing::internal::CaptureStderr();
    // A reported error ends the input; the command line then prints what was read.
    EXPECT_NO_THROW(store.parseNow());
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(drainLog(), std::vector<std::string>{"couldn't connect to kvaser dongle"});
    EXPECT_FALSE(store.parsing);
    EXPECT_TRUE(store.inputFailed);

    // On the worker the job boundary reports it, and the next request runs again.
    Store gui;
    gui.kvaserInput = true;
    gui.startThread();
    testing::internal::CaptureStderr();
    for (int i = 0; i < 2; ++i) {
        gui.requestParse();
        for (int wait = 0; wait < 500 && MessageLog::instance().empty(); ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_EQ(drainLog(), std::vector<std::string>{"couldn't connect to kvaser dongle"});
    }
    testing::internal::GetCapturedStderr();
    gui.stop();
}

} // namespace
} // namespace vistra
