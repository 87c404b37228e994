// The live job of the Store against the stream listener (the logger's side, in process)
// and against raw loopback servers for what no listener sends.
#include "store/live_stream.h"

#include "core/can_iface.h"
#include "core/message.h"
#include "core/signal.h"
#include "core/virtual_signal.h"
#include "loopback.h"
#include "store/store.h"
#include "store/stream_listener.h"
#include "stream_test_util.h"
#include "test_helpers.h"
#include "virtual/virtual_message.h"

#include <glibmm/main.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <filesystem>
#include <fstream>
#include <thread>

namespace vistra {
namespace {

using namespace std::chrono_literals;
using test::Bytes;
using test::waitFor;
using test::drainLog;

constexpr u32 kEngineId = 256;
constexpr int kFrames = 3000;

bool contains(const std::vector<std::string>& texts, const std::string& text)
{
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

// Counts the computing passes over the virtual signals.
class PassCounter : public VirtualSignal {
public:
    using VirtualSignal::VirtualSignal;
    void process() override { passes += 1; }
    bool dependsOn(const Glib::ustring&) override { return false; }
    std::atomic<int> passes{0};
};

// The block stream of `frames` frames of the engine message (rpm = frame number, 10 ms
// apart; with `noisy`, random bytes behind the rpm keep LZ4 from shrinking the blocks),
// grown by a last block of another message until its length is a multiple of 16: a sealed
// stream carries whole AES blocks only, and nothing else would send the tail.
Bytes engineStream(int frames, bool noisy = false)
{
    std::mt19937 rng(3);
    std::vector<test::Record> records;
    for (int i = 0; i < frames; ++i) {
        records.push_back(test::makeRecord(1000 + 10 * u32(i), kEngineId, 8, 0, 0));
        records.back()[9] = u8(i);
        records.back()[10] = u8(i >> 8);
        for (int b = 11; noisy && b < 17; ++b)
            records.back()[std::size_t(b)] = u8(rng());
    }
    Bytes stream = test::writeStream(records);
    for (int n = 1;; ++n) {
        std::vector<test::Record> pad;
        for (int i = 0; i < n; ++i)
            pad.push_back(test::makeRecord(1000 + 10 * u32(frames), 0x7FF, 8, 0, u8(i)));
        const Bytes tail = test::makeBlock(kBlockMagicV1, test::rawRecords(pad, kRecordSize));
        if ((stream.size() + tail.size()) % 16 == 0) {
            stream.insert(stream.end(), tail.begin(), tail.end());
            return stream;
        }
    }
}

// A logger that seals each piece (a multiple of 16 bytes) as the answer to one command
// byte, and closes the connection at the next.
void serveSealed(test::LoopbackServer& server, const std::vector<Bytes>& pieces)
{
    const int fd = server.accept(60000);
    if (fd < 0) {
        server.close(); // resets the waiting connection: the reader ends
        FAIL() << "no connection";
    }
    // Closed on every way out, so that a failed step never leaves the reader waiting.
    std::unique_ptr<int, void (*)(int*)> closer(new int(fd), [](int* p) {
        close(*p);
        delete p;
    });
    CryptContext crypt;
    ASSERT_EQ(crypt.init(), 0);
    ASSERT_EQ(crypt.setEncryptKey("secret", 6), 0);
    Bytes reply(crypt.getIv(), crypt.getIv() + 16);
    for (const Bytes& piece : pieces) {
        u8 cmd = 0;
        ASSERT_TRUE(test::readFully(fd, &cmd, 1, 60000)); // a sanitizer build decodes slowly
        test::appendLe32(reply, u32(piece.size()));
        const std::size_t at = reply.size();
        reply.resize(at + piece.size() + CryptContext::kHmacSize);
        ASSERT_EQ(crypt.crypt(piece.data(), reply.data() + at, int(piece.size()), false), 0);
        ASSERT_EQ(crypt.computeHmac(reply.data() + at, int(piece.size()), reply.data() + at + piece.size()), 0);
        ASSERT_TRUE(test::writeFully(fd, reply));
        reply.clear();
    }
    u8 cmd = 0;
    test::readFully(fd, &cmd, 1, 60000);
}

class LiveStream : public testing::Test {
protected:
    LiveStream()
    {
        drainLog();
        char tmpl[] = "/tmp/tarnwick-live-XXXXXX";
        dir = mkdtemp(tmpl);
        StreamListener::setCountFilePath(dir + "/listeners");
        std::ofstream(dir + "/engine.dbc") << "BO_ 256 Engine: 8 ECU\n SG_ rpm : 0|16@1+ (1,0) [0|8000] \"rpm\" X\n";
        store.loadDbc(dir + "/engine.dbc", 0, "Can");
        store.createBuiltinSignals();
        virtuals = VirtualMessage::create("Virtual", 1024);
        counter = std::make_shared<PassCounter>(virtuals, "passes");
        virtuals->addSignal(counter, "passes");
        store.host = "127.0.0.1";
        store.port = server.port();
        store.networkMode = true;
        store.live = true;
    }
    ~LiveStream() override
    {
        StreamListener::teardownAll();
        store.stop();
        virtuals->clear();
        while (Glib::MainContext::get_default()->iteration(false)) {
        }
        drainLog();
        std::filesystem::remove_all(dir);
    }

    std::shared_ptr<Signal> rpm() { return store.findSignal("Can.Engine.rpm"); }

    test::LoopbackServer server;
    Store store;
    std::string dir;
    std::shared_ptr<VirtualMessage> virtuals;
    std::shared_ptr<PassCounter> counter;

    // Streams the engine frames through a listener (sealed with a key, else plain), then
    // stops the job while the listener has nothing more to send: through the window's
    // stopLiveStream, or through Store::stop as at program exit.
    void streamThenStop(const char* key, bool stopStore)
    {
        const Bytes stream = engineStream(kFrames);
        store.key = key;
        store.startThread();
        store.requestParse();
        sockaddr_in peer{};
        const int fd = server.accept(5000, &peer);
        ASSERT_GE(fd, 0);
        StreamListener* listener = StreamListener::start(peer, fd, *key ? key : nullptr);
        // Odd pieces: sealed blocks cut block-stream blocks anywhere.
        for (std::size_t at = 0; at < stream.size(); at += 7777) {
            const int n = int(std::min<std::size_t>(7777, stream.size() - at));
            ASSERT_EQ(StreamListener::pushData(listener, stream.data() + at, n), 0);
        }
        auto signal = rpm();
        ASSERT_TRUE(waitFor([&] { return signal->overallRange().high == kFrames - 1; }));
        {
            const u64 last = signal->lastReceived();
            std::lock_guard lock(*signal->samplesMutex);
            EXPECT_EQ(last - signal->samples.front().time, u64(10 * (kFrames - 1)));
            EXPECT_GE(signal->samples.size(), std::size_t(kFrames));
        }
        EXPECT_TRUE(waitFor([&] { return counter->passes > 0; })) << "virtual signals computed after a block";
        EXPECT_GT(store.liveBlockCount, 0u);

        std::this_thread::sleep_for(100ms); // the job waits for a listener that waits for data
        const auto begin = std::chrono::steady_clock::now();
        if (stopStore)
            store.stop();
        else
            store.stopLiveStream();
        EXPECT_LT(std::chrono::steady_clock::now() - begin, 1s);
        StreamListener::teardown(listener);
        const auto log = drainLog();
        EXPECT_FALSE(contains(log, "Stream ended")) << "asked for, not a failure";
        EXPECT_FALSE(contains(log, std::string("Check that logger is set up for ") + (*key ? "" : "non-") +
                                       "encrypted data"));
    }
};

TEST_F(LiveStream, SealedFramesAreDecodedAsTheyArriveAndTheWindowStopsTheSilentStream)
{
    streamThenStop("secret", false);
    EXPECT_FALSE(store.networkMode);
    EXPECT_FALSE(store.live);
}

TEST_F(LiveStream, PlainFramesAreDecodedAsTheyArriveAndProgramExitStopsTheSilentStream)
{
    streamThenStop("", true);
}

TEST_F(LiveStream, ALargestSealedBlockFitsBehindTheTailOfABlockTheLastOneCut)
{
    store.textMode = true;
    store.key = "secret";
    const int frames = 180000;
    const Bytes stream = engineStream(frames, true);
    const u32 firstBlock = u32(stream[4]) | u32(stream[5]) << 8 | u32(stream[6]) << 16;
    const std::size_t cut = ((firstBlock + 8) / 2) & ~std::size_t{15}; // the first block's tail waits

    ASSERT_GT(stream.size(), cut + kMaxSealedLength);
    const std::vector<Bytes> pieces = {
        Bytes(stream.begin(), stream.begin() + long(cut)),
        Bytes(stream.begin() + long(cut), stream.begin() + long(cut + kMaxSealedLength)),
        Bytes(stream.begin() + long(cut + kMaxSealedLength), stream.end()),
    };
    std::thread logger(serveSealed, std::ref(server), std::cref(pieces));
    testing::internal::CaptureStderr();
    EXPECT_NO_THROW(store.readNetworkStream());
    testing::internal::GetCapturedStderr();
    logger.join();
    EXPECT_EQ(drainLog(), std::vector<std::string>{"Stream ended"});
    auto signal = rpm();
    ASSERT_FALSE(signal->samples.empty());
    EXPECT_EQ(signal->lastReceived() - signal->samples.front().time, u64(10 * (frames - 1)));
}

TEST_F(LiveStream, HostileLengthsEndTheJobWithAnErrorAndTheWorkerTakesTheNextRequest)
{
    store.key = "secret";
    store.startThread();
    for (const i32 length : {-1, 0x200001, 20}) {
        SCOPED_TRACE(length);
        testing::internal::CaptureStderr();
        store.requestParse();
        const int fd = server.accept();
        ASSERT_GE(fd, 0);
        u8 cmd = 0xFF;
        ASSERT_TRUE(test::readFully(fd, &cmd, 1));
        EXPECT_EQ(cmd, kCommandSealed);
        Bytes reply(16, 0x42); // the IV
        test::appendLe32(reply, u32(length));
        reply.resize(reply.size() + 64);
        ASSERT_TRUE(test::writeFully(fd, reply));
        EXPECT_TRUE(test::peerClosed(fd)) << "the job closes its socket";
        close(fd);
        testing::internal::GetCapturedStderr();
        const auto log = drainLog();
        EXPECT_TRUE(contains(log, "Got invalid data length when decrypting"));
        EXPECT_TRUE(contains(log, "Check that logger is set up for encrypted data"));
    }
}

TEST_F(LiveStream, ConnectFailuresAreReportedAndLeaveNoDescriptorOpen)
{
    server.close(); // its port now refuses
    const int before = test::openDescriptors();
    struct Case {
        const char* host;
        ConnectStatus result;
        const char* text;
    };
    for (const Case c : {Case{"127.0.0.1", ConnectStatus::Failed, "Network connection failed: Connection refused"},
                         Case{"", ConnectStatus::NoSuchHost, "Network connection failed, no such host"}}) {
        store.host = c.host;
        testing::internal::CaptureStderr();
        int fd = 99;
        EXPECT_EQ(store.connectLogger(&fd), c.result);
        EXPECT_EQ(fd, -1);
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(drainLog(), std::vector<std::string>{c.text});
        EXPECT_EQ(test::openDescriptors(), before);
    }
}

} // namespace
} // namespace vistra
