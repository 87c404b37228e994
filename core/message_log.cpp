#include "core/message_log.h"

#include <stdexcept>

namespace vistra {

MessageLog& MessageLog::instance()
{
    static MessageLog log;
    return log;
}

void MessageLog::add(Level level, const char* text)
{
    Entry entry{level, text ? text : ""};
    std::lock_guard lock(mutex);
    if (queued.count(&entry))
        return;
    entries.push_back(std::move(entry));
    queued.insert(&entries.back());
}

MessageLog::Entry MessageLog::pop()
{
    std::lock_guard lock(mutex);
    if (entries.empty())
        throw std::runtime_error("Can not get message from empty list");
    queued.erase(&entries.front());
    Entry entry = std::move(entries.front());
    entries.pop_front();
    return entry;
}

bool MessageLog::empty() const
{
    std::lock_guard lock(mutex);
    return entries.empty();
}

std::size_t MessageLog::size() const
{
    std::lock_guard lock(mutex);
    return entries.size();
}

} // namespace vistra
