#include "views/ipc.h"

#include "core/report.h"
#include "views/handler_guard.h"
#include "views/plot_math.h"
#include "views/time_box.h"

#include <glibmm/init.h>

#include <algorithm>
#include <chrono>
#include <iterator>
#include <new>

namespace vistra {
namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(10);

} // namespace

IPC::IPC() = default;

IPC::~IPC()
{
    stop();
}

IPC& IPC::instance()
{
    static IPC ipc;
    return ipc;
}

std::string IPC::start(const std::string& keyPath)
{
    if (thread.joinable())
        return {};
    std::string error;
    const std::string path = keyPath.empty() ? executablePath(error) : keyPath;
    if (path.empty())
        return error;
    error = segment.open(path);
    if (!error.empty())
        return error;
    Glib::init();
    if (!arrived) {
        arrived = std::make_unique<Glib::Dispatcher>();
        arrived->connect(sigc::mem_fun(*this, &IPC::onArrival));
    }
    timeBoxConnection = timeBox().changed.connect(sigc::mem_fun(*this, &IPC::onTimeBoxChanged));
    {
        std::lock_guard lock(mutex);
        stopping = false;
    }
    thread = std::thread(&IPC::run, this);
    return {};
}

void IPC::stop()
{
    {
        std::lock_guard lock(mutex);
        stopping = true;
    }
    wake.notify_all();
    if (thread.joinable())
        thread.join();
    timeBoxConnection.disconnect();
    segment.close();
}

void IPC::enable()
{
    std::lock_guard lock(mutex);
    linked = true;
    markForPublishing();
}

bool IPC::enabled() const
{
    std::lock_guard lock(mutex);
    return linked;
}

void IPC::addTimeOffset(u64 time, u64 offset)
{
    std::lock_guard lock(mutex);
    if (static_cast<i64>(time) <= static_cast<i64>(lastOffsetTime) || offset == lastOffset)
        return;
    try {
        offsets.emplace_back(time, offset);
    } catch (const std::bad_alloc&) {
        return; // the link stays as it was: a copy without the pair only shifts its rulers
    }
    lastOffsetTime = time;
    lastOffset = offset;
    baseKnown = true;
}

bool IPC::timeBaseKnown() const
{
    std::lock_guard lock(mutex);
    return baseKnown;
}

std::vector<std::pair<u64, u64>> IPC::timeOffsets() const
{
    std::lock_guard lock(mutex);
    return offsets;
}

void IPC::setRulers(u64 newLeft, u64 newRight)
{
    std::lock_guard lock(mutex);
    record.left = newLeft;
    record.right = newRight;
    record.leftRel = relative(newLeft);
    record.rightRel = relative(newRight);
    markForPublishing();
}

u64 IPC::leftRuler() const
{
    std::lock_guard lock(mutex);
    return absolute(record.left, record.leftRel);
}

u64 IPC::rightRuler() const
{
    std::lock_guard lock(mutex);
    return absolute(record.right, record.rightRel);
}

void IPC::intervalChanged(u64 from, u64 to, bool origin)
{
    std::lock_guard lock(mutex);
    if (!origin || !baseKnown)
        return;
    record.from = from;
    record.fromRel = relative(from);
    record.to = to;
    record.toRel = relative(to);
    markForPublishing();
}

bool IPC::exchange(SharedRecord& shared)
{
    std::lock_guard lock(mutex);
    if (!linked || !baseKnown)
        return false;
    if (publishPending) {
        shared = record;
        publishPending = false;
        return false;
    }
    const SharedRecord seen = shared;
    // All zeros: a new segment that no copy has written yet. Taking it would put both
    // rulers and the interval at the logger clock's zero.
    if (seen == record || seen == SharedRecord{0, 0, 0, 0, 0, 0, 0, 0} || !acceptable(seen))
        return false;
    record = seen;
    mailbox = seen;
    return true;
}

std::optional<IPC::Arrival> IPC::takeArrival()
{
    std::lock_guard lock(mutex);
    if (!mailbox)
        return std::nullopt;
    const SharedRecord taken = *mailbox;
    mailbox.reset();
    Arrival arrival;
    // A publisher that only moved rulers, or whose interval was emptied by a reload, has
    // no interval to give: following it would collapse this copy's view.
    arrival.hasInterval = taken.to != 0;
    if (arrival.hasInterval) {
        arrival.from = absolute(taken.from, taken.fromRel);
        arrival.to = absolute(taken.to, taken.toRel);
    }
    return arrival;
}

std::optional<u64> IPC::ownTime(u64 abs, u64 rel) const
{
    if (abs > kLatestPlotTime || rel > kLatestPlotTime)
        return std::nullopt;
    const u64 offset = offsetAt(abs);
    if (offset > kLatestPlotTime - rel)
        return std::nullopt;
    return rel + offset;
}

bool IPC::acceptable(const SharedRecord& seen) const
{
    if (seen.to != 0) { // else no interval, which is not read
        const std::optional<u64> from = ownTime(seen.from, seen.fromRel);
        const std::optional<u64> to = ownTime(seen.to, seen.toRel);
        if (!from || !to || seen.from >= seen.to || *from >= *to)
            return false;
    }
    // A ruler whose absolute form is negative is unset; its relative form is not read.
    const auto rulerOk = [this](u64 abs, u64 rel) { return static_cast<i64>(abs) < 0 || ownTime(abs, rel); };
    return rulerOk(seen.left, seen.leftRel) && rulerOk(seen.right, seen.rightRel);
}

u64 IPC::absolute(u64 abs, u64 rel) const
{
    if (static_cast<i64>(abs) < 0)
        return kNoTime;
    return baseKnown ? rel + offsetAt(abs) : rel;
}

u64 IPC::offsetAt(u64 t) const
{
    if (offsets.empty())
        return 0;
    // Pairs are appended in ascending time.
    auto after = std::upper_bound(offsets.begin(), offsets.end(), t,
                                  [](u64 time, const std::pair<u64, u64>& pair) { return time < pair.first; });
    return after == offsets.begin() ? offsets.front().second : std::prev(after)->second;
}

void IPC::run()
{
    for (;;) {
        try {
            poll();
        } catch (...) {
            // A failed unlock is reported already; the next poll tries again.
            reportCurrentException("Following the other linked copies");
        }
        std::unique_lock lock(mutex);
        if (wake.wait_for(lock, kPollInterval, [this] { return stopping; }))
            return;
    }
}

void IPC::poll()
{
    {
        std::lock_guard lock(mutex);
        if (!linked || !baseKnown)
            return;
    }
    if (!segment.attached() || !segment.lock())
        return; // a time-out loses only this poll
    if (exchange(*segment.record()))
        arrived->emit();
    segment.unlock();
}

void IPC::onArrival()
{
    guardHandler("Following the other linked copies", [this] {
        const std::optional<Arrival> arrival = takeArrival();
        if (!arrival)
            return;
        TimeBox& box = timeBox();
        // Origin false: the interval came from the link and is not published back.
        if (arrival->hasInterval && (arrival->from != box.from || arrival->to != box.to))
            box.setInterval(arrival->from, arrival->to, false);
        rulersChanged.emit();
    });
}

void IPC::onTimeBoxChanged()
{
    guardHandler("Publishing the visible interval", [this] {
        const TimeBox& box = timeBox();
        intervalChanged(box.from, box.to, box.origin);
    });
}

} // namespace vistra
