#pragma once
// The switch that count, time and above/below watch their input through: low goes high
// when the input rises above `above`, high goes low when it falls below `below`; values
// between the two levels keep the state.

namespace vistra {

// Moves `high` for the input value x. True when it went from low to high.
inline bool switchHysteresis(bool& high, double x, double above, double below)
{
    if (high) {
        if (x < below)
            high = false;
        return false;
    }
    if (x > above)
        high = true;
    return high;
}

} // namespace vistra
