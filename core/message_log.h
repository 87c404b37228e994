#pragma once
// The process-wide queue of reported diagnostics that the GUI shows as dialogs.
#include "core/level.h"

#include <glibmm/ustring.h>

#include <list>
#include <mutex>

namespace vistra {

class MessageLog {
public:
    struct Entry {
        Level level;
        Glib::ustring text;
    };

    static MessageLog& instance();

    // Appends (level, text) unless an equal entry is still queued: a warning raised for
    // every frame is shown once.
    void add(Level level, const char* text);
    // Removes and returns the oldest entry; throws std::runtime_error when empty.
    Entry pop();
    bool empty() const;
    std::size_t size() const;

private:
    MessageLog() = default;

    mutable std::mutex mutex;
    std::list<Entry> entries;
};

} // namespace vistra
