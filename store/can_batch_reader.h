#pragma once
// The logger's receive side of CAN socket access: one raw socket on every CAN interface,
// read in batches, each frame with its kernel receive time and its channel, and the
// frames that were lost reported as records of their own. Codes instead of exceptions;
// diagnostics are time-stamped lines on standard error.
#include "core/frame_record.h"
#include "core/types.h"

#include <sys/socket.h>

#include <map>
#include <vector>

namespace vistra {

// The most frames one read takes from the kernel.
inline constexpr int kCanBatchSize = 200;
// Where the number of CAN interfaces found is written for the logger's other programs.
inline constexpr const char* kCanIfCountPath = "/var/run/vesmard_ifcount.txt";

// Lost frames are handed out as error records on the logger's interface, each kind with
// its running total in data bytes 4 to 7 (little-endian).
enum CanDropKind {
    kDropQueueOverflow, // the kernel's receive queue was full
    kDropBadLength,     // a read that was no classic CAN frame
    kDropNoOrigin,      // a frame without its receive time or from an unknown interface
    kDropKinds
};
inline constexpr u32 kDropRecordIds[kDropKinds] = {0x20000100, 0x20000101, 0x20000102};

struct CanSocketHandle {
    int fd = -1;
    // The channel number ("can<n>") of each interface index.
    std::map<int, u8> channelOfIndex;
    // One batch: a kernel header per frame, with room for the frame (more than a classic
    // one, so that a longer one shows), its sender and its control data.
    struct Slot {
        u8 frame[72];
        sockaddr_storage sender;
        alignas(cmsghdr) u8 control[256];
    };
    std::vector<Slot> slots;
    std::vector<mmsghdr> headers;
    std::vector<iovec> vectors;
    int filled = 0; // frames in the batch
    int next = 0;   // the next one to hand out
    u32 dropped[kDropKinds] = {};
    bool dropPending[kDropKinds] = {};
};

// Opens the socket (error filter, software receive times, drop counter, a large receive
// buffer), finds the interfaces "can0" to "can254", writes their number to `countPath`
// and hands out the handle. 0, or -1 after an ERR.
int setupCanSocket(CanSocketHandle** handle, const char* countPath = kCanIfCountPath);
// The receive options of setupCanSocket on a socket: false after an ERR.
bool enableCanReceive(int fd);
// Finds the interfaces "can0" to "can254" with the socket `fd`: their number.
int probeCanInterfaces(int fd, std::map<int, u8>& channelOfIndex);
// Writes the number of interfaces found ("%d") to `path`; false after an ERR.
bool writeCanIfCount(const char* path, int count);
// A handle around a socket that has its options already; the handle owns it.
CanSocketHandle* attachCanSocket(int fd, std::map<int, u8> channelOfIndex);
// The next record: a pending drop report first, else the next frame of the batch, a new
// batch read when it is used up (waiting for at least one frame). Frames that cannot be
// handed out are reported and counted as drops. 1, or -1 after an ERR.
int readCanBatch(CanSocketHandle* handle, FrameRecord* out);
// Takes the kernel's drop total from a control message; a change is handed out next.
// 0, or -1 after an ERR.
int countCanDrops(CanSocketHandle* handle, const cmsghdr* control);
// Closes the socket and frees the handle.
void releaseCanSocket(CanSocketHandle* handle);

} // namespace vistra
