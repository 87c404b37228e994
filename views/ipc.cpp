#include "views/ipc.h"

#include "core/types.h"

#include <algorithm>
#include <iterator>
#include <new>

namespace vistra {

IPC& IPC::instance()
{
    static IPC ipc;
    return ipc;
}

void IPC::enable()
{
    std::lock_guard lock(mutex);
    linked = true;
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
    left = newLeft;
    right = newRight;
    leftRel = relative(newLeft);
    rightRel = relative(newRight);
}

u64 IPC::leftRuler() const
{
    std::lock_guard lock(mutex);
    return absolute(left, leftRel);
}

u64 IPC::rightRuler() const
{
    std::lock_guard lock(mutex);
    return absolute(right, rightRel);
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

} // namespace vistra
