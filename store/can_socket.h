#pragma once
// Classic CAN frames straight from a local CAN interface (Linux SocketCAN), with their
// kernel receive times. Like the other stream and socket code these functions return
// codes instead of throwing and print their own time-stamped lines to standard error.
#include "core/frame_record.h"
#include "core/types.h"

#include <memory>

namespace vistra {

// The error classes that every socket receives as error frames: all but acknowledgement
// errors, which a lone listener on a bus sees on every frame it does not acknowledge.
inline constexpr u32 kCanErrorClasses = 0x1FFFFFDF;

// A raw CAN socket with the error filter, bound to "can<channel>", or to every CAN
// interface for a channel below 0. The descriptor, or -1 after an ERR line.
int openCanSocket(int channel);
// Reads one frame (exactly 16 bytes) into *out: identifier word, length, the data bytes
// (never more than 8) and, as absTime, the kernel's receive time in ms. 1, or -1 when the
// read gives no whole frame or the receive time cannot be had (ERR).
int readCanTimestamp(int fd, FrameRecord* out);
void closeCanSocket(int fd);
// The wall clock (CLOCK_REALTIME) in ms since the epoch.
u64 wallClockMs();
// Waits at most `ms` for something to read on fd: 1 readable, 0 not yet, -1 failure.
int waitReadable(int fd, int ms);

// Where the SocketCAN job takes its frames from.
class CanFrameSource {
public:
    virtual ~CanFrameSource() = default;
    // Waits at most waitMs for the next frame: 1 with the frame (its absTime the receive
    // time in ms since the epoch), 0 when none came in time, -1 when reading failed.
    virtual int read(FrameRecord* frame, int waitMs) = 0;
};

// The CAN socket of a channel as a frame source; null when it cannot be opened (reported).
std::unique_ptr<CanFrameSource> openCanSocketSource(int channel);

} // namespace vistra
