#pragma once
// What every file dialog of the program shares: its set-up, and the chosen names as text.
#include <glibmm/ustring.h>

#include <initializer_list>
#include <string>

namespace Gtk {
class FileChooserDialog;
} // namespace Gtk

namespace vistra {

// Adds the filter `name` of `patterns`, then the filter `allName` of every file, and the
// buttons "_Cancel" and "Select".
void setUpFileChooser(Gtk::FileChooserDialog& dialog, const Glib::ustring& name,
                      std::initializer_list<const char*> patterns, const Glib::ustring& allName);

// A chosen file-system name as text for messages and settings; a name that the file-system
// encoding cannot convert keeps a readable (lossy) form. The file is still opened by the
// name's own bytes.
Glib::ustring utf8FileName(const std::string& name);

} // namespace vistra
