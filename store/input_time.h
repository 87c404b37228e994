#pragma once
// Times that the text inputs (ASC traces, CSV tables) give in decimal seconds, as whole
// milliseconds.
#include "core/types.h"

#include <cfloat>

namespace vistra {

// `seconds` in whole milliseconds, truncated, into *ms. False for a time that is negative,
// not a number, or not below `limitMs` (the caller's time field could not hold it):
// converting such a value to an integer is undefined.
//
// Decimal seconds are rarely exact in binary: 1.001 s times 1000 is 1000.9999999999999.
// A few units of rounding error are forgiven before the truncation, so that a time
// written with whole milliseconds reads back as those milliseconds.
inline bool secondsToMs(double seconds, double limitMs, u64* ms)
{
    if (!(seconds >= 0))
        return false;
    const double scaled = seconds * 1000.0 * (1.0 + 4 * DBL_EPSILON);
    if (!(scaled < limitMs))
        return false;
    *ms = static_cast<u64>(scaled);
    return true;
}

} // namespace vistra
