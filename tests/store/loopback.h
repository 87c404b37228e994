#pragma once
// TCP on 127.0.0.1 for the live-stream tests: ephemeral ports only, so that test programs
// running side by side never meet.
#include "core/types.h"

#include <netinet/in.h>

#include <cstddef>
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

} // namespace vistra::test
