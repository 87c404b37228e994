#include "store/can_socket.h"

#include "core/report.h"

#include <linux/can.h>
#include <linux/can/raw.h>
#include <linux/sockios.h>
#include <net/if.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace vistra {
namespace {

class CanSocketSource : public CanFrameSource {
public:
    explicit CanSocketSource(int descriptor) : fd(descriptor) {}
    ~CanSocketSource() override { closeCanSocket(fd); }
    CanSocketSource(const CanSocketSource&) = delete;
    CanSocketSource& operator=(const CanSocketSource&) = delete;

    int read(FrameRecord* frame, int waitMs) override
    {
        const int ready = waitReadable(fd, waitMs);
        return ready <= 0 ? ready : readCanTimestamp(fd, frame);
    }

private:
    int fd;
};

} // namespace

int openCanSocket(int channel)
{
    const int fd = ::socket(PF_CAN, SOCK_RAW | SOCK_CLOEXEC, CAN_RAW);
    if (fd < 0) {
        streamLog(Level::Error, "open socket failed: %m");
        return -1;
    }
    const can_err_mask_t errors = kCanErrorClasses;
    if (::setsockopt(fd, SOL_CAN_RAW, CAN_RAW_ERR_FILTER, &errors, sizeof errors) != 0) {
        streamLog(Level::Error, "setsockopt failed: %m");
        ::close(fd);
        return -1;
    }
    sockaddr_can address{};
    address.can_family = AF_CAN;
    address.can_ifindex = 0; // every CAN interface
    if (channel >= 0) {
        ifreq request{};
        std::snprintf(request.ifr_name, sizeof request.ifr_name, "can%d", static_cast<u8>(channel));
        if (::ioctl(fd, SIOCGIFINDEX, &request) != 0 || request.ifr_ifindex < 0) {
            streamLog(Level::Error, "Could not determine interface index for channel %d", channel);
            ::close(fd);
            return -1;
        }
        address.can_ifindex = request.ifr_ifindex;
    }
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        streamLog(Level::Error, "bind socket failed: %m");
        ::close(fd);
        return -1;
    }
    return fd;
}

int readCanTimestamp(int fd, FrameRecord* out)
{
    // Room for more than a classic frame, so that anything longer is seen and refused
    // instead of being cut to 16 bytes.
    u8 bytes[CANFD_MTU];
    ssize_t n;
    do
        n = ::read(fd, bytes, sizeof bytes);
    while (n < 0 && errno == EINTR);
    if (n != static_cast<ssize_t>(sizeof(can_frame)))
        return -1;
    can_frame frame;
    std::memcpy(&frame, bytes, sizeof frame);
    out->idWord = frame.can_id;
    out->length = frame.len;
    std::memset(out->data, 0, sizeof out->data);
    std::memcpy(out->data, frame.data, out->dataLength());

    timeval received{};
    if (::ioctl(fd, SIOCGSTAMP, &received) != 0) {
        streamLog(Level::Error, "get timestamp ioctl failed: %m");
        return -1;
    }
    out->absTime = u64(received.tv_sec) * 1000 + u64(received.tv_usec) / 1000;
    return 1;
}

void closeCanSocket(int fd)
{
    if (fd >= 0)
        ::close(fd);
}

u64 wallClockMs()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return u64(now.tv_sec) * 1000 + u64(now.tv_nsec) / 1000000;
}

int waitReadable(int fd, int ms)
{
    pollfd request{fd, POLLIN, 0};
    const int n = ::poll(&request, 1, ms);
    if (n < 0)
        return errno == EINTR ? 0 : -1;
    return n == 0 ? 0 : 1;
}

std::unique_ptr<CanFrameSource> openCanSocketSource(int channel)
{
    const int fd = openCanSocket(channel);
    if (fd < 0)
        return nullptr;
    return std::make_unique<CanSocketSource>(fd);
}

} // namespace vistra
