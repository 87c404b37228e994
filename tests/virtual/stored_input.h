#pragma once
// Inputs stored as a log load stores them: value by value through addValue, which keeps
// the changes only, then finish, which closes the series at the last value's time.
#include "core/signal.h"

#include "test_host.h"

#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace vistra::test {

// A signal "CAN0.In.<name>" fed the points (times relative to `base`).
inline std::shared_ptr<Signal> storedInput(TestHost& host, const std::string& name,
                                           const std::vector<std::pair<u64, double>>& points, u64 base = T0)
{
    auto signal = host.input(name);
    for (const auto& [t, v] : points)
        signal->addValue(base + t, v);
    signal->finish();
    return signal;
}

// The value x_k held from step k on (at base + k * step), closed by one more step with the
// last value, so that the step of every value is computed.
inline std::shared_ptr<Signal> perStepInput(TestHost& host, const std::string& name, const std::vector<double>& values,
                                            u64 step, u64 base = T0)
{
    std::vector<std::pair<u64, double>> points;
    for (std::size_t k = 0; k < values.size(); ++k)
        points.emplace_back(k * step, values[k]);
    if (!values.empty())
        points.emplace_back(values.size() * step, values.back());
    return storedInput(host, name, points, base);
}

// What the signal shows at base + k * step, for k = 0 .. n - 1.
inline std::vector<double> shownPerStep(Signal& signal, std::size_t n, u64 step, u64 base = T0)
{
    std::vector<double> out;
    for (std::size_t k = 0; k < n; ++k)
        out.push_back(signal.valueAt(base + k * step));
    return out;
}

// The stored samples with times relative to `base`.
inline std::vector<std::pair<u64, double>> storedPoints(const Signal& signal, u64 base = T0)
{
    std::vector<std::pair<u64, double>> out;
    for (const Sample& s : signal.samples)
        out.emplace_back(s.time - base, s.value);
    return out;
}

// A T made by its creator from the group "Sig" with `lines`.
template <class T>
std::shared_ptr<T> created(const std::shared_ptr<VirtualMessage>& msg, const std::string& lines)
{
    Definition d(lines);
    return std::static_pointer_cast<T>(T::create(msg, d.group, d.file));
}

// The text of the std::invalid_argument that T's creator throws for `lines`.
template <class T>
std::string refusal(const std::shared_ptr<VirtualMessage>& msg, const std::string& lines)
{
    try {
        created<T>(msg, lines);
    } catch (const std::invalid_argument& e) {
        return e.what();
    }
    return "(created)";
}

} // namespace vistra::test
