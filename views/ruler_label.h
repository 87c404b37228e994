#pragma once
// The text of a signal's value box at a ruler of the detail plot.
#include "core/types.h"

#include <optional>
#include <string>

namespace vistra {

class Signal;

// "<value> <full name> (<unit>)" with the signal's value at the ruler time `at`; with
// `deltaFrom` (the main ruler, when the secondary ruler shows differences)
// "Δ<difference> <full name> (<unit>)". A signal without a sample at or before a ruler
// has no value there: its text is "<full name> (<unit>)" alone, for a zero would look
// like data.
std::string rulerValueText(Signal& signal, u64 at, std::optional<u64> deltaFrom);

} // namespace vistra
