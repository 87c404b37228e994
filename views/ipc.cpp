#include "views/ipc.h"

#include "core/types.h"

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

} // namespace vistra
