#include "core/can_iface.h"

#include "core/message.h"
#include "core/report.h"
#include "core/store_host.h"

namespace vistra {

CanIface::CanIface(const Glib::ustring& ifaceName, u32 ifaceNumber) : name(ifaceName), number(ifaceNumber) {}

std::shared_ptr<CanIface> CanIface::create(const Glib::ustring& name, u32 number)
{
    return std::shared_ptr<CanIface>(new CanIface(name, number));
}

void CanIface::addMessage(std::shared_ptr<Message> msg)
{
    const int key = static_cast<int>(msg->id);
    if (!messages.emplace(key, msg).second)
        fail("Couldn't insert message '%s' into interface '%s', message with ID '%u' already exists",
             msg->name.c_str(), name.c_str(), msg->id);
}

std::shared_ptr<Message> CanIface::getMessage(int id) const
{
    auto it = messages.find(id);
    return it == messages.end() ? nullptr : it->second;
}

std::shared_ptr<Message> CanIface::getMessageByName(const Glib::ustring& messageName) const
{
    for (const auto& entry : messages)
        if (entry.second->name == messageName)
            return entry.second;
    throw SignalNotFoundException("Can't find message with name " + messageName.raw());
}

bool CanIface::collectUsedMessages()
{
    usedMessages.clear();
    const bool liveDecode = storeHost().liveDecode.load(std::memory_order_relaxed);
    for (const auto& entry : messages)
        if (liveDecode || entry.second->usedNotLoadedCount != 0)
            usedMessages.emplace(entry.first, entry.second.get());
    return !usedMessages.empty();
}

void CanIface::updateSignalCounts(std::vector<std::shared_ptr<Signal>>* plotted)
{
    enabledVisibleCount = enabledCount = usedCount = usedNotLoadedCount = 0;
    for (const auto& entry : messages) {
        Message& msg = *entry.second;
        msg.updateSignalCounts(plotted);
        enabledVisibleCount += msg.enabledVisibleCount;
        enabledCount += msg.enabledCount;
        usedCount += msg.usedCount;
        usedNotLoadedCount += msg.usedNotLoadedCount;
    }
}

void CanIface::clear()
{
    for (auto& entry : messages)
        entry.second->clear();
    messages.clear();
    usedMessages.clear();
}

} // namespace vistra
