#pragma once
// TCP on 127.0.0.1 for the live-stream tests: ephemeral ports only, so that test programs
// running side by side never meet.
#include "core/types.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <vector>

namespace vistra::test {

// A listening socket on an ephemeral loopback port.
class LoopbackServer {
public:
    LoopbackServer();
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    u16 port() const { return boundPort; }
    // The next connection, or -1 when none came within ms.
    int accept(int ms = 5000, sockaddr_in* peer = nullptr);
    // Stops listening: a later connect is refused.
    void close();

private:
    int fd = -1;
    u16 boundPort = 0;
};

// A blocking connection to 127.0.0.1:port; -1 on failure.
int connectLoopback(u16 port);
// Exactly n bytes within ms; false on the end of the stream, an error or the time-out.
bool readFully(int fd, u8* out, std::size_t n, int ms = 5000);
bool writeFully(int fd, const std::vector<u8>& bytes);
// True when the peer has closed (or shut down) the connection within ms, with or without
// reading everything sent to it.
bool peerClosed(int fd, int ms = 5000);
// The number of open descriptors of this process.
int openDescriptors();

// 127.0.0.1:port.
inline sockaddr_in loopbackAddress(u16 port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

inline bool waitReadable(int fd, int ms)
{
    pollfd request{fd, POLLIN, 0};
    return poll(&request, 1, ms) > 0;
}

inline LoopbackServer::LoopbackServer()
{
    fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopbackAddress(0);
    socklen_t size = sizeof address;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 4) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        return;
    boundPort = ntohs(address.sin_port);
}

inline LoopbackServer::~LoopbackServer() { close(); }

inline void LoopbackServer::close()
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

inline int LoopbackServer::accept(int ms, sockaddr_in* peer)
{
    if (fd < 0 || !waitReadable(fd, ms))
        return -1;
    sockaddr_in address{};
    socklen_t size = sizeof address;
    const int client = ::accept4(fd, reinterpret_cast<sockaddr*>(&address), &size, SOCK_CLOEXEC);
    if (peer)
        *peer = address;
    return client;
}

inline int connectLoopback(u16 port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = loopbackAddress(port);
    if (fd >= 0 && connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
        return fd;
    if (fd >= 0)
        ::close(fd);
    return -1;
}

inline bool readFully(int fd, u8* out, std::size_t n, int ms)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    std::size_t got = 0;
    while (got < n) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !waitReadable(fd, static_cast<int>(left.count())))
            return false;
        const ssize_t count = read(fd, out + got, n - got);
        if (count <= 0)
            return false;
        got += static_cast<std::size_t>(count);
    }
    return true;
}

inline bool writeFully(int fd, const std::vector<u8>& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t count = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (count <= 0)
            return false;
        done += static_cast<std::size_t>(count);
    }
    return true;
}

inline bool peerClosed(int fd, int ms)
{
    u8 byte;
    return waitReadable(fd, ms) && read(fd, &byte, 1) <= 0; // the end, or a reset for bytes left unread
}

inline int openDescriptors()
{
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

} // namespace vistra::test
