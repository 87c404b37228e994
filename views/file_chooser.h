#pragma once
// The set-up that every file dialog of the program shares.
#include <glibmm/ustring.h>

#include <initializer_list>

namespace Gtk {
class FileChooserDialog;
} // namespace Gtk

namespace vistra {

// Adds the filter `name` of `patterns`, then the filter `allName` of every file, and the
// buttons "_Cancel" and "Select".
void setUpFileChooser(Gtk::FileChooserDialog& dialog, const Glib::ustring& name,
                      std::initializer_list<const char*> patterns, const Glib::ustring& allName);

} // namespace vistra
