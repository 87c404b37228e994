// The live network job: the connection to the logger, the command bytes, plain and sealed
// blocks, and the running time window of the data received.
#include "store/live_stream.h"

#include "core/byte_layout.h"
#include "core/constants.h"
#include "core/report.h"
#include "store/can_socket.h"
#include "store/store.h"
#include "virtual/virtual_message.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vistra {
namespace {

constexpr int kConnectTimeoutMs = 10000;
// Waits are cut into steps of this length so that a stop request is seen.
constexpr int kStepMs = 500;

// Closes a descriptor on every way out of a scope unless it is released.
struct SocketGuard {
    int fd;
    ~SocketGuard()
    {
        if (fd >= 0)
            close(fd);
    }
    int release() { return std::exchange(fd, -1); }
};

} // namespace

SendStatus sendCommand(int fd, u8 cmd)
{
    for (;;) {
        const ssize_t sent = send(fd, &cmd, 1, MSG_NOSIGNAL);
        if (sent == 1)
            return SendStatus::Sent;
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return SendStatus::Busy;
        streamLog(Level::Warning, "Write error: %m");
        return SendStatus::Failed;
    }
}

bool Store::liveStopRequested()
{
    return stopLiveRequested || !isRunning();
}

void Store::requestLiveStreamStop()
{
    std::lock_guard lock(liveStreamMutex);
    stream::requestStop(liveStream);
}

ConnectStatus Store::connectLogger(int* fd)
{
    *fd = -1;
    SocketGuard sock{socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)};
    if (sock.fd < 0) {
        reportWarning("Network connection failed");
        return ConnectStatus::NoSocket;
    }
    fcntl(sock.fd, F_SETFL, fcntl(sock.fd, F_GETFL) | O_NONBLOCK);

    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) {
        reportWarning("Network connection failed, no such host");
        return ConnectStatus::NoSuchHost;
    }
    sockaddr_in address{};
    std::memcpy(&address, found->ai_addr, sizeof address);
    freeaddrinfo(found);
    address.sin_port = htons(static_cast<u16>(port));

    int error = 0;
    if (connect(sock.fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        *fd = sock.release();
        return ConnectStatus::Connected;
    }
    error = errno;
    if (error == EINPROGRESS || error == EAGAIN) {
        // Wait for the answer in steps, so that a stop is not held up by a silent address.
        error = ETIMEDOUT;
        for (int waited = 0; waited < kConnectTimeoutMs; waited += kStepMs) {
            if (liveStopRequested()) {
                error = ECANCELED;
                break;
            }
            pollfd request{sock.fd, POLLOUT, 0};
            const int ready = poll(&request, 1, kStepMs);
            if (ready < 0 && errno != EINTR) {
                error = errno;
                break;
            }
            if (ready > 0) {
                socklen_t size = sizeof error;
                if (getsockopt(sock.fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0)
                    error = errno;
                if (error == 0) {
                    *fd = sock.release();
                    return ConnectStatus::Connected;
                }
                break;
            }
        }
    }
    reportWarning("Network connection failed: %s", std::strerror(error));
    return ConnectStatus::Failed;
}

void Store::beginLiveStream(int fd)
{
    StreamCompressor* reader = nullptr;
    if (stream::createPolling(&reader) != 0)
        fail("Could not create the live stream reader");
    {
        std::lock_guard lock(liveStreamMutex);
        liveStream = reader;
    }
    liveSocket = fd;
    newConnection = true;
    plainText.resize(kPlainTextCapacity);
    cipherText.resize(kCipherCapacity);
    plainReadPos = plainFill = 0;
}

void Store::endLiveStream()
{
    StreamCompressor* reader = nullptr;
    {
        std::lock_guard lock(liveStreamMutex);
        reader = std::exchange(liveStream, nullptr);
    }
    stream::destroy(reader);
    if (crypt.initialised())
        crypt.free();
    liveSocket = -1;
}

stream::Status Store::readPlainBlock()
{
    const stream::Status status = stream::readBlock(liveStream, liveSocket);
    if (status == stream::Status::BlockReady)
        dispatchStreamRecords();
    return status;
}

stream::Status Store::readEncryptedBlock()
{
    using stream::Status;
    StreamCompressor* reader = liveStream;
    if (newConnection) {
        plainReadPos = plainFill = 0;
        u8 iv[CryptContext::kIvSize];
        if (const Status status = stream::readExactly(reader, liveSocket, iv, sizeof iv); status != Status::Done)
            return status;
        if (crypt.init() != 0)
            fail("Decryption initialization failed");
        if (crypt.setDecryptKey(key.c_str(), static_cast<int>(key.bytes()), iv) != 0)
            fail("Failed to start decryption");
        newConnection = false;
    }

    u8 field[4];
    if (const Status status = stream::readExactly(reader, liveSocket, field, sizeof field); status != Status::Done)
        // A block-stream block that waits for its rest is cut by an end here.
        return plainFill != plainReadPos ? stream::insideBlock(reader, status) : status;
    // Bounded before anything is read with it: the cipher buffer holds the largest legal
    // block, and CBC takes whole 16-byte blocks only.
    const i32 length = static_cast<i32>(loadLe32(field));
    if (length < 0 || length > kMaxSealedLength || length % CryptContext::kBlockSize != 0)
        fail("Got invalid data length when decrypting");
    if (const Status status =
            stream::readExactly(reader, liveSocket, cipherText.data(), length + CryptContext::kHmacSize);
        status != Status::Done)
        return stream::insideBlock(reader, status);

    if (length > kPlainTextCapacity - plainFill) {
        std::memmove(plainText.data(), plainText.data() + plainReadPos, static_cast<size_t>(plainFill - plainReadPos));
        plainFill -= plainReadPos;
        plainReadPos = 0;
        if (length > kPlainTextCapacity - plainFill)
            fail("Decryption buffer overflow");
    }
    // Authenticated before it is decrypted: nothing unauthenticated reaches the buffer.
    if (crypt.verifyHmac(cipherText.data(), length, cipherText.data() + length) != 0) {
        reportWarning("Message could not be authenticated, wrong key or data corrupted");
        return Status::Error;
    }
    if (crypt.crypt(cipherText.data(), plainText.data() + plainFill, length, true) != 0)
        fail("Decryption failed");
    plainFill += length;
    return Status::Done;
}

stream::Status Store::unpackPlainText()
{
    for (;;) {
        u32 consumed = 0;
        const stream::Status status = stream::unpackBlock(liveStream, plainText.data() + plainReadPos,
                                                          plainFill - plainReadPos, &consumed);
        if (status == stream::Status::Error)
            return status;
        if (status != stream::Status::BlockReady)
            break;
        plainReadPos += static_cast<i32>(consumed);
        dispatchStreamRecords();
    }
    if (plainReadPos == plainFill) // all taken: the next block starts at the front
        plainReadPos = plainFill = 0;
    return stream::Status::Done;
}

void Store::dispatchStreamRecords()
{
    StreamCompressor* reader = liveStream;
    stream::rewind(reader);
    const int count = stream::recordsLeft(reader);
    u8 raw[kRecordSize];
    for (int i = 0; i < count; ++i) {
        stream::nextRecord(reader, raw);
        dispatchFrame(unpackRecord(raw));
    }
}

void Store::readNetworkStream()
{
    using stream::Status;
    std::lock_guard job(jobMutex);
    if (!networkMode) // stopped before the job began
        return;
    SocketGuard sock{-1};
    const ConnectStatus connected = connectLogger(&sock.fd);
    // Nobody listens in the command-line modes, where no main loop drains the dispatcher.
    if (!quiet())
        connectFinished.emit();
    if (connected != ConnectStatus::Connected) {
        inputFailed = true;
        return;
    }

    liveDecode = true;
    const u64 now = wallClockMs();
    timeOffset = 0;
    firstFileStart = kNoTime;
    lastFrameTime = 0;
    pendingBase = now;
    firstTime = now;
    lastTime = now + kLiveWindowMs;
    if (!viewLocked) {
        viewStart = now;
        viewEnd = now + kLiveWindowMs;
    }
    firstDumpedTime = 0;
    framesOutOfOrder = 0;
    collectUsedIfaces();
    beginLiveStream(sock.fd);

    const bool sealed = !key.empty();
    bool firstPass = true;
    // How the stream ended: the logger closing it between blocks, or a stop, is its
    // normal end; anything else leaves the data received so far, and a failed input.
    auto ended = [this](Status status) {
        if (liveStopRequested())
            return;
        if (status == Status::End) {
            reportInfo("Stream ended");
            return;
        }
        if (status == Status::Cut)
            reportWarning("Stream ended inside a block, the frames of that block are lost");
        inputFailed = true;
    };
    try {
        while (!liveStopRequested()) {
            const SendStatus sent = sendCommand(sock.fd, sealed ? kCommandSealed : kCommandPlain);
            liveBlockCount += 1;
            if (sent == SendStatus::Failed) {
                reportWarning("Network failure");
                inputFailed = true;
                break;
            }
            if (sent == SendStatus::Busy) {
                // The logger is not reading: wait until the byte fits instead of spinning.
                pollfd request{sock.fd, POLLOUT, 0};
                poll(&request, 1, kStepMs);
                continue;
            }
            if (!sealed) {
                const Status status = readPlainBlock();
                if (status == Status::End)
                    dispatchStreamRecords();
                if (status == Status::Error)
                    reportWarning("Failed to unpack data from logger");
                if (status != Status::BlockReady) {
                    ended(status);
                    break;
                }
            } else {
                Status status = readEncryptedBlock();
                if (status == Status::Done)
                    status = unpackPlainText();
                if (status != Status::Done) {
                    ended(status);
                    break;
                }
            }
            if (lastFrameTime > lastTime - kLiveWindowMs) {
                lastTime += kLiveWindowMs;
                if (!viewLocked)
                    viewEnd = lastTime.load();
            }
            VirtualMessage::processAll();
            emitDataChanged();
            firstPass = false;
        }
    } catch (...) {
        inputFailed = true;
        finishNetworkStream(firstPass);
        throw;
    }
    finishNetworkStream(firstPass);
}

void Store::finishNetworkStream(bool firstPass)
{
    if (firstPass) {
        // Not one block came through: a logger set up for the other mode closes at once.
        reportInfo(key.empty() ? "Check that logger is set up for non-encrypted data"
                               : "Check that logger is set up for encrypted data");
        inputFailed = true;
    }
    endLiveStream();
    reportFramesOutOfOrder(Glib::ustring::compose("Live stream from %1:%2", host, port));
    takeInputTimeRange();
    emitDataChanged();
}

} // namespace vistra
