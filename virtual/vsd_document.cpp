#include "virtual/vsd_document.h"

#include "core/constants.h"
#include "core/link_target.h"
#include "core/regular_file.h"

#include <glibmm/fileutils.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <stdexcept>

namespace vistra {
namespace {

// One line of a VSD text, classified as Glib::KeyFile reads it: leading blanks skipped, a
// blank line or '#' a comment, '[' a group header, else "key=value" (a key may carry a
// locale, "key[de]").
struct Line {
    enum Kind { Comment, Group, Key } kind = Comment;
    std::string text; // as in the file, without the line break
    std::string name; // group name, or the key without its locale
    bool translation = false;
    std::string value; // of a key, as stored (escaped)
};

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

std::string trimmed(const std::string& s)
{
    std::size_t b = 0;
    std::size_t e = s.size();
    while (b < e && isBlank(s[b]))
        ++b;
    while (e > b && isBlank(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

std::string withoutCr(const std::string& s) { return !s.empty() && s.back() == '\r' ? s.substr(0, s.size() - 1) : s; }

Line classify(const std::string& text)
{
    Line line;
    line.text = text;
    const std::string t = trimmed(text);
    if (t.empty() || t[0] == '#')
        return line;
    if (t[0] == '[') {
        line.kind = Line::Group;
        const std::size_t close = t.rfind(']');
        line.name = t.substr(1, close == std::string::npos || close == 0 ? std::string::npos : close - 1);
        return line;
    }
    const std::size_t eq = t.find('=');
    if (eq == std::string::npos)
        return line; // not a key file line; the text was parsed before, so never here
    line.kind = Line::Key;
    std::string key = trimmed(t.substr(0, eq));
    const std::size_t open = key.find('[');
    if (open != std::string::npos && key.back() == ']') {
        line.translation = true;
        key.resize(open);
    }
    line.name = key;
    // The value as the key file keeps it: blanks after '=' skipped, those at the end kept.
    std::size_t v = text.find('=') + 1;
    while (v < text.size() && isBlank(text[v]))
        ++v;
    line.value = withoutCr(text.substr(v));
    return line;
}

struct Text {
    std::vector<Line> lines;
    std::string eol = "\n";
    bool finalBreak = true; // the text ends with a line break (or is empty)
};

Text split(const std::string& s)
{
    Text text;
    std::size_t start = 0;
    while (start < s.size()) {
        std::size_t end = s.find('\n', start);
        if (end == std::string::npos) {
            text.finalBreak = false;
            end = s.size();
        }
        text.lines.push_back(classify(s.substr(start, end - start)));
        start = end + 1;
    }
    // New lines follow the file's own line ends.
    if (!text.lines.empty() && !text.lines[0].text.empty() && text.lines[0].text.back() == '\r')
        text.eol = "\r\n";
    return text;
}

std::string join(const std::vector<std::string>& lines, const Text& from)
{
    std::string out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        out += lines[i];
        if (i + 1 < lines.size() || from.finalBreak)
            out += '\n';
    }
    return out;
}

// A section: the header line, its keys with the comments among them [header, coreEnd),
// then the comment lines up to the next header [coreEnd, end), which belong to what follows.
struct Section {
    std::size_t header;
    std::size_t coreEnd;
    std::size_t end;
};

std::vector<Section> sectionsOf(const Text& text, const std::string& group)
{
    std::vector<Section> found;
    const std::size_t n = text.lines.size();
    for (std::size_t i = 0; i < n; ++i) {
        if (text.lines[i].kind != Line::Group || text.lines[i].name != group)
            continue;
        Section s{i, i + 1, i + 1};
        while (s.end < n && text.lines[s.end].kind != Line::Group) {
            if (text.lines[s.end].kind == Line::Key)
                s.coreEnd = s.end + 1;
            ++s.end;
        }
        found.push_back(s);
    }
    if (found.empty())
        throw Glib::KeyFileError(Glib::KeyFileError::GROUP_NOT_FOUND, "Key file does not have group “" + group + "”");
    return found;
}

bool isEmptyLine(const std::string& s) { return trimmed(s).empty(); }

// A stored value and the one the editor would write in its place mean the same: the same
// text, or the same number however written ("2.0" and "2", "0.0174532925" and the
// 17-digit form that Glib::KeyFile writes for it).
bool sameValue(const std::string& stored, const std::string& written)
{
    if (stored == written)
        return true;
    const auto number = [](const std::string& s, double& v) {
        if (s.empty() || s.find_first_not_of("0123456789+-.eE") != std::string::npos)
            return false;
        char* end = nullptr;
        v = std::strtod(s.c_str(), &end);
        return end == s.c_str() + s.size();
    };
    double a = 0;
    double b = 0;
    return number(stored, a) && number(written, b) && a == b;
}

} // namespace

VsdGroupLines groupLines(const Glib::KeyFile& file, const Glib::ustring& group)
{
    VsdGroupLines lines;
    for (const Glib::ustring& key : file.get_keys(group))
        lines.emplace_back(key.raw(), file.get_value(group, key).raw());
    return lines;
}

std::string replaceVsdGroup(const std::string& source, const std::string& oldGroup, const std::string& newGroup,
                            const VsdGroupLines& lines)
{
    const Text text = split(source);
    const std::vector<Section> sections = sectionsOf(text, oldGroup);
    const std::string& eol = text.eol;

    // What the old group had: per key, the comment lines above it, its value as typed, and
    // its translations (each with the comments above it); in file order.
    struct OldKey {
        std::vector<std::string> comments;
        std::vector<std::string> translations;
        std::string line;
        std::string value;
        bool hasValue = false;
    };
    std::vector<std::string> order;
    std::map<std::string, OldKey> old;
    for (const Section& s : sections) {
        std::vector<std::string> pending;
        for (std::size_t i = s.header + 1; i < s.coreEnd; ++i) {
            const Line& line = text.lines[i];
            if (line.kind != Line::Key) {
                pending.push_back(line.text);
                continue;
            }
            if (old.find(line.name) == old.end())
                order.push_back(line.name);
            OldKey& k = old[line.name];
            if (line.translation) {
                k.translations.insert(k.translations.end(), pending.begin(), pending.end());
                k.translations.push_back(line.text);
            } else {
                k.comments.insert(k.comments.end(), pending.begin(), pending.end());
                k.line = line.text;
                k.value = line.value;
                k.hasValue = true;
            }
            pending.clear();
        }
    }

    std::vector<std::string> group;
    const std::string& oldHeader = text.lines[sections[0].header].text;
    group.push_back(newGroup == oldGroup ? oldHeader : "[" + newGroup + "]" + (eol.size() == 2 ? "\r" : ""));
    std::vector<std::string> body;
    for (const auto& [key, value] : lines) {
        auto it = old.find(key);
        if (it == old.end()) {
            body.push_back(key + "=" + value + (eol.size() == 2 ? "\r" : ""));
            continue;
        }
        OldKey& k = it->second;
        body.insert(body.end(), k.comments.begin(), k.comments.end());
        // An unchanged value keeps its line as the user typed it.
        body.push_back(k.hasValue && sameValue(k.value, value) ? k.line
                                                                   : key + "=" + value + (eol.size() == 2 ? "\r" : ""));
        body.insert(body.end(), k.translations.begin(), k.translations.end());
        old.erase(it);
    }
    // Comments and translations of keys that are no longer written stay in the group,
    // before its last line (the save time stamp).
    std::vector<std::string> rest;
    for (const std::string& key : order) {
        auto it = old.find(key);
        if (it == old.end())
            continue;
        rest.insert(rest.end(), it->second.comments.begin(), it->second.comments.end());
        rest.insert(rest.end(), it->second.translations.begin(), it->second.translations.end());
    }
    body.insert(body.empty() ? body.end() : body.end() - 1, rest.begin(), rest.end());
    group.insert(group.end(), body.begin(), body.end());

    std::vector<std::string> out;
    std::size_t next = 0;
    for (std::size_t si = 0; si < sections.size(); ++si) {
        const Section& s = sections[si];
        for (; next < s.header; ++next)
            out.push_back(text.lines[next].text);
        if (si == 0)
            out.insert(out.end(), group.begin(), group.end());
        next = s.coreEnd;
    }
    for (; next < text.lines.size(); ++next)
        out.push_back(text.lines[next].text);
    return join(out, text);
}

std::string appendVsdGroup(const std::string& source, const std::string& group, const VsdGroupLines& lines)
{
    const Text text = split(source);
    const std::string& eol = text.eol;
    std::string out = source;
    if (!text.finalBreak)
        out += eol;
    if (!text.lines.empty() && !isEmptyLine(text.lines.back().text))
        out += eol;
    out += "[" + group + "]" + eol;
    for (const auto& [key, value] : lines)
        out += key + "=" + value + eol;
    return out;
}

std::string removeVsdGroup(const std::string& source, const std::string& group)
{
    const Text text = split(source);
    const std::vector<Section> sections = sectionsOf(text, group);
    std::vector<std::string> out;
    std::size_t next = 0;
    for (const Section& s : sections) {
        for (; next < s.header; ++next)
            out.push_back(text.lines[next].text);
        next = s.coreEnd;
        // The blank line that separated the group from what came before is not doubled.
        const bool blankBefore = out.empty() || isEmptyLine(out.back());
        if (blankBefore && next < s.end && isEmptyLine(text.lines[next].text))
            ++next;
    }
    for (; next < text.lines.size(); ++next)
        out.push_back(text.lines[next].text);
    return join(out, text);
}

VsdDocument::VsdDocument(const Glib::ustring& path) : filePath(path)
{
    // The settings hold a placeholder path when no VSD file is loaded; a file of that name
    // in the working directory is not the user's VSD file.
    if (path.empty() || path == kNoFile)
        throw std::runtime_error("no VSD file loaded");
    RegularFile in(path.raw());
    if (!in.ok())
        throw Glib::FileError(Glib::FileError::FAILED, in.problem());
    if (!in.readAll(content))
        throw Glib::FileError(Glib::FileError::FAILED, std::strerror(errno));
    parsed.load_from_data(content, Glib::KEY_FILE_KEEP_COMMENTS | Glib::KEY_FILE_KEEP_TRANSLATIONS);
}

bool VsdDocument::hasGroup(const Glib::ustring& group) const { return parsed.has_group(group); }

void VsdDocument::putGroup(const Glib::ustring& oldGroup, Glib::KeyFile& source, const Glib::ustring& group)
{
    const VsdGroupLines lines = groupLines(source, group);
    if (oldGroup.empty())
        adopt(appendVsdGroup(content, group.raw(), lines), "", group, lines);
    else
        adopt(replaceVsdGroup(content, oldGroup.raw(), group.raw(), lines), oldGroup == group ? "" : oldGroup, group,
              lines);
}

void VsdDocument::removeGroup(const Glib::ustring& group)
{
    adopt(removeVsdGroup(content, group.raw()), group, "", {});
}

void VsdDocument::adopt(std::string changed, const Glib::ustring& removed, const Glib::ustring& group,
                        const VsdGroupLines& lines)
{
    Glib::KeyFile check;
    check.load_from_data(changed, Glib::KEY_FILE_KEEP_COMMENTS | Glib::KEY_FILE_KEEP_TRANSLATIONS);
    const auto mismatch = [](const char* what) {
        throw std::runtime_error(std::string("the changed file would not read back as intended (") + what + ")");
    };
    // Translations are left out of the comparison of the changed group: they stay as they
    // were and are not what the editor writes.
    const auto withoutTranslations = [](VsdGroupLines all) {
        std::erase_if(all, [](const auto& kv) { return kv.first.find('[') != std::string::npos; });
        return all;
    };
    if (!removed.empty() && check.has_group(removed))
        mismatch("the old group is still there");
    const auto sameLines = [](const VsdGroupLines& a, const VsdGroupLines& b) {
        if (a.size() != b.size())
            return false;
        for (std::size_t i = 0; i < a.size(); ++i)
            if (a[i].first != b[i].first || !sameValue(a[i].second, b[i].second))
                return false;
        return true;
    };
    if (!group.empty() && (!check.has_group(group) || !sameLines(withoutTranslations(groupLines(check, group)), lines)))
        mismatch("the group's keys differ");
    for (const Glib::ustring& g : parsed.get_groups()) {
        if (g == removed || g == group)
            continue;
        if (!check.has_group(g) || groupLines(check, g) != groupLines(parsed, g))
            mismatch("another group changed");
    }
    content = std::move(changed);
    parsed.load_from_data(content, Glib::KEY_FILE_KEEP_COMMENTS | Glib::KEY_FILE_KEEP_TRANSLATIONS);
}

void VsdDocument::save() const
{
    // The new file would take the place of another user's link, which is not followed.
    const std::string target = linkTarget(filePath.raw());
    if (isAnotherUsersLink(target))
        throw Glib::FileError(Glib::FileError::ACCESS_DENIED,
                              filePath + " belongs to another user and is left as it is");
    Glib::file_set_contents(target, content);
}

} // namespace vistra
