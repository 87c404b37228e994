#include "virtual/frequency.h"

#include "core/number_setting.h"

#include <cmath>
#include <stdexcept>
#include <string>

namespace vistra {
namespace {

// A swing as a whole number, truncated toward zero. A difference beyond the u32 range (or
// not a number at all) must not reach the conversion, whose result would be undefined.
u32 wholeSwing(double a, double b)
{
    const double d = std::fabs(a - b);
    if (!(d >= 0.0))
        return 0;
    if (d >= 4294967295.0)
        return 4294967295u;
    return static_cast<u32>(d);
}

int atLeastOne(Glib::KeyFile& keyFile, const Glib::ustring& group, const char* key)
{
    const int value = keyFile.get_integer(group, key);
    if (value < 1)
        throw std::invalid_argument(std::string("Expected '") + key + "' to be 1 or more but got " +
                                    std::to_string(value));
    return value;
}

} // namespace

Frequency::Frequency(std::shared_ptr<Message> parent, const Glib::ustring& group, Glib::KeyFile& keyFile)
    : CustomSignal(std::move(parent), group, keyFile)
{
    readSignalInput(keyFile, group);
    // With no samples there would be nothing to average; no peaks would divide by 0.
    if (keyFile.has_key(group, "samples"))
        samples = atLeastOne(keyFile, group, "samples");
    if (keyFile.has_key(group, "filter"))
        filter = numberSetting(keyFile, group, "filter", Infinities::Positive); // inf: no step is a spike
    if (keyFile.has_key(group, "peaks"))
        peaks = atLeastOne(keyFile, group, "peaks");
    if (keyFile.has_key(group, "amplitude"))
        amplitude = keyFile.get_boolean(group, "amplitude");
}

Frequency::~Frequency() = default;

std::shared_ptr<Signal> Frequency::create(std::shared_ptr<Message> parent, const Glib::ustring& group,
                                          Glib::KeyFile& keyFile)
{
    return build<Frequency>(std::move(parent), group, keyFile);
}

bool Frequency::push(std::deque<u32>& queue, u32 entry, double* mean)
{
    queue.push_back(entry);
    queued += entry;
    if (queue.size() < static_cast<std::size_t>(samples))
        return false;
    *mean = double(queued) / samples;
    queued -= queue.front();
    queue.pop_front();
    return true;
}

void Frequency::compute()
{
    const double x = inputs[0].value;
    if (first) {
        first = false;
        lastPeakTime = currentTime;
        prevValue = x;
        trough = peak = x;
    }
    if (filter != 0.0 && std::fabs(prevValue - x) > filter)
        return; // a spike: the next step is compared with the last accepted value again
    // A turning point is seen one step after it, so its time is quantised by the step.
    bool added = false;
    double mean = 0.0;
    if (!rising && x > prevValue) {
        rising = true;
        if (amplitude) {
            trough = prevValue;
            added = push(swings, wholeSwing(peak, trough), &mean);
        }
    } else if (rising && x < prevValue) {
        rising = false;
        if (amplitude) {
            peak = prevValue;
            added = push(swings, wholeSwing(peak, trough), &mean);
        } else {
            // The first period runs from the first step, not over a whole cycle.
            added = push(periods, static_cast<u32>(currentTime - lastPeakTime), &mean);
            lastPeakTime = currentTime;
        }
    }
    prevValue = x;
    if (added)
        addValue(currentTime, amplitude ? mean : 1000.0 / (mean * peaks));
}

} // namespace vistra
