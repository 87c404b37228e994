#include "core/signal.h"

#include "core/can_iface.h"
#include "core/constants.h"
#include "core/message.h"
#include "core/page_advice.h"
#include "core/report.h"
#include "core/store_host.h"

#include <algorithm>
#include <cassert>
#include <climits>
#include <cmath>
#include <cstdio>
#include <new>

namespace vistra {
namespace {

// "Equal" in the storing rules: a NaN compares equal to anything, so a stream of NaNs
// does not store a sample per frame.
bool differs(double a, double b) { return a < b || a > b; }

// Gaps are measured with unsigned differences, so a time earlier than the previous one
// counts as a gap of more than 10000 ms.
constexpr u64 kGapMs = 10000;

} // namespace

Signal::Signal(std::shared_ptr<Message> parentMessage, const Glib::ustring& signalName)
    : parent(std::move(parentMessage)), name(signalName), samplesMutex(std::make_shared<std::mutex>())
{
    if (!parent)
        return;
    if (parent->hasInterface()) {
        const Glib::ustring& ifName = parent->getInterface()->name;
        colour = storeHost().signalColor(ifName, parent->name, name);
        fullName = ifName + "." + parent->name + "." + name;
    } else {
        colour = storeHost().signalColor("Can", parent->name, name);
        fullName = parent->name + "." + name;
    }
}

Signal::Signal(std::shared_ptr<Message> parentMessage, const Glib::ustring& signalName, double minLimit,
               double maxLimit)
    : Signal(std::move(parentMessage), signalName)
{
    if (minLimit != 0 || maxLimit != 0) {
        limitLow = minLimit;
        limitHigh = maxLimit;
        hasLimits = true;
    }
}

Signal::~Signal() = default;

void Signal::setEnabled(bool on)
{
    if (hidden)
        return;
    if (enabled != on) {
        enabled = on;
        if (on)
            addUser(nullptr);
        else
            removeUser(nullptr);
    }
    storeHost().selectionChanged();
}

int Signal::formatValue(char* buf, std::size_t n, double v)
{
    // Converting a NaN or an out-of-range double to an integer is undefined: such values
    // take the plain decimal form.
    if (!valueTable.empty() && v > double(INT_MIN) - 1.0 && v < double(INT_MAX) + 1.0) {
        const int key = static_cast<int>(v);
        auto it = valueTable.find(key);
        if (it != valueTable.end())
            return std::snprintf(buf, n, "%s (%d)", it->second.c_str(), key);
    }
    if (unit == "hex" && v > -9223372036854775808.0 && v < 9223372036854775808.0)
        return std::snprintf(buf, n, "0x%X", static_cast<unsigned>(static_cast<u64>(static_cast<i64>(v))));
    return std::snprintf(buf, n, "%.*f", decimals, v);
}

void Signal::addValue(u64 t, double v)
{
    std::lock_guard lock(*samplesMutex);
    addValueLocked(t, v);
}

void Signal::addValueLocked(u64 t, double v)
{
    const bool live = storeHost().live.load(std::memory_order_relaxed);
    if (samples.empty()) {
        storePoint(t, v);
        lastStoredTime = t;
        if (live)
            storePoint(t, v); // the moving tail
    } else if (!live) {
        const double lastValue = samples.back().value;
        if (t - lastReceivedTime > kGapMs) {
            // Close the previous run at the time it was last seen.
            storePoint(lastReceivedTime, lastValue);
            storePoint(t, v);
            lastStoredTime = t;
        } else if (t - lastStoredTime > kGapMs - 1) {
            storePoint(lastReceivedTime, lastValue); // keep-alive
            lastStoredTime = lastReceivedTime;
            if (differs(v, lastValue)) {
                storePoint(t, v);
                lastStoredTime = t;
            }
        } else if (differs(v, lastValue)) {
            storePoint(t, v);
            lastStoredTime = t;
        }
    } else {
        if (t - lastReceivedTime > kGapMs) {
            storePoint(t, v);
            lastStoredTime = t;
            storePoint(t, v);
        }
        if (t - lastStoredTime > kGapMs - 1) {
            // The old tail stays as a keep-alive point; a new tail follows.
            lastStoredTime = samples.back().time;
            storePoint(t, samples.back().value);
        }
        if (differs(v, samples.back().value)) {
            // The old tail becomes the change point; a new tail follows.
            samples.back() = Sample{t, v};
            lastStoredTime = t;
            storePoint(t, v);
        }
        samples.back() = Sample{t, v};
    }
    lastReceivedTime = t;
    // Relaxed: it is read alone, and a plain store keeps the decode loop fast.
    hasData.store(true, std::memory_order_relaxed);
}

void Signal::addUser(std::shared_ptr<Signal> user)
{
    if (user)
        dependants.push_back(std::move(user));
    useCount += 1;
    needsLoad = !loaded;
}

void Signal::removeUser(const std::shared_ptr<Signal>& user)
{
    if (useCount == 0)
        fail("Refcounting error");
    if (useCount.fetch_sub(1) == 1)
        needsLoad = false;
    if (user) {
        auto it = std::find(dependants.begin(), dependants.end(), user);
        if (it != dependants.end())
            dependants.erase(it);
    }
}

void Signal::process() {}

void Signal::finish()
{
    std::lock_guard lock(*samplesMutex);
    if (!samples.empty() && lastReceivedTime != samples.back().time)
        storePoint(lastReceivedTime, samples.back().value);
}

bool Signal::dependsOn(const Glib::ustring&) { return false; }

void Signal::onFrame(const FrameRecord&) {}

void Signal::clear()
{
    // The painter threads read the ranges under the sample lock too.
    std::lock_guard lock(*samplesMutex);
    samples.clear();
    hasData = false;
    loaded = false;
    needsLoad = enabled || useCount != 0;
    viewRangeValid = false;
    min = viewMin = DBL_MAX;
    max = viewMax = -DBL_MAX;
}

void Signal::storePoint(u64 t, double v)
{
    if (v < min && countsForMin(v))
        min = v;
    if (v > max && countsForMax(v))
        max = v;
    if (!viewRangeValid) {
        viewMin = min;
        viewMax = max;
    } else {
        const StoreHost& host = storeHost();
        if (t >= host.viewStart.load(std::memory_order_relaxed) && t <= host.viewEnd.load(std::memory_order_relaxed)) {
            if (v < viewMin && countsForMin(v))
                viewMin = v;
            if (v > viewMax && countsForMax(v))
                viewMax = v;
        }
    }
    samples.push_back(Sample{t, v});
}

void Signal::reserveForFrames(std::size_t frames, std::size_t framesBefore, std::size_t laterFiles)
{
    // A load with many files grows the samples a few files at a time, at least doubling.
    constexpr std::size_t kFilesAhead = 16;
    std::lock_guard lock(*samplesMutex);
    const std::size_t size = samples.size();
    if (size + frames > samples.capacity()) {
        // A large vector has a mapping of its own during a load: each move maps new
        // memory and unmaps the old, which stalls every thread of the process, and with a
        // decode thread per message growing by doubling alone made a load several times
        // slower. The room reserved here and never filled is never touched and costs no
        // memory. Small vectors grow as usual: they move within the heap, where unused
        // room would stay.
        const std::size_t ahead = size + frames * (1 + std::min(laterFiles, kFilesAhead));
        const std::size_t target = std::max(ahead, 2 * samples.capacity());
        if (target * sizeof(Sample) < kOwnMappingBytes)
            return;
        try {
            samples.reserve(target);
        } catch (const std::bad_alloc&) {
            // The projection is a guess; the samples grow as they arrive instead.
            return;
        }
    }
    // The pages that this file's samples will likely fill, at the samples per frame of
    // the files before it, are made resident at once. The first file's rate is unknown.
    if (framesBefore == 0 || samples.capacity() * sizeof(Sample) < kOwnMappingBytes)
        return;
    const double perFrame = double(size) / double(framesBefore);
    const std::size_t expected = std::min(samples.capacity() - size, std::size_t(perFrame * double(frames)));
    populatePages(samples.data() + size, expected * sizeof(Sample));
}

std::size_t Signal::coarseIndex(u64 t) const
{
    const std::size_t n = samples.size();
    if (n < 202 || samples[0].time >= t)
        return 0;
    // Halve down to about 100 samples; the steps add up to less than n, so every
    // candidate lies inside the vector.
    std::size_t step = n / 2;
    std::size_t pos = 0;
    for (;;) {
        const std::size_t cand = pos + step;
        if (samples[cand].time < t) {
            pos = cand;
            step /= 2;
            if (step <= 100)
                return cand;
        } else {
            step /= 2;
            if (step <= 100)
                return pos;
        }
    }
}

const Sample* Signal::lowerBoundApprox(u64 t) const
{
    if (samples.empty())
        return nullptr;
    return &samples[coarseIndex(t)];
}

double Signal::valueAt(u64 t) { return lastValueAt(t).value_or(0.0); }

std::optional<double> Signal::lastValueAt(u64 t)
{
    const SampleLock lock = lockSamples();
    return lastValueAtLocked(t);
}

std::optional<double> Signal::lastValueAtLocked(u64 t) const
{
    const std::size_t n = samples.size();
    std::size_t i = coarseIndex(t);
    if (n == 0 || samples[i].time > t)
        return std::nullopt;
    while (i + 1 < n && samples[i + 1].time <= t)
        ++i;
    return samples[i].value;
}

int valueToY(double v, int height, double lineWidth, const ValueRange& view)
{
    // The line width, truncated and rounded away from zero to an even number: half of it
    // stays free at the top and the bottom of the lane.
    int m = lineWidth > -1e6 && lineWidth < 1e6 ? static_cast<int>(lineWidth) : 0;
    if (m % 2 != 0)
        m += m > 0 ? 1 : -1;
    double y = m / 2 + (view.high - v) * (height - m);
    if (view.high != view.low)
        y = m / 2 + (view.high - v) * (height - m) / (view.high - view.low);
    // Values outside the view range (outside the limits, or NaN) stay inside the lane.
    const int bottom = std::max(height, 0);
    if (std::isnan(y))
        return bottom;
    if (y <= 0)
        return 0;
    if (y >= bottom)
        return bottom;
    return static_cast<int>(y);
}

int Signal::valueToY(const double& v, int height) const
{
    return vistra::valueToY(v, height, storeHost().lineWidth.load(std::memory_order_relaxed), viewRange());
}

SignalReading Signal::readingAt(u64 t) const
{
    const SampleLock lock = lockSamples();
    SignalReading reading;
    reading.value = lastValueAtLocked(t);
    reading.view = viewRange(lock);
    reading.hasData = hasData;
    return reading;
}

ValueRange Signal::viewRange() const { return viewRange(lockSamples()); }

ValueRange Signal::viewRange(const SampleLock& held) const
{
    assert(held.owns_lock() && held.mutex() == samplesMutex.get());
    (void)held;
    return ValueRange{viewMin, viewMax};
}

ValueRange Signal::overallRange() const
{
    const SampleLock lock = lockSamples();
    return ValueRange{min, max};
}

void Signal::setViewRange(const ValueRange& view)
{
    const SampleLock lock = lockSamples();
    viewMin = view.low;
    viewMax = view.high;
    viewRangeValid = true;
}

u64 Signal::lastReceived() const
{
    const SampleLock lock = lockSamples();
    return lastReceivedTime;
}

void Signal::updateViewRange()
{
    const StoreHost& host = storeHost();
    const u64 from = host.viewStart.load(std::memory_order_relaxed);
    const u64 to = host.viewEnd.load(std::memory_order_relaxed);
    // The flag too: a loading thread reads it for every point it stores.
    std::lock_guard lock(*samplesMutex);
    viewRangeValid = true;
    if (!hasData)
        return;
    viewMin = DBL_MAX;
    viewMax = -DBL_MAX;
    const std::size_t n = samples.size();
    std::size_t i = 0;
    if (n >= 101 && samples[0].time < from) {
        i = coarseIndex(from);
        if (i > 0) // the coarse search may return the first sample: never step before it
            --i;
    }
    for (; i < n && samples[i].time < to; ++i) {
        const double value = samples[i].value;
        if (samples[i].time < from) {
            // The value held at the window start, clamped into the limits.
            viewMin = std::max(limitLow, value);
            viewMax = std::min(value, limitHigh);
        } else {
            if (value >= limitLow && value < viewMin)
                viewMin = value;
            if (value <= limitHigh && value > viewMax)
                viewMax = value;
        }
    }
}

void Signal::resetViewRange()
{
    std::lock_guard lock(*samplesMutex);
    viewRangeValid = false;
    if (hasData) {
        viewMin = min;
        viewMax = max;
    }
}

void Signal::clearAndDropUsers()
{
    clear();
    dependants.clear();
}

} // namespace vistra
