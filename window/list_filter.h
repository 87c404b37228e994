#pragma once
// The filter language of the signal lists, free of widgets: the text is split at '/'
// into an interface, a message and a signal part, and each part is a case-blind glob
// that only has to occur somewhere in the name.
#include <glibmm/ustring.h>

namespace vistra {

enum class RowKind : int { Interface = 0, Message = 1, Signal = 2 };

// The part of `text` that a row of `kind` is matched against: with no '/' only signals
// are filtered, "msg/sig" adds messages, "iface/msg/sig" adds interfaces, and a text
// with three or more '/' is matched whole against every row.
Glib::ustring filterPart(const Glib::ustring& text, RowKind kind);

// Whether `name` contains `part`, upper and lower case alike; '*' and '?' in the part are
// wildcards, and an empty part matches everything.
bool matchesPart(const Glib::ustring& part, const Glib::ustring& name);

} // namespace vistra
