#include "virtual/average.h"

#include "core/signal.h"
#include "core/store_host.h"
#include "virtual/custom_signal.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

namespace vistra {
namespace {

// A stretch of input without samples longer than this is a gap: it is not averaged.
constexpr u64 kLongestHoldMs = 9999;
// When the next sample lies further than this beyond the window, the window jumps to it.
constexpr u64 kWindowJumpMs = 10000;

} // namespace

Average::Average(std::shared_ptr<Message> parent, const Glib::ustring& group, Glib::KeyFile& keyFile)
    : VirtualSignal(std::move(parent), CustomSignal::signalNameOf(group))
{
    input = CustomSignal::findSignalInput(keyFile, group);
    step = keyFile.get_integer(group, "step");
    window = keyFile.get_integer(group, "window");
    if (keyFile.has_key(group, "onlyPos"))
        onlyPos = keyFile.get_boolean(group, "onlyPos");
    if (keyFile.has_key(group, "onlyNeg"))
        onlyNeg = keyFile.get_boolean(group, "onlyNeg");
    parseCommonOptions(keyFile, group);
    if (unit.empty())
        unit = input->unit;
    checkStep(group);
}

Average::Average(std::shared_ptr<Message> parent, const Glib::ustring& name, std::shared_ptr<Signal> source,
                 i32 stepMs, i32 windowMs, Glib::KeyFile& keyFile, const Glib::ustring& group)
    : VirtualSignal(std::move(parent), CustomSignal::signalNameOf(name)), input(std::move(source)), step(stepMs),
      window(windowMs)
{
    unit = input->unit;
    comment = input->comment;
    parseLimitOptions(keyFile, group);
    checkStep(name);
}

Average::~Average() = default;

std::shared_ptr<Signal> Average::create(std::shared_ptr<Message> parent, const Glib::ustring& group,
                                        Glib::KeyFile& keyFile)
{
    return std::make_shared<Average>(std::move(parent), group, keyFile);
}

void Average::checkStep(const Glib::ustring& name) const
{
    if (step < 1)
        throw std::invalid_argument("Expected 'step' to be 1 or more but got " + std::to_string(step));
    if (window < step)
        throw std::invalid_argument("step > window for virtual signal " + name.raw());
}

void Average::addUser(std::shared_ptr<Signal> user)
{
    if (useCount == 0)
        input->addUser(shared_from_this());
    Signal::addUser(std::move(user));
}

void Average::removeUser(const std::shared_ptr<Signal>& user)
{
    if (useCount == 1)
        input->removeUser(shared_from_this());
    Signal::removeUser(user);
}

bool Average::dependsOn(const Glib::ustring& name) { return input->fullName == name; }

bool Average::inputsReady()
{
    if (started)
        return true;
    if (!input->hasData || input->samples.empty())
        return false;
    const u64 t0 = input->samples.front().time;
    placeWindow(t0);
    segStart = t0;
    inputIndex = 0;
    weightedSum = 0.0;
    totalMs = 0;
    heldValue = 0.0;
    started = true;
    return true;
}

void Average::placeWindow(u64 centre)
{
    const u64 half = u64(window / 2);
    outTime = centre;
    // A window around a time near 0 starts at 0 instead of wrapping around.
    windowStart = centre > half ? centre - half : 0;
    windowEnd = centre + half;
    windowDone = false;
}

void Average::account(u64 t)
{
    if (t <= segStart)
        return;
    const u64 d = t - segStart;
    segments.push_back({segStart, d, heldValue});
    weightedSum += double(d) * heldValue;
    totalMs += d;
}

void Average::output()
{
    // What lies before the window goes; a held value that reaches into it counts with
    // the part inside (with change-only samples one segment may span many windows).
    while (!segments.empty()) {
        Segment& front = segments.front();
        const u64 end = front.start + front.durationMs;
        if (end <= windowStart) {
            weightedSum -= double(front.durationMs) * front.value;
            totalMs -= front.durationMs;
            segments.pop_front();
            continue;
        }
        if (front.start < windowStart) {
            const u64 cut = windowStart - front.start;
            weightedSum -= double(cut) * front.value;
            totalMs -= cut;
            front.start = windowStart;
            front.durationMs -= cut;
        }
        break;
    }
    // The running sum drifts with every subtraction; an empty window starts it afresh.
    if (segments.empty())
        weightedSum = 0.0;
    if (totalMs != 0)
        addValue(outTime, weightedSum / double(totalMs));
    windowDone = true;
}

void Average::process()
{
    if (!inputsReady())
        return;
    // Read without the input's lock: it is complete (a log load) or extended only by this
    // thread (live data).
    const std::vector<Sample>& in = input->samples;
    const bool live = storeHost().live.load(std::memory_order_relaxed);
    for (;;) {
        if (!windowDone) {
            bool windowFull = false;
            while (inputIndex < in.size()) {
                const Sample& s = in[inputIndex];
                if (s.time >= windowEnd) {
                    account(windowEnd);
                    segStart = windowEnd;
                    windowFull = true;
                    break;
                }
                double v = s.value;
                if (onlyPos)
                    v = std::max(v, 0.0);
                if (onlyNeg)
                    v = std::min(v, 0.0);
                if (absInput)
                    v = std::fabs(v);
                if (s.time - segStart <= kLongestHoldMs)
                    account(s.time);
                segStart = lastSampleTime = s.time;
                heldValue = v;
                ++inputIndex;
            }
            // Live data complete the window when a sample at or after its end arrives; a
            // log load has all its data: the window is output as far as it goes.
            if (!windowFull && live)
                return;
            output();
        }
        if (inputIndex == in.size()) {
            // After the last sample the outputs go on until the window's centre reaches it.
            if (lastSampleTime <= outTime)
                return;
            placeWindow(outTime + u64(step));
        } else if (in[inputIndex].time > outTime + kWindowJumpMs && lastSampleTime <= outTime) {
            placeWindow(in[inputIndex].time);
        } else {
            placeWindow(outTime + u64(step));
        }
    }
}

void Average::finish()
{
    process();
    Signal::finish();
    std::deque<Segment>().swap(segments);
}

} // namespace vistra
