#pragma once
// The logger's side of the live protocol (store/live_stream.h): one listener per connected
// client holds a ring buffer of block-stream bytes that the logger pushes in, and a sender
// thread that answers each command byte of the client: a whole block-stream block for 0
// (plain), a sealed block of everything waiting, cut to a multiple of 16 bytes, for 1.
// A logger with a key serves sealed blocks only, one without a key plain blocks only; a
// client that asks for the other kind is disconnected.
//
// The listeners are kept in one list. A count file holds the number of listeners still
// connected, for the logger's status display. Nothing in tarnwick itself creates a
// listener: it is the peer the live stream is tested against.
//
// Like the other stream units, it prints its own time-stamped lines to standard error.
#include "core/types.h"
#include "store/crypt_context.h"

#include <netinet/in.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace vistra {

struct StreamListener {
    static constexpr u32 kRingSize = 0x200000;
    // Sealed blocks are cut at half the ring, so that any reader's buffer, which must
    // also hold the tail of a block cut by the previous sealed block, takes them.
    static constexpr u32 kMaxSealedBlock = 0x100000;

    // Starts serving a connected client: the listener joins the list and its sender
    // thread runs. key: the pass phrase, or null (or empty) for plain data.
    static StreamListener* start(const sockaddr_in& address, int fd, const char* key);
    // Appends block-stream bytes for the client: 0, or 1 when the listener is (or has
    // just become) disconnected; bytes that do not fit disconnect it.
    static int pushData(StreamListener* listener, const u8* data, int len);
    // Stops the sender thread, closes the connection and frees the listener.
    static void teardown(StreamListener* listener);
    static void teardownAll();
    // Writes the number of connected listeners to the count file, or removes the file
    // when there is none.
    static void updateCountFile();
    // "<dotted address>:<port>" of the client.
    static const char* name(const StreamListener* listener);
    // Where the count file lies ("/tmp/listeners" unless set).
    static void setCountFilePath(const std::string& path);

    StreamListener() = default;
    StreamListener(const StreamListener&) = delete;
    StreamListener& operator=(const StreamListener&) = delete;

    // The ring: bytes [readPos, writePos) wait to be sent; wrapped is set while writePos
    // has restarted at 0 and readPos has not (so equal positions mean full, not empty).
    std::unique_ptr<u8[]> ring;
    u32 writePos = 0;
    u32 readPos = 0;
    u32 wrapped = 0;
    std::condition_variable dataArrived; // data pushed, or a stop
    std::mutex conditionMutex;
    std::mutex positionMutex; // guards the three positions
    std::thread sender;
    std::atomic<u32> terminate{0};
    std::atomic<u32> disconnect{0};
    int fd = -1;
    u32 lowBandwidthReported = 0;
    CryptContext crypt;
    u32 cryptInitialised = 0;
    u32 firstSealedBlock = 1;
    std::string key; // empty: no key
    in_addr address{};
    u16 port = 0;
    StreamListener* next = nullptr;
    char nameText[24] = {};
    std::unique_ptr<u8[]> sendBuffer; // IV, length, one sealed block and its HMAC

    // Under positionMutex.
    u32 available() const { return wrapped ? writePos + kRingSize - readPos : writePos - readPos; }
};

// Waits for one command byte of the listener's client, in 1 s steps until the listener
// is told to stop: 0 or 1, or 2 for a stop, an error, a closed connection or any other
// byte.
int readCommand(StreamListener* listener);

} // namespace vistra
