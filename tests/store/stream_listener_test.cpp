#include "store/stream_listener.h"

#include "loopback.h"
#include "store/crypt_context.h"
#include "store/live_stream.h"
#include "stream_test_util.h"
#include "test_helpers.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace vistra {
namespace {

using test::Bytes;

Bytes randomBytes(std::mt19937& rng, std::size_t n)
{
    Bytes out(n);
    for (u8& b : out)
        b = static_cast<u8>(rng());
    return out;
}

// A block as the listener sees it: header (magic, length) and that many bytes. The
// listener forwards blocks without unpacking them.
Bytes fakeBlock(std::mt19937& rng, u32 length)
{
    Bytes block;
    test::appendLe32(block, kBlockMagicV1);
    test::appendLe32(block, length);
    const Bytes body = randomBytes(rng, length);
    block.insert(block.end(), body.begin(), body.end());
    return block;
}

template <typename Pred> bool waitUntil(Pred pred)
{
    for (int i = 0; i < 2500 && !pred(); ++i)
        usleep(2000);
    return pred();
}

u32 le32(const u8* p)
{
    return u32(p[0]) | u32(p[1]) << 8 | u32(p[2]) << 16 | u32(p[3]) << 24;
}

class Listener : public testing::Test {
protected:
    Listener()
    {
        char tmpl[] = "/tmp/tarnwick-listener-XXXXXX";
        dir = mkdtemp(tmpl);
        countFile = dir + "/listeners";
        StreamListener::setCountFilePath(countFile);
    }
    ~Listener() override
    {
        StreamListener::teardownAll();
        for (int fd : clients)
            close(fd);
        std::filesystem::remove_all(dir);
    }

    // A new client and the listener that serves it; the client's descriptor is last in
    // clients.
    StreamListener* serve(const char* key)
    {
        const int client = test::connectLoopback(server.port());
        EXPECT_GE(client, 0);
        clients.push_back(client);
        sockaddr_in peer{};
        const int fd = server.accept(5000, &peer);
        EXPECT_GE(fd, 0);
        return StreamListener::start(peer, fd, key);
    }

    static std::string clientName(int client)
    {
        sockaddr_in address{};
        socklen_t size = sizeof address;
        getsockname(client, reinterpret_cast<sockaddr*>(&address), &size);
        return "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    }

    std::string countText() const
    {
        return std::filesystem::exists(countFile) ? test::readFileText(countFile) : "<none>";
    }

    void push(StreamListener* l, const Bytes& bytes) { ASSERT_EQ(StreamListener::pushData(l, bytes.data(), int(bytes.size())), 0); }
    void command(int client, u8 cmd) { ASSERT_TRUE(test::writeFully(client, {cmd})); }

    test::LoopbackServer server;
    std::vector<int> clients;
    std::string dir;
    std::string countFile;
};

TEST_F(Listener, CommandOfTheWrongKindDisconnects)
{
    struct Case {
        const char* key;
        u8 cmd;
        const char* line;
    };
    const Case cases[] = {
        {"secret", kCommandPlain, "WRN key exists but non encrypted data was requested, disconnecting"},
        {nullptr, kCommandSealed, "WRN Encryption key does not exist, disconnecting"},
        {nullptr, 7, "WRN Client sent unexpected cmd: 7"},
    };
    for (const Case& c : cases) {
        testing::internal::CaptureStderr();
        StreamListener* l = serve(c.key);
        command(clients.back(), c.cmd);
        EXPECT_TRUE(test::peerClosed(clients.back())) << c.line; // the client is not left waiting
        StreamListener::teardown(l);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find(c.line), std::string::npos) << err;
        EXPECT_NE(err.find("INF Teardown listener " + clientName(clients.back())), std::string::npos) << err;
    }
}

TEST_F(Listener, PlainBlocksArriveWholeAndInOrderAcrossTheRingEnd)
{
    std::mt19937 rng(5);
    StreamListener* l = serve(nullptr);
    const int client = clients.back();
    std::vector<Bytes> blocks;
    std::size_t total = 0;
    while (total < 3 * StreamListener::kRingSize) {
        blocks.push_back(fakeBlock(rng, 30000 + rng() % 40000));
        total += blocks.back().size();
    }
    std::size_t pushed = 0;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        // Up to three blocks ahead of the client, each in three odd pieces.
        for (; pushed < blocks.size() && pushed < i + 3; ++pushed) {
            const Bytes& b = blocks[pushed];
            const std::size_t a = 3, c = b.size() / 2 + 1;
            push(l, Bytes(b.begin(), b.begin() + long(a)));
            push(l, Bytes(b.begin() + long(a), b.begin() + long(c)));
            push(l, Bytes(b.begin() + long(c), b.end()));
        }
        command(client, kCommandPlain);
        Bytes got(blocks[i].size());
        ASSERT_TRUE(test::readFully(client, got.data(), got.size())) << i;
        ASSERT_EQ(got, blocks[i]) << i;
    }
}

TEST_F(Listener, SealedBlocksCarryTheExactStreamInMultiplesOf16UpToOneMebibyte)
{
    std::mt19937 rng(9);
    StreamListener* l = serve("secret");
    const int client = clients.back();
    const Bytes stream = randomBytes(rng, 0x300010);
    std::size_t pushed = 0;
    auto pushUpTo = [&](std::size_t end) {
        push(l, Bytes(stream.begin() + long(pushed), stream.begin() + long(end)));
        pushed = end;
    };

    CryptContext reader;
    ASSERT_EQ(reader.init(), 0);
    std::size_t received = 0;
    // Asks for one sealed block: its length must be `expected`, its tag right, and its
    // plaintext the next bytes of the stream.
    auto receive = [&](u32 expected, bool first) {
        command(client, kCommandSealed);
        if (first) {
            u8 iv[16];
            ASSERT_TRUE(test::readFully(client, iv, 16));
            ASSERT_EQ(reader.setDecryptKey("secret", 6, iv), 0);
        }
        u8 field[4];
        ASSERT_TRUE(test::readFully(client, field, 4));
        ASSERT_EQ(le32(field), expected);
        Bytes sealed(expected + 20);
        ASSERT_TRUE(test::readFully(client, sealed.data(), sealed.size()));
        ASSERT_EQ(reader.verifyHmac(sealed.data(), int(expected), sealed.data() + expected), 0);
        Bytes plain(expected);
        ASSERT_EQ(reader.crypt(sealed.data(), plain.data(), int(expected), true), 0);
        ASSERT_TRUE(std::equal(plain.begin(), plain.end(), stream.begin() + long(received)));
        received += expected;
    };

    pushUpTo(0x180007);
    receive(0x100000, true); // capped
    receive(0x80000, false); // the 7 bytes behind wait for more
    pushUpTo(0x180010);
    receive(16, false);
    pushUpTo(0x300010); // the ring's end falls inside this block
    receive(0x100000, false);
    receive(0x80000, false);
}

TEST_F(Listener, AClientThatLeavesDisconnectsItsListenerAndNothingElse)
{
    std::mt19937 rng(2);
    testing::internal::CaptureStderr();
    StreamListener* l = serve(nullptr);
    command(clients.back(), kCommandPlain);
    close(clients.back()); // gone before its block is sent: the sends fail, no signal ends the process
    clients.pop_back();
    push(l, fakeBlock(rng, 0x180000));
    EXPECT_TRUE(waitUntil([&] { return l->disconnect.load() != 0; }));
    StreamListener::teardown(l);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("WRN Error when sending to 127.0.0.1:"), std::string::npos) << err;
}

TEST_F(Listener, OverflowDisconnectsAndTheCountFileFollowsTheListeners)
{
    EXPECT_EQ(countText(), "<none>");
    StreamListener* a = serve(nullptr);
    const int clientA = clients.back();
    StreamListener* b = serve(nullptr);
    EXPECT_EQ(countText(), "2\n");

    testing::internal::CaptureStderr();
    const Bytes half(StreamListener::kRingSize / 2, 0x55);
    push(b, half); // more than a fifth of the ring in use
    push(b, Bytes(100, 0x55));
    const Bytes tooMuch(StreamListener::kRingSize + 1, 0xAA);
    EXPECT_EQ(StreamListener::pushData(a, tooMuch.data(), int(tooMuch.size())), 1);
    EXPECT_EQ(StreamListener::pushData(a, tooMuch.data(), 1), 1); // stays disconnected
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("WRN Buffer overflow for " + clientName(clientA)), std::string::npos) << err;
    const std::string lowBandwidth = "INF Listener " + clientName(clients.back()) + " has low bandwidth";
    ASSERT_NE(err.find(lowBandwidth), std::string::npos) << err;
    EXPECT_EQ(err.find(lowBandwidth, err.find(lowBandwidth) + 1), std::string::npos) << "reported once";
    EXPECT_TRUE(test::peerClosed(clientA));

    StreamListener::updateCountFile();
    EXPECT_EQ(countText(), "1\n");
    StreamListener::teardown(a);
    EXPECT_EQ(countText(), "1\n");
    StreamListener::teardownAll();
    EXPECT_EQ(countText(), "<none>");
}

} // namespace
} // namespace vistra
