#include "views/resample_table.h"

#include "core/can_iface.h"
#include "core/message.h"
#include "core/signal.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <mutex>

namespace vistra {

std::vector<std::shared_ptr<Signal>> plottedColumns(const std::map<u32, std::shared_ptr<CanIface>>& interfaces)
{
    std::vector<std::shared_ptr<Signal>> columns;
    for (const auto& iface : interfaces)
        for (const auto& msg : iface.second->messages)
            for (const auto& entry : msg.second->signalsByName)
                if (entry.second->enabled && !entry.second->noPlot)
                    columns.push_back(entry.second);
    return columns;
}

u64 snapStep(double v, u64 unit, u64 highest)
{
    // Written so that NaN also ends at the lower end.
    if (!(v >= static_cast<double>(unit)))
        return unit;
    if (v >= static_cast<double>(highest))
        return highest / unit * unit;
    return static_cast<u64>(std::floor(v / static_cast<double>(unit))) * unit;
}

namespace {

// Each column's value at every row time. One pass per column under the signal's lock,
// with a cursor that only moves forward: rows and samples are both in time order.
std::vector<double> columnValues(Signal& signal, u64 from, u64 step, std::size_t rows)
{
    std::vector<double> values(rows, 0.0);
    std::lock_guard lock(*signal.samplesMutex);
    const std::vector<Sample>& samples = signal.samples;
    const Sample* start = signal.lowerBoundApprox(from);
    if (!start)
        return values;
    std::size_t i = static_cast<std::size_t>(start - samples.data());
    const std::size_t n = samples.size();
    u64 t = from;
    for (std::size_t row = 0; row < rows; ++row, t += step) {
        while (i + 1 < n && samples[i + 1].time <= t)
            ++i;
        if (samples[i].time <= t)
            values[row] = samples[i].value;
    }
    return values;
}

void appendValue(std::string& out, double v, bool decimalComma)
{
    char text[400]; // "%.2f" of DBL_MAX has 312 characters
    int len = std::snprintf(text, sizeof text, "%.2f", v);
    len = std::clamp(len, 0, static_cast<int>(sizeof text) - 1);
    if (decimalComma)
        std::replace(text, text + len, '.', ',');
    out.append(text, static_cast<std::size_t>(len));
}

} // namespace

std::string resampledTable(const std::vector<std::shared_ptr<Signal>>& columns, u64 from, u64 to, u64 step,
                           bool decimalComma)
{
    step = std::max<u64>(step, 1);
    std::string out = "Time(ms)";
    for (const auto& signal : columns)
        out += "\t" + signal->fullName.raw() + " (" + signal->unit.raw() + ")";

    // Rows at from, from + step, ... while t < to; counted up front, so that t never
    // needs to pass `to` (no overflow near the end of the u64 range).
    const std::size_t rows = to > from ? static_cast<std::size_t>((to - from - 1) / step + 1) : 0;
    std::vector<std::vector<double>> values;
    values.reserve(columns.size());
    for (const auto& signal : columns)
        values.push_back(columnValues(*signal, from, step, rows));

    out.reserve(out.size() + rows * (8 + columns.size() * 8));
    for (std::size_t row = 0; row < rows; ++row) {
        out += '\n';
        out += std::to_string(static_cast<u64>(row) * step);
        for (const auto& column : values) {
            out += '\t';
            appendValue(out, column[row], decimalComma);
        }
    }
    return out;
}

} // namespace vistra
