#include "views/time_box.h"

#include "core/store_host.h"

#include <algorithm>

namespace vistra {

TimeBox::TimeBox() = default;

TimeBox::~TimeBox() = default;

void TimeBox::setInterval(u64 newFrom, u64 newTo, bool newOrigin)
{
    origin = newOrigin;
    const StoreHost& host = storeHost();
    newFrom = std::max(newFrom, host.viewStart.load());
    newTo = std::min(newTo, host.viewEnd.load());
    if (newTo < newFrom)
        return;
    const bool moved = newFrom != from || newTo != to;
    from = newFrom;
    to = newTo;
    if (moved)
        changed.emit();
}

void TimeBox::centerOn(u64 t)
{
    const StoreHost& host = storeHost();
    const u64 viewStart = host.viewStart.load();
    const u64 viewEnd = host.viewEnd.load();
    if (viewStart > viewEnd) { // nothing loaded: no window to centre in
        changed.emit();
        return;
    }
    // Times are ms since the epoch, far below the signed range.
    const i64 start = static_cast<i64>(viewStart);
    const i64 end = static_cast<i64>(viewEnd);
    // An empty interval has no span to keep; centring it would collapse it to [t, t].
    // The view window stands in for it.
    const i64 oldFrom = empty() ? start : static_cast<i64>(from);
    const i64 oldTo = empty() ? end : static_cast<i64>(to);
    const i64 half = (oldTo - oldFrom) / 2;
    const i64 a = static_cast<i64>(t) - half;
    const i64 b = static_cast<i64>(t) + half;
    i64 newFrom = a;
    i64 newTo = b;
    if (a < start) {
        newFrom = start;
        newTo = start + (b - a);
    } else if (b > end) {
        newFrom = a - (b - end);
        newTo = end;
    }
    // A span wider than the view window (left from before a crop) must not push the
    // other end outside it.
    from = static_cast<u64>(std::max(newFrom, start));
    to = static_cast<u64>(std::min(newTo, end));
    changed.emit();
}

void TimeBox::reset()
{
    from = 0;
    to = 0;
    changed.emit();
}

TimeBox& timeBox()
{
    static TimeBox box;
    return box;
}

} // namespace vistra
