#pragma once
// The resampled table that the copy dialog puts on the clipboard, built without any
// widget: which signals become columns, how a scale value snaps to a copy step, and the
// tab-separated text itself.
#include "core/types.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace vistra {

class CanIface;
class Signal;

// The plotted signals (enabled and not kept off the plot), walked by interface number,
// message identifier and signal name: the column order of the table, which is not the
// lane order of the plot.
std::vector<std::shared_ptr<Signal>> plottedColumns(const std::map<u32, std::shared_ptr<CanIface>>& interfaces);

// The step chosen with a scale of unit `unit` (1, 10 or 1000 ms) whose largest value is
// `highest`: v rounded down to a multiple of the unit, never above `highest` and never
// below one unit. Keyboard steps hand a scale values below its lower end, and a step of
// 0 would never finish a table.
u64 snapStep(double v, u64 unit, u64 highest);

// Header "Time(ms)" and "<full name> (<unit>)" per column, then one row per t = from,
// from + step, ... below `to`: t - from, then each column's value at t with two decimals
// (a decimal comma when `decimalComma`). No line feed after the last row. A step below
// 1 ms is taken as 1 ms.
std::string resampledTable(const std::vector<std::shared_ptr<Signal>>& columns, u64 from, u64 to, u64 step,
                           bool decimalComma);

} // namespace vistra
