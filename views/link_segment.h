#pragma once
// The System V shared-memory segment and semaphore set through which linked copies of the
// program meet. Both are keyed by the path of a file, normally the running executable, so
// every copy started from one file finds the same pair. Neither is ever removed: a copy
// started later attaches to them with the last record the others left.
#include "core/types.h"

#include <string>

namespace vistra {

// The whole segment: the visible interval and the two rulers, each as an absolute time
// and relative to the logger clock (the absolute time minus the publisher's time offset
// at it). Host byte order, no header; an unset ruler is all bits set.
struct SharedRecord {
    u64 from = 0;
    u64 fromRel = 0;
    u64 to = 0;
    u64 toRel = 0;
    u64 left = kNoTime;
    u64 leftRel = kNoTime;
    u64 right = kNoTime;
    u64 rightRel = kNoTime;

    bool operator==(const SharedRecord&) const = default;
};
static_assert(sizeof(SharedRecord) == 64, "the segment is eight 64-bit words");

class LinkSegment {
public:
    LinkSegment() = default;
    ~LinkSegment();

    LinkSegment(const LinkSegment&) = delete;
    LinkSegment& operator=(const LinkSegment&) = delete;

    // Attaches to the segment and semaphore set of keyPath, creating them when no copy has
    // yet. Returns the failure text ("shmget failed: <reason>" and the like) with nothing
    // attached, or an empty text.
    std::string open(const std::string& keyPath);
    // Detaches from the segment; the segment and the semaphores stay in the system.
    void close();
    bool attached() const { return memory != nullptr; }

    // Takes the lock, waiting a little over a second at most. False on a time-out or any
    // other failure: the caller skips this access. The kernel gives the lock back when the
    // holding process dies, so a copy killed while holding it wedges nobody.
    bool lock();
    // Gives the lock back. A failure is reported ("release semaphore failed: <reason>") and
    // throws PrintMsgError.
    void unlock();

    // The attached record; touch it only between lock and unlock.
    SharedRecord* record() { return memory; }
    int shmId() const { return shm; }
    int semId() const { return sem; }

private:
    int shm = -1;
    int sem = -1;
    SharedRecord* memory = nullptr;
};

// The path of the running executable; empty, with the failure text in `error`, when it
// cannot be read.
std::string executablePath(std::string& error);

} // namespace vistra
