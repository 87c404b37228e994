#pragma once
// Dialogs that show the entries of the message log: the combined "Errors and warnings"
// dialog and the one-entry message dialog of the window's message tick. Every modal run
// goes through runDialog.
#include "core/message_log.h"
#include "views/dialog_runner.h"

#include <glibmm/ustring.h>

#include <cstddef>
#include <functional>
#include <string>

namespace Gtk {
class Dialog;
class Window;
} // namespace Gtk

namespace vistra {

// The warnings and errors that the "Errors and warnings" dialog lays out at most. A flood
// of them (one per group of a VSD file whose signals are missing, say) would keep the GUI
// thread laying out text for a long while; every entry is on standard error anyway.
inline constexpr std::size_t kMaxShownLogEntries = 200;

// Takes every queued entry and returns the markup of the warnings and errors among them
// (entry texts escaped), the first kMaxShownLogEntries of them and a last line that counts
// the others; information entries are dropped. Empty when there is nothing to show.
Glib::ustring takeMessageLogMarkup();

// Takes every queued entry; when warnings or errors are among them, shows them in the
// "Errors and warnings" dialog, transient for `parent`. Without a parent (before or after
// the main window runs) a short-lived application runs the dialog.
void showMessageLogDialog(Gtk::Window* parent);

// One entry as a modal message dialog over `parent`: "Information", "Warning" or "Error"
// by level, the entry text as plain secondary text.
void showMessageEntry(Gtk::Window& parent, const MessageLog::Entry& entry);

// The markup of the "Commands and controls" dialog; its last line links to the quick
// guide at the absolute path `guidePath`.
Glib::ustring helpMarkup(const Glib::ustring& guidePath);
void showHelpDialog(Gtk::Window& parent, const Glib::ustring& guidePath);

// Before a file is written over: true when nothing exists at `path` or the user answers
// Yes to replacing it. Closing the question without an answer keeps the file.
bool confirmOverwrite(const std::string& path);

} // namespace vistra
