#include "store/stream_listener.h"

#include "core/byte_layout.h"
#include "core/report.h"
#include "store/live_stream.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace vistra {
namespace {

constexpr int kPollStepMs = 1000;
constexpr u32 kRing = StreamListener::kRingSize;

std::mutex listMutex;
StreamListener* listHead = nullptr;
std::string countFilePath = "/tmp/listeners";

bool stopping(const StreamListener* l)
{
    return l->terminate.load() != 0 || l->disconnect.load() != 0;
}

void wake(StreamListener* l)
{
    std::lock_guard lock(l->conditionMutex);
    l->dataArrived.notify_all();
}

void setDisconnected(StreamListener* l)
{
    l->disconnect = 1;
    wake(l);
}

// Waits until at least n bytes wait in the ring; false when the listener is to stop.
bool waitForBytes(StreamListener* l, u64 n)
{
    std::unique_lock lock(l->conditionMutex);
    l->dataArrived.wait(lock, [l, n] {
        if (stopping(l))
            return true;
        std::lock_guard positions(l->positionMutex);
        return l->available() >= n;
    });
    return !stopping(l);
}

u32 readPosition(StreamListener* l)
{
    std::lock_guard lock(l->positionMutex);
    return l->readPos;
}

// Copies n waiting bytes from ring position pos, across the end of the ring.
void copyOut(const StreamListener* l, u32 pos, u8* out, u32 n)
{
    const u32 first = std::min(n, kRing - pos);
    std::memcpy(out, l->ring.get() + pos, first);
    std::memcpy(out + first, l->ring.get(), n - first);
}

void advance(StreamListener* l, u32 n)
{
    std::lock_guard lock(l->positionMutex);
    l->readPos += n;
    if (l->readPos >= kRing) {
        l->readPos -= kRing;
        l->wrapped = 0;
    }
}

// Sends all bytes, waiting for the socket in steps; false (and disconnected after a write
// error) when they could not all go.
bool sendAll(StreamListener* l, const u8* data, std::size_t n)
{
    std::size_t done = 0;
    while (done < n) {
        if (stopping(l))
            return false;
        pollfd request{l->fd, POLLOUT, 0};
        const int ready = poll(&request, 1, kPollStepMs);
        if (ready == 0 || (ready < 0 && errno == EINTR))
            continue;
        const ssize_t sent = ready < 0 ? -1 : send(l->fd, data + done, n - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)
                continue;
            streamLog(Level::Warning, "Error when sending to %s: %m", StreamListener::name(l));
            setDisconnected(l);
            return false;
        }
        done += static_cast<std::size_t>(sent);
    }
    return true;
}

void sendPlainBlock(StreamListener* l)
{
    if (!waitForBytes(l, kBlockHeaderSize))
        return;
    const u32 start = readPosition(l);
    u8 header[kBlockHeaderSize];
    copyOut(l, start, header, sizeof header);
    const u32 length = loadLe32(header + 4);
    const u64 total = u64{length} + kBlockHeaderSize;
    if (total > kRing) {
        // Never completes: the ring cannot hold it. Waiting would hang the client.
        streamLog(Level::Warning, "Block of %llu bytes cannot be sent to %s, disconnecting",
                  static_cast<unsigned long long>(total), StreamListener::name(l));
        setDisconnected(l);
        return;
    }
    if (!waitForBytes(l, total))
        return;
    const u32 n = static_cast<u32>(total);
    const u32 first = std::min(n, kRing - start);
    if (sendAll(l, l->ring.get() + start, first) && sendAll(l, l->ring.get(), n - first))
        advance(l, n);
}

void sendSealedBlock(StreamListener* l)
{
    if (!waitForBytes(l, CryptContext::kBlockSize))
        return;
    u32 start;
    u32 n;
    {
        std::lock_guard lock(l->positionMutex);
        start = l->readPos;
        n = std::min(l->available() & ~u32(CryptContext::kBlockSize - 1), StreamListener::kMaxSealedBlock);
    }
    const bool first = l->firstSealedBlock != 0;
    if (first) {
        if (l->crypt.init() != 0) {
            streamLog(Level::Error, "aes init failed");
            setDisconnected(l);
            return;
        }
        l->cryptInitialised = 1;
        if (l->crypt.setEncryptKey(l->key.c_str(), static_cast<int>(l->key.size())) != 0) {
            streamLog(Level::Error, "Could not setup encryption");
            setDisconnected(l);
            return;
        }
    }
    if (!l->sendBuffer)
        l->sendBuffer = std::make_unique<u8[]>(CryptContext::kIvSize + 4 + StreamListener::kMaxSealedBlock +
                                               CryptContext::kHmacSize);
    u8* out = l->sendBuffer.get();
    std::size_t at = 0;
    if (first) { // the IV the chain starts from, before encrypting moves it on
        std::memcpy(out, l->crypt.getIv(), CryptContext::kIvSize);
        at = CryptContext::kIvSize;
    }
    storeLe32(out + at, n);
    at += 4;
    u8* cipher = out + at;
    copyOut(l, start, cipher, n); // contiguous, so that the ring's end need not fall on 16 bytes
    if (l->crypt.crypt(cipher, cipher, static_cast<int>(n), false) != 0) {
        streamLog(Level::Error, "Encryption failed");
        setDisconnected(l);
        return;
    }
    advance(l, n);
    l->firstSealedBlock = 0;
    if (l->crypt.computeHmac(cipher, static_cast<int>(n), cipher + n) != 0) {
        streamLog(Level::Error, "HMAC calculation failed");
        setDisconnected(l);
        return;
    }
    sendAll(l, out, at + n + CryptContext::kHmacSize);
}

void runSender(StreamListener* l)
{
    streamLog(Level::Info, "sender thread for %s started", StreamListener::name(l));
    bool shut = false;
    try {
        while (!l->terminate) {
            if (l->disconnect) {
                // The client sees the end of the connection; the listener waits for its
                // teardown, which closes the descriptor.
                if (!shut)
                    shutdown(l->fd, SHUT_RDWR);
                shut = true;
                std::unique_lock lock(l->conditionMutex);
                l->dataArrived.wait(lock, [l] { return l->terminate.load() != 0; });
                continue;
            }
            const int command = readCommand(l);
            if (command == 2) {
                setDisconnected(l);
            } else if (command == kCommandSealed) {
                if (l->key.empty()) {
                    streamLog(Level::Warning, "Encryption key does not exist, disconnecting");
                    setDisconnected(l);
                } else {
                    sendSealedBlock(l);
                }
            } else if (!l->key.empty()) {
                streamLog(Level::Warning, "key exists but non encrypted data was requested, disconnecting");
                setDisconnected(l);
            } else {
                sendPlainBlock(l);
            }
        }
    } catch (const std::exception& e) {
        streamLog(Level::Error, "sender thread for %s failed: %s", StreamListener::name(l), e.what());
    }
    streamLog(Level::Info, "sender thread for %s ending", StreamListener::name(l));
    if (close(l->fd) != 0)
        streamLog(Level::Warning, "fclose return error: %m");
    l->fd = -1;
}

void updateCountFileLocked()
{
    u32 count = 0;
    for (const StreamListener* l = listHead; l; l = l->next)
        if (!l->disconnect)
            ++count;
    if (count == 0) {
        if (unlink(countFilePath.c_str()) != 0 && errno != ENOENT)
            streamLog(Level::Info, "Couldn't delete %s: %m", countFilePath.c_str());
        return;
    }
    const int fd = open(countFilePath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    dprintf(fd, "%u\n", count);
    close(fd);
}

void stopAndFree(StreamListener* l)
{
    streamLog(Level::Info, "Teardown listener %s", StreamListener::name(l));
    {
        std::lock_guard lock(l->conditionMutex);
        l->terminate = 1;
        l->dataArrived.notify_all();
    }
    if (l->sender.joinable())
        l->sender.join();
    if (l->cryptInitialised)
        l->crypt.free();
    delete l;
}

} // namespace

int readCommand(StreamListener* l)
{
    for (;;) {
        if (stopping(l))
            return 2;
        pollfd request{l->fd, POLLIN, 0};
        const int ready = poll(&request, 1, kPollStepMs);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            streamLog(Level::Warning, "select returned error: %m");
            return 2;
        }
        if (ready == 0)
            continue;
        u8 command = 0;
        const ssize_t n = read(l->fd, &command, 1);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            streamLog(Level::Warning, "Couldn't read from client: %m");
            return 2;
        }
        if (n == 0) {
            streamLog(Level::Info, "Client %s closed the connection", StreamListener::name(l));
            return 2;
        }
        if (command > kCommandSealed) {
            streamLog(Level::Warning, "Client sent unexpected cmd: %d", command);
            return 2;
        }
        return command;
    }
}

StreamListener* StreamListener::start(const sockaddr_in& address, int fd, const char* key)
{
    auto* l = new StreamListener;
    l->ring = std::make_unique<u8[]>(kRingSize);
    l->fd = fd;
    l->address = address.sin_addr;
    l->port = ntohs(address.sin_port);
    if (key)
        l->key = key;
    char dotted[INET_ADDRSTRLEN] = "?";
    inet_ntop(AF_INET, &l->address, dotted, sizeof dotted);
    std::snprintf(l->nameText, sizeof l->nameText, "%s:%hu", dotted, l->port);
    {
        std::lock_guard lock(listMutex);
        l->next = listHead;
        listHead = l;
        l->sender = std::thread(runSender, l);
        updateCountFileLocked();
    }
    return l;
}

int StreamListener::pushData(StreamListener* l, const u8* data, int len)
{
    if (l->disconnect)
        return 1;
    if (len <= 0)
        return len == 0 ? 0 : 1;
    u32 write;
    u64 freeSpace;
    {
        std::lock_guard lock(l->positionMutex);
        write = l->writePos;
        freeSpace = kRing - l->available();
    }
    if (!l->lowBandwidthReported && freeSpace * 100 < u64{kRing} * 80) {
        streamLog(Level::Info, "Listener %s has low bandwidth", name(l));
        l->lowBandwidthReported = 1;
        updateCountFile();
    }
    const u32 n = static_cast<u32>(len);
    if (freeSpace < n) {
        streamLog(Level::Warning, "Buffer overflow for %s", name(l));
        setDisconnected(l);
        return 1;
    }
    // Only the free part of the ring is written: the sender reads the waiting part
    // without a lock.
    const u32 first = std::min(n, kRing - write);
    std::memcpy(l->ring.get() + write, data, first);
    std::memcpy(l->ring.get(), data + first, n - first);
    // The write position can only pass the end while the read position is behind it, so
    // crossing sets the flag; the sender clears it, perhaps meanwhile, when it crosses too.
    const bool crossed = write + n >= kRing;
    write = crossed ? write + n - kRing : write + n;
    {
        std::lock_guard lock(l->positionMutex);
        l->writePos = write;
        if (crossed)
            l->wrapped = 1;
    }
    wake(l);
    return 0;
}

void StreamListener::teardown(StreamListener* l)
{
    std::lock_guard lock(listMutex);
    for (StreamListener** link = &listHead; *link; link = &(*link)->next) {
        if (*link == l) {
            *link = l->next;
            break;
        }
    }
    stopAndFree(l);
    updateCountFileLocked();
}

void StreamListener::teardownAll()
{
    std::lock_guard lock(listMutex);
    while (listHead) {
        StreamListener* l = listHead;
        listHead = l->next;
        stopAndFree(l);
    }
    updateCountFileLocked();
}

void StreamListener::updateCountFile()
{
    std::lock_guard lock(listMutex);
    updateCountFileLocked();
}

const char* StreamListener::name(const StreamListener* l)
{
    return l->nameText;
}

void StreamListener::setCountFilePath(const std::string& path)
{
    std::lock_guard lock(listMutex);
    countFilePath = path;
}

} // namespace vistra
