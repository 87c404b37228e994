#pragma once
// Shared by the model tests of tests/core: a time of this decade and the stored series of
// a signal. (The test sources are compiled in batches, so that each defines these once.)
#include "core/signal.h"

#include <utility>
#include <vector>

namespace vistra::test {

// A time of this decade: 0 means "no event yet" to the model.
inline constexpr u64 T = 1765000000000;

using Points = std::vector<std::pair<u64, double>>;

// Every stored (time, value) of a signal, in order.
inline Points stored(const Signal& s)
{
    Points out;
    for (const Sample& sample : s.samples)
        out.emplace_back(sample.time, sample.value);
    return out;
}

} // namespace vistra::test
