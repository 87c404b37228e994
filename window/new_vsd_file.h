#pragma once
// The pieces of "New VSD file" that need no dialog.
#include <glibmm/ustring.h>

#include <string>

namespace vistra {

// The example a new VSD file starts from: two interfaces, one with two DBC files, and an
// included VSD file; no virtual signal.
extern const char* const kNewVsdText;

// `name` with `extension` appended unless it already ends with it (case counts).
std::string withExtension(const std::string& name, const std::string& extension);

// Writes `text` as the whole content of `path`; a file it replaces is kept as "<path>~".
// False with the reason in `error` when that fails.
bool replaceFileWithBackup(const std::string& path, const std::string& text, Glib::ustring& error);

} // namespace vistra
