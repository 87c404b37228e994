#pragma once
// The process-wide queue of reported diagnostics that the GUI shows as dialogs.
#include <glibmm/ustring.h>

#include <list>
#include <mutex>

namespace vistra {

class MessageLog {
public:
    struct Entry {
        int level; // 2 "ERR", 1 "WRN", 0 anything else
        Glib::ustring text;
    };

    static MessageLog& instance();

    static int levelOf(const Glib::ustring& level);

    // Appends (level, text) unless an equal entry is still queued: a warning raised for
    // every frame is shown once.
    void add(const Glib::ustring& level, const char* text);
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
