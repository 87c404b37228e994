#pragma once
// The process-wide queue of reported diagnostics that the GUI shows as dialogs.
#include "core/level.h"

#include <glibmm/ustring.h>

#include <cstddef>
#include <list>
#include <mutex>
#include <string_view>
#include <unordered_set>

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

    // Queued entries by level and text bytes, so that a report finds its duplicate in
    // constant time: thousands of distinct reports (one per frame or per signal of a
    // damaged file) must not cost a comparison with every queued one. The entries live in
    // list nodes, which never move while queued.
    struct SameEntry {
        bool operator()(const Entry* a, const Entry* b) const
        {
            return a->level == b->level && a->text.raw() == b->text.raw();
        }
    };
    struct EntryHash {
        std::size_t operator()(const Entry* e) const
        {
            return std::hash<std::string_view>()(e->text.raw()) ^ static_cast<std::size_t>(e->level);
        }
    };

    mutable std::mutex mutex;
    std::list<Entry> entries;
    std::unordered_set<const Entry*, EntryHash, SameEntry> queued;
};

} // namespace vistra
