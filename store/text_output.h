#pragma once
// The table that text mode (-q) prints after its parse: the end-of-parse summary values
// of the selected virtual signals.
#include <glibmm/ustring.h>

#include <cstdio>

namespace vistra {

class Store;

// strcasecmp order: byte-wise, ASCII letters folded.
bool lessNoCase(const Glib::ustring& a, const Glib::ustring& b);

// An optional line of names ("<msg>.<signal>" plus " (<unit>)") and one line of values
// with two decimals, tab-separated, sorted by name regardless of case. Prints nothing at
// all when no selected virtual signal has a summary.
void printTextResult(const Store& store, bool withHeader, std::FILE* out = stdout);

} // namespace vistra
