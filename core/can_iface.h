#pragma once
// One CAN interface (bus) with its messages, and the index of the messages that the
// current load must decode.
#include "core/types.h"

#include <glibmm/ustring.h>

#include <map>
#include <memory>
#include <vector>

namespace vistra {

class Message;
class Signal;

class CanIface : public std::enable_shared_from_this<CanIface> {
public:
    static std::shared_ptr<CanIface> create(const Glib::ustring& name, u32 number);

    // Reports an ERR and throws PrintMsgError when the identifier word is taken.
    void addMessage(std::shared_ptr<Message> msg);
    std::shared_ptr<Message> getMessage(int id) const;
    // The first message in identifier order of that name; throws SignalNotFoundException.
    std::shared_ptr<Message> getMessageByName(const Glib::ustring& name) const;
    Message* usedMessage(int id) const
    {
        auto it = usedMessages.find(id);
        return it == usedMessages.end() ? nullptr : it->second;
    }
    bool collectUsedMessages();
    // Message::updateSignalCounts for every message, summed; plotted signals go to `plotted`.
    void updateSignalCounts(std::vector<std::shared_ptr<Signal>>* plotted = nullptr);
    void clear();

    Glib::ustring name;
    u32 number = 0;
    // Keyed by the identifier word as a signed int, so extended identifiers sort first.
    std::map<int, std::shared_ptr<Message>> messages;
    std::map<int, Message*> usedMessages;
    u32 enabledVisibleCount = 0;
    u32 enabledCount = 0;
    u32 usedCount = 0;
    u32 usedNotLoadedCount = 0;

private:
    CanIface(const Glib::ustring& name, u32 number);
};

} // namespace vistra
