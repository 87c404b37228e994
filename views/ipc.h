#pragma once
// The link between running copies of the program (option -g): a change of the visible
// interval or of a ruler in one linked copy is followed by every other linked copy.
//
// The copies share one 64-byte record (link_segment.h). Each copy keeps its own view of
// it, `record`: the GUI thread writes its changes there and marks them for publishing; a
// reader thread of the link, every 10 ms, takes the inter-process lock and either
// publishes the marked record or takes a new one that another copy wrote. A record taken
// waits in a mailbox for the GUI thread, which moves the visible interval and then emits
// rulersChanged. So the GUI thread never waits for another process, and TimeBox is only
// touched on the GUI thread.
//
// Times travel in two forms, absolute and relative to the logger clock; each copy puts
// the relative form back on its own time base through its table of time offsets, which
// the Store feeds while it loads. Until the first offset arrives a copy neither publishes
// nor follows, and an unlinked copy (no -g) never does either.
#include "core/types.h"
#include "views/link_segment.h"

#include <glibmm/dispatcher.h>
#include <sigc++/connection.h>
#include <sigc++/signal.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace vistra {

class IPC {
public:
    IPC();
    ~IPC();

    IPC(const IPC&) = delete;
    IPC& operator=(const IPC&) = delete;

    static IPC& instance();

    // Attaches to the shared record of every copy started from the file at keyPath (the
    // running executable when empty), follows this copy's visible interval and starts the
    // reader thread. Returns the failure text, with nothing started, or an empty text.
    // GUI thread, once.
    std::string start(const std::string& keyPath = {});
    // Ends and joins the reader thread and detaches. Called before main returns.
    void stop();

    // Turns linking on (-g). Never throws.
    void enable();
    bool enabled() const;

    // Records that data from `time` on uses `offset` between logger timestamps and
    // absolute time. Taken only when time is later than the last recorded time (signed)
    // and the offset differs from the last one; the first one makes the time base known.
    // Runs on the thread that dispatches frames. Never throws.
    void addTimeOffset(u64 time, u64 offset);

    bool timeBaseKnown() const;
    std::vector<std::pair<u64, u64>> timeOffsets() const;

    // The detail plot's rulers after every move; kNoTime (-1) for an unset one. GUI thread.
    void setRulers(u64 left, u64 right);
    // The rulers as this copy reads them back: kNoTime when unset, else the relative form
    // put back on this copy's own time base.
    u64 leftRuler() const;
    u64 rightRuler() const;
    // This copy's visible interval moved; published only when this copy's own user moved
    // it (origin), so that an interval taken from the link is not sent back. GUI thread.
    void intervalChanged(u64 from, u64 to, bool origin);

    // One access to the locked record: publishes this copy's record when a change waits,
    // else takes what another copy wrote when it differs from this copy's record and its
    // times are sound (a record that is not is left unread). True
    // when a record was taken: it waits for takeArrival. Does nothing while unlinked or
    // before the time base is known. Reader thread (and tests, on plain memory).
    bool exchange(SharedRecord& shared);

    // The record taken last, on this copy's time base; hasInterval is false when the
    // publisher had no interval to give (it only moved rulers). GUI thread.
    struct Arrival {
        bool hasInterval = false;
        u64 from = 0;
        u64 to = 0;
    };
    std::optional<Arrival> takeArrival();

    // A record from another copy arrived; its interval is in TimeBox already. GUI thread.
    sigc::signal<void()> rulersChanged;

private:
    // The offset in force at t: that of the last pair not after t, or the first pair's
    // when t precedes them all. Called with `mutex` held, once the time base is known.
    u64 offsetAt(u64 t) const;
    u64 relative(u64 t) const { return baseKnown ? t - offsetAt(t) : t; }
    u64 absolute(u64 abs, u64 rel) const;
    // The segment is writable by every local user: a record is taken only when each of
    // its times, in both forms and put on this copy's time base, is one the plots can
    // place, and its interval runs forward. Called with `mutex` held, once the time base
    // is known.
    bool acceptable(const SharedRecord& seen) const;
    std::optional<u64> ownTime(u64 abs, u64 rel) const;
    // A change of the record goes out when linked, once there is a time base to express
    // it in. Called with `mutex` held.
    void markForPublishing() { publishPending = linked && baseKnown; }
    void run();
    void poll();
    void onArrival();
    void onTimeBoxChanged();

    // Guards everything below; the reader holds it only for the copy, never while it
    // waits for the inter-process lock.
    mutable std::mutex mutex;
    bool linked = false;
    bool baseKnown = false;
    u64 lastOffsetTime = 0;
    u64 lastOffset = 0;
    std::vector<std::pair<u64, u64>> offsets;
    SharedRecord record;
    bool publishPending = false;
    std::optional<SharedRecord> mailbox;
    bool stopping = false;
    std::condition_variable wake;

    LinkSegment segment;
    // Made in start, once glibmm is initialised.
    std::unique_ptr<Glib::Dispatcher> arrived;
    sigc::connection timeBoxConnection;
    std::thread thread;
};

} // namespace vistra
