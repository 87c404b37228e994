#include "virtual/int_der.h"

#include "core/number_setting.h"
#include "core/signal.h"
#include "core/store_host.h"
#include "virtual/custom_signal.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <vector>

namespace vistra {
namespace {

// Input samples further apart than this are a silence: it adds nothing to the integral.
constexpr u64 kSilenceMs = 10000;

} // namespace

IntDer::IntDer(std::shared_ptr<Message> parent, const Glib::ustring& group, Glib::KeyFile& keyFile)
    : VirtualSignal(std::move(parent), CustomSignal::signalNameOf(group))
{
    input = CustomSignal::findSignalInput(keyFile, group);
    if (keyFile.has_key(group, "onlyPos"))
        onlyPos = keyFile.get_boolean(group, "onlyPos");
    if (keyFile.has_key(group, "onlyNeg"))
        onlyNeg = keyFile.get_boolean(group, "onlyNeg");
    if (keyFile.has_key(group, "resetSig"))
        resetSig = storeHost().findSignal(keyFile.get_value(group, "resetSig"));
    if (keyFile.has_key(group, "maxSum")) {
        maxSum = numberSetting(keyFile, group, "maxSum", Infinities::Positive);
        sumLimited = true;
    }
    if (keyFile.has_key(group, "minSum")) {
        minSum = numberSetting(keyFile, group, "minSum", Infinities::Negative);
        sumLimited = true;
    }
    parseCommonOptions(keyFile, group);
}

IntDer::~IntDer() = default;

std::shared_ptr<Signal> IntDer::create(std::shared_ptr<Message> parent, const Glib::ustring& group,
                                       Glib::KeyFile& keyFile)
{
    return std::make_shared<IntDer>(std::move(parent), group, keyFile);
}

void IntDer::addUser(std::shared_ptr<Signal> user)
{
    if (useCount == 0) {
        input->addUser(shared_from_this());
        if (resetSig)
            resetSig->addUser(shared_from_this());
    }
    Signal::addUser(std::move(user));
}

void IntDer::removeUser(const std::shared_ptr<Signal>& user)
{
    if (useCount == 1) {
        const std::shared_ptr<Signal> self = shared_from_this();
        input->removeUser(self);
        if (resetSig)
            resetSig->removeUser(self);
    }
    Signal::removeUser(user);
}

bool IntDer::dependsOn(const Glib::ustring& name)
{
    return input->fullName == name || (resetSig && resetSig->fullName == name);
}

bool IntDer::inputsReady()
{
    if (started)
        return true;
    if (!input->hasData || input->samples.empty())
        return false;
    if (resetSig && resetSig->samples.empty())
        return false;
    // The input's first sample is the start point. The reset signal's first sample is
    // examined like every other: a reset that is high from the start holds the sum at 0.
    inputIndex = 1;
    resetIndex = 0;
    prevTime = input->samples.front().time;
    prevValue = absInput ? std::fabs(input->samples.front().value) : input->samples.front().value;
    started = true;
    return true;
}

void IntDer::process()
{
    if (!inputsReady())
        return;
    // Inputs are read without their lock: they are complete (a log load) or extended only
    // by this thread (live data).
    const std::vector<Sample>& in = input->samples;
    for (; inputIndex < in.size(); ++inputIndex) {
        curTime = in[inputIndex].time;
        curValue = absInput ? std::fabs(in[inputIndex].value) : in[inputIndex].value;
        // The reset signal must have caught up: this sample waits for a later call.
        if (resetSig && curTime > resetSig->samples.back().time)
            break;
        const u64 dt = curTime - prevTime;
        if (dt > kSilenceMs) {
            prevTime = curTime;
            prevValue = curValue;
            continue;
        }
        if (dt == 0)
            continue; // the earlier sample at this time is held over the next interval
        double v = prevValue;
        if (onlyPos)
            v = std::max(v, 0.0);
        else if (onlyNeg)
            v = std::min(v, 0.0);
        sum += double(dt) * 0.001 * v;
        if (resetSig) {
            const std::vector<Sample>& reset = resetSig->samples;
            // Every reset sample since the last input sample counts, even one that is over
            // already; the last of them decides whether the reset still holds.
            bool raised = resetHigh;
            for (; resetIndex < reset.size() && reset[resetIndex].time < curTime; ++resetIndex) {
                resetHigh = reset[resetIndex].value > 0.0;
                raised = raised || resetHigh;
            }
            if (raised)
                sum = 0.0;
        }
        if (sumLimited) {
            if (sum > maxSum)
                sum = maxSum;
            if (sum < minSum)
                sum = minSum;
        }
        addValue(curTime, absOutput ? std::fabs(sum) : sum);
        prevTime = curTime;
        prevValue = curValue;
    }
}

bool IntDer::summary(double* out)
{
    *out = sum * factor + offset;
    return true;
}

} // namespace vistra
