#include "store/can_batch_reader.h"

#include "core/byte_layout.h"
#include "core/report.h"
#include "store/can_socket.h"

#include <linux/can.h>
#include <linux/errqueue.h>
#include <linux/net_tstamp.h>
#include <linux/sockios.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>

namespace vistra {
namespace {

constexpr int kReceiveBufferBytes = 300000;
constexpr int kMaxCanChannels = 255;

void countDrop(CanSocketHandle* h, CanDropKind kind)
{
    h->dropped[kind] += 1;
    h->dropPending[kind] = true;
}

bool takeDropRecord(CanSocketHandle* h, FrameRecord* out)
{
    for (int kind = 0; kind < kDropKinds; ++kind) {
        if (!h->dropPending[kind])
            continue;
        h->dropPending[kind] = false;
        *out = FrameRecord{};
        out->absTime = wallClockMs();
        out->timestamp = static_cast<u32>(out->absTime);
        out->idWord = kDropRecordIds[kind];
        out->iface = 255;
        out->length = 8;
        storeLe32(out->data + 4, h->dropped[kind]);
        return true;
    }
    return false;
}

// The kernel's drop totals come with every frame: the batch's newest one counts.
void countBatchDrops(CanSocketHandle* h)
{
    for (int i = 0; i < h->filled; ++i) {
        msghdr& m = h->headers[i].msg_hdr;
        for (cmsghdr* c = CMSG_FIRSTHDR(&m); c; c = CMSG_NXTHDR(&m, c))
            if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SO_RXQ_OVFL)
                countCanDrops(h, c);
    }
}

// The frame of slot i into *out; false when it cannot be handed out (reported, counted).
bool takeFrame(CanSocketHandle* h, int i, FrameRecord* out)
{
    const unsigned length = h->headers[i].msg_len;
    if (length != sizeof(can_frame)) {
        streamLog(Level::Warning, "Got invalid can frame length %d expected %d", static_cast<int>(length),
                  static_cast<int>(sizeof(can_frame)));
        countDrop(h, kDropBadLength);
        return false;
    }
    msghdr& m = h->headers[i].msg_hdr;
    const scm_timestamping* stamps = nullptr;
    for (cmsghdr* c = CMSG_FIRSTHDR(&m); c; c = CMSG_NXTHDR(&m, c))
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SO_TIMESTAMPING &&
            c->cmsg_len >= CMSG_LEN(sizeof(scm_timestamping)))
            stamps = reinterpret_cast<const scm_timestamping*>(CMSG_DATA(c));
    if (!stamps) {
        streamLog(Level::Error, "No data added to frame");
        countDrop(h, kDropNoOrigin);
        return false;
    }
    // The sender's interface index: sockaddr_can holds it after the family.
    int index = 0;
    std::memcpy(&index, reinterpret_cast<const u8*>(&h->slots[i].sender) + offsetof(sockaddr_can, can_ifindex),
                sizeof index);
    const auto channel = h->channelOfIndex.find(index);
    if (channel == h->channelOfIndex.end()) {
        streamLog(Level::Error, "Interface index %d was not found during init", index);
        countDrop(h, kDropNoOrigin);
        return false;
    }

    can_frame frame;
    std::memcpy(&frame, h->slots[i].frame, sizeof frame);
    *out = FrameRecord{};
    out->idWord = frame.can_id;
    out->length = frame.len;
    std::memcpy(out->data, frame.data, out->dataLength());
    out->iface = channel->second;
    timespec software{};
    std::memcpy(&software, &stamps->ts[0], sizeof software);
    out->absTime = u64(software.tv_sec) * 1000 + u64(software.tv_nsec) / 1000000;
    out->timestamp = static_cast<u32>(out->absTime);
    return true;
}

} // namespace

bool enableCanReceive(int fd)
{
    const int stamping = SOF_TIMESTAMPING_RX_SOFTWARE | SOF_TIMESTAMPING_SOFTWARE;
    if (::setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPING, &stamping, sizeof stamping) != 0) {
        streamLog(Level::Error, "setsockopt SO_TIMESTAMPING is not supported by your Linux kernel");
        return false;
    }
    const int on = 1;
    if (::setsockopt(fd, SOL_SOCKET, SO_RXQ_OVFL, &on, sizeof on) != 0) {
        streamLog(Level::Error, "setsockopt SO_RXQ_OVFL not supported by your Linux Kernel");
        return false;
    }
    // A burst on a busy bus must not overflow the queue while a batch is handed out.
    const int size = kReceiveBufferBytes;
    if (::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) != 0) {
        streamLog(Level::Warning, "SO_RCVBUFFORCE failed, trying SO_RCVBUF ...\n");
        int granted = 0;
        socklen_t grantedSize = sizeof granted;
        if (::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size) != 0)
            streamLog(Level::Warning, "setsockopt SO_RCVBUF failed");
        else if (::getsockopt(fd, SOL_SOCKET, SO_RCVBUF, &granted, &grantedSize) != 0)
            streamLog(Level::Warning, "getsockopt SO_RCVBUF failed");
    }
    return true;
}

int probeCanInterfaces(int fd, std::map<int, u8>& channelOfIndex)
{
    int found = 0;
    for (int n = 0; n < kMaxCanChannels; ++n) {
        ifreq request{};
        std::snprintf(request.ifr_name, sizeof request.ifr_name, "can%d", n);
        if (::ioctl(fd, SIOCGIFINDEX, &request) == 0) {
            channelOfIndex[request.ifr_ifindex] = static_cast<u8>(n);
            found += 1;
        }
    }
    return found;
}

bool writeCanIfCount(const char* path, int count)
{
    std::FILE* f = std::fopen(path, "w+");
    if (!f) {
        streamLog(Level::Error, "Could not open %s for writing", path);
        return false;
    }
    std::fprintf(f, "%d", count);
    return std::fclose(f) == 0;
}

CanSocketHandle* attachCanSocket(int fd, std::map<int, u8> channelOfIndex)
{
    auto* h = new CanSocketHandle;
    h->fd = fd;
    h->channelOfIndex = std::move(channelOfIndex);
    h->slots.resize(kCanBatchSize);
    h->headers.resize(kCanBatchSize);
    h->vectors.resize(kCanBatchSize);
    return h;
}

int setupCanSocket(CanSocketHandle** handle, const char* countPath)
{
    if (!handle) {
        streamLog(Level::Error, "Invalid pointer to handle");
        return -1;
    }
    *handle = nullptr;
    const int fd = openCanSocket(-1);
    if (fd < 0 || !enableCanReceive(fd)) {
        closeCanSocket(fd);
        streamLog(Level::Error, "Init socket failed");
        return -1;
    }
    std::map<int, u8> channels;
    // Without the count the logger's other programs see no interface; the frames can
    // still be read.
    writeCanIfCount(countPath, probeCanInterfaces(fd, channels));
    *handle = attachCanSocket(fd, std::move(channels));
    return 0;
}

int countCanDrops(CanSocketHandle* handle, const cmsghdr* control)
{
    if (!handle || !control) {
        streamLog(Level::Error, "Got NULL ptr when updating drop");
        return -1;
    }
    u32 total = 0;
    std::memcpy(&total, CMSG_DATA(control), sizeof total);
    if (total != handle->dropped[kDropQueueOverflow]) {
        handle->dropped[kDropQueueOverflow] = total;
        handle->dropPending[kDropQueueOverflow] = true;
    }
    return 0;
}

int readCanBatch(CanSocketHandle* handle, FrameRecord* out)
{
    if (!handle || !out) {
        streamLog(Level::Error, "Nullptr");
        return -1;
    }
    for (;;) {
        // A frame that cannot be handed out is counted at once: its drop report comes
        // before the frames after it.
        if (takeDropRecord(handle, out))
            return 1;
        if (handle->next < handle->filled) {
            if (takeFrame(handle, handle->next++, out))
                return 1;
            continue;
        }

        for (int i = 0; i < kCanBatchSize; ++i) {
            CanSocketHandle::Slot& slot = handle->slots[i];
            handle->vectors[i] = {slot.frame, sizeof slot.frame};
            msghdr& m = handle->headers[i].msg_hdr;
            m = msghdr{};
            m.msg_name = &slot.sender;
            m.msg_namelen = sizeof slot.sender;
            m.msg_iov = &handle->vectors[i];
            m.msg_iovlen = 1;
            m.msg_control = slot.control;
            m.msg_controllen = sizeof slot.control;
            handle->headers[i].msg_len = 0;
        }
        // Waits for the first frame, then takes what else is there without waiting.
        const int n = ::recvmmsg(handle->fd, handle->headers.data(), kCanBatchSize, MSG_WAITFORONE, nullptr);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            handle->filled = handle->next = 0;
            streamLog(Level::Error, "recvmmsg failed");
            return -1;
        }
        handle->filled = n;
        handle->next = 0;
        // The frames lost before this batch are reported before it.
        countBatchDrops(handle);
    }
}

void releaseCanSocket(CanSocketHandle* handle)
{
    if (!handle)
        return;
    closeCanSocket(handle->fd);
    delete handle;
}

} // namespace vistra
