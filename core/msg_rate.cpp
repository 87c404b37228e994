#include "core/msg_rate.h"

#include "core/message.h"

#include <mutex>
#include <utility>
#include <vector>

namespace vistra {
namespace {

Glib::ustring lastPart(const Glib::ustring& name)
{
    const auto dot = name.rfind('.');
    return dot == Glib::ustring::npos ? name : name.substr(dot + 1);
}

} // namespace

MsgRate::MsgRate(std::shared_ptr<Message> parentMessage, const Glib::ustring& rateName,
                 std::shared_ptr<Signal> watchedSignal)
    : VirtualSignal(std::move(parentMessage), lastPart(rateName)), watched(std::move(watchedSignal))
{
    unit = "msg/s";
}

MsgRate::~MsgRate() = default;

std::shared_ptr<MsgRate> MsgRate::create(std::shared_ptr<Message> parentMessage, const Glib::ustring& rateName,
                                         std::shared_ptr<Signal> watchedSignal)
{
    return std::make_shared<MsgRate>(std::move(parentMessage), rateName, std::move(watchedSignal));
}

void MsgRate::addUser(std::shared_ptr<Signal> user)
{
    if (useCount == 0)
        watched->addUser(shared_from_this());
    Signal::addUser(std::move(user));
}

void MsgRate::removeUser(const std::shared_ptr<Signal>& user)
{
    if (useCount == 1)
        watched->removeUser(shared_from_this());
    Signal::removeUser(user);
}

bool MsgRate::inputsReady()
{
    if (started)
        return true;
    std::lock_guard lock(*watched->samplesMutex);
    if (!watched->hasData || watched->samples.empty())
        return false;
    started = true;
    currentTime = watched->samples.front().time;
    lastValue = watched->samples.front().value;
    index = 1;
    return true;
}

void MsgRate::process()
{
    if (!inputsReady())
        return;
    // The walk runs after the decode threads have ended: nothing appends to the watched
    // samples meanwhile, and the rate's own stores take only its own mutex.
    const std::vector<Sample>& frames = watched->samples;
    for (; index < frames.size(); ++index) {
        const Sample& s = frames[index];
        if (s.time == currentTime) {
            // Frames in one millisecond alternate their value; a repeat of the previous
            // value is the point the watched signal stored again to close a long gap.
            if (s.value != lastValue)
                extraFrames += 1;
        } else {
            const double n = double(extraFrames) + 1.0;
            VirtualSignal::addValue(currentTime, n * 1000.0 / double(s.time - currentTime));
            extraFrames = 0;
        }
        currentTime = s.time;
        lastValue = s.value;
    }
}

void MsgRate::finish()
{
    std::lock_guard lock(*watched->samplesMutex);
    std::vector<Sample>().swap(watched->samples);
}

} // namespace vistra
