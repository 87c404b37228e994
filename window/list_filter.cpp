#include "window/list_filter.h"

#include <glibmm/pattern.h>

#include <algorithm>
#include <vector>

namespace vistra {

Glib::ustring filterPart(const Glib::ustring& text, RowKind kind)
{
    std::vector<Glib::ustring> parts{Glib::ustring()};
    for (gunichar c : text) {
        if (c == '/')
            parts.emplace_back();
        else
            parts.back() += c;
    }
    const std::size_t slashes = parts.size() - 1;
    const int k = static_cast<int>(kind);
    switch (slashes) {
    case 0:
        return kind == RowKind::Signal ? text : Glib::ustring();
    case 1:
        return k == 0 ? Glib::ustring() : parts[k - 1];
    case 2:
        return parts[k];
    default:
        return text;
    }
}

bool matchesPart(const Glib::ustring& part, const Glib::ustring& name)
{
    const Glib::PatternSpec pattern("*" + part.lowercase() + "*");
    return pattern.match(name.lowercase());
}

} // namespace vistra
