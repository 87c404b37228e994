#include "virtual/custom_signal.h"

#include "core/message.h"
#include "core/signal.h"
#include "core/store_host.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

namespace vistra {
namespace {

// When an input's next sample lies further ahead than this, the walk jumps over the silence
// instead of stepping through it.
constexpr u64 kJumpOverSilenceMs = 10000;
// Numbered keys have two digits.
constexpr int kMaxNumberedKey = 99;

} // namespace

CustomSignal::CustomSignal(std::shared_ptr<Message> parent, const Glib::ustring& group, Glib::KeyFile& keyFile)
    : VirtualSignal(std::move(parent), signalNameOf(group))
{
    const int stepMs = keyFile.get_integer(group, "step");
    // A step of 0 would compute the same time forever.
    if (stepMs < 1)
        throw std::invalid_argument("Expected 'step' to be 1 or more but got " + std::to_string(stepMs));
    step = static_cast<u32>(stepMs);
    parseCommonOptions(keyFile, group);
}

CustomSignal::CustomSignal(std::shared_ptr<Message> parent, const Glib::ustring& name)
    : VirtualSignal(std::move(parent), signalNameOf(name))
{
}

CustomSignal::~CustomSignal() = default;

Glib::ustring CustomSignal::signalNameOf(const Glib::ustring& group)
{
    const std::string& raw = group.raw();
    const std::size_t dot = raw.rfind('.');
    return dot == std::string::npos ? group : Glib::ustring(raw.substr(dot + 1));
}

Glib::ustring CustomSignal::numberedKey(const char* stem, int number)
{
    char key[64];
    std::snprintf(key, sizeof key, "%s_%02d", stem, number);
    return key;
}

int CustomSignal::countNumberedKeys(Glib::KeyFile& keyFile, const Glib::ustring& group, const char* stem)
{
    int n = 0;
    while (n < kMaxNumberedKey && keyFile.has_key(group, numberedKey(stem, n + 1)))
        ++n;
    return n;
}

void CustomSignal::addInput(const Glib::ustring& fullName)
{
    inputs.push_back(Input{storeHost().findSignal(fullName)});
}

std::shared_ptr<Signal> CustomSignal::findSignalInput(Glib::KeyFile& keyFile, const Glib::ustring& group)
{
    if (keyFile.has_key(group, "signal"))
        return storeHost().findSignal(keyFile.get_value(group, "signal"));
    if (keyFile.has_key(group, "signal_01"))
        return storeHost().findSignal(keyFile.get_value(group, "signal_01"));
    throw std::invalid_argument("Missing signal_01");
}

void CustomSignal::readSignalInput(Glib::KeyFile& keyFile, const Glib::ustring& group)
{
    inputs.push_back(Input{findSignalInput(keyFile, group)});
}

int CustomSignal::readNumberedInputs(Glib::KeyFile& keyFile, const Glib::ustring& group)
{
    const int n = countNumberedKeys(keyFile, group, "signal");
    for (int i = 1; i <= n; ++i)
        addInput(keyFile.get_value(group, numberedKey("signal", i)));
    return n;
}

void CustomSignal::readResetInput(Glib::KeyFile& keyFile, const Glib::ustring& group)
{
    if (keyFile.has_key(group, "resetSig"))
        addInput(keyFile.get_value(group, "resetSig"));
}

void CustomSignal::addUser(std::shared_ptr<Signal> user)
{
    if (useCount == 0)
        for (const Input& input : inputs)
            input.source->addUser(shared_from_this());
    Signal::addUser(std::move(user));
}

void CustomSignal::removeUser(const std::shared_ptr<Signal>& user)
{
    if (useCount == 1) {
        const std::shared_ptr<Signal> self = shared_from_this();
        for (const Input& input : inputs)
            input.source->removeUser(self);
    }
    Signal::removeUser(user);
}

bool CustomSignal::dependsOn(const Glib::ustring& name)
{
    for (const Input& input : inputs)
        if (input.source->fullName == name)
            return true;
    return false;
}

bool CustomSignal::inputsReady()
{
    if (started)
        return true;
    // Without inputs the walk would never run out of samples.
    if (inputs.empty())
        return false;
    u64 first = 0;
    for (const Input& input : inputs)
        if (!input.source->hasData || input.source->samples.empty())
            return false;
    for (Input& input : inputs) {
        input.index = 0;
        first = std::max(first, input.source->samples.front().time);
    }
    currentTime = first;
    started = true;
    return true;
}

void CustomSignal::compute() {}

void CustomSignal::process()
{
    if (!inputsReady())
        return;
    // The sample vectors may have grown (and moved) since the last call: the cursors are
    // rebuilt from the saved positions. Inputs are read without their lock: they are
    // complete (a log load) or extended only by this thread (live data).
    for (Input& input : inputs)
        input.cursor = input.source->samples.data() + input.index;
    for (;;) {
        bool exhausted = false;
        for (Input& input : inputs) {
            const Sample* end = input.source->samples.data() + input.source->samples.size();
            while (input.cursor != end && input.cursor->time <= currentTime) {
                input.value = absInput ? std::fabs(input.cursor->value) : input.cursor->value;
                ++input.cursor;
            }
            if (input.cursor == end)
                exhausted = true;
            else
                input.index = static_cast<u64>(input.cursor - input.source->samples.data());
        }
        // A step is computed only once every input has a sample after it, so the last
        // sample of an input counts only when a further one has arrived.
        if (exhausted)
            return;
        compute();
        currentTime += step;
        u64 latest = 0;
        bool silence = false;
        for (const Input& input : inputs) {
            latest = std::max(latest, input.cursor->time);
            if (input.cursor->time > currentTime + kJumpOverSilenceMs)
                silence = true;
        }
        if (silence)
            currentTime = latest;
    }
}

} // namespace vistra
