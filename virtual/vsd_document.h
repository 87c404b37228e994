#pragma once
// A VSD file as the virtual-signal editor changes it: one signal group is added, replaced
// or removed, and every other line of the file stays as it was.
//
// The rewrite works on the text, not through a re-serialised Glib::KeyFile: the key file
// keeps a comment above a group among the keys of the group before it, so removing or
// moving a group through it loses or misplaces the user's comments. Here the comment lines
// above a key stay above that key, translations ("key[de]=...") stay after their key, a
// group that is replaced keeps its place, and an unchanged value keeps its line as typed.
// Each change is checked by reading the new text back as a key file before it is written.
#include <glibmm/keyfile.h>
#include <glibmm/ustring.h>

#include <string>
#include <utility>
#include <vector>

namespace vistra {

// The lines of one group as "key=value" pairs, values in the key file's escaped form.
using VsdGroupLines = std::vector<std::pair<std::string, std::string>>;

// The keys of `group` of `file` in order, with their raw values.
VsdGroupLines groupLines(const Glib::KeyFile& file, const Glib::ustring& group);

// The text edits, for whole VSD texts; none of them reads or writes a file.
// Replaces every section headed [oldGroup] by one group [newGroup] with `lines`, where the
// first such section stood. Throws Glib::KeyFileError (GROUP_NOT_FOUND) when there is none.
std::string replaceVsdGroup(const std::string& text, const std::string& oldGroup, const std::string& newGroup,
                            const VsdGroupLines& lines);
// Appends the group [group] with `lines` at the end, after a blank line.
std::string appendVsdGroup(const std::string& text, const std::string& group, const VsdGroupLines& lines);
// Removes every section headed [group] with its keys and the comments among them; the
// comment lines after its last key (they introduce what follows) stay. Throws
// Glib::KeyFileError (GROUP_NOT_FOUND) when there is none.
std::string removeVsdGroup(const std::string& text, const std::string& group);

class VsdDocument {
public:
    // Reads and parses the VSD file at `path`. Throws std::runtime_error "no VSD file
    // loaded" for the settings' placeholder path (or an empty one) without touching any
    // file, Glib::FileError when the file cannot be read, Glib::KeyFileError when it does
    // not parse.
    explicit VsdDocument(const Glib::ustring& path);

    bool hasGroup(const Glib::ustring& group) const;
    // Puts group `group` of `source` into the file: in place of `oldGroup` when that is not
    // empty, else at the end. Throws Glib::KeyFileError when oldGroup is missing, or
    // std::runtime_error when the changed text would not read back as intended.
    void putGroup(const Glib::ustring& oldGroup, Glib::KeyFile& source, const Glib::ustring& group);
    // Throws Glib::KeyFileError when the group is missing.
    void removeGroup(const Glib::ustring& group);
    // Replaces the file as a whole (a failed write leaves the old file), through a symbolic
    // link of the user's or root's to the file it names. Throws Glib::FileError, also when
    // the path is another user's link, which is left as it is.
    void save() const;

    const std::string& text() const { return content; }
    // The file as parsed (comments and translations kept), for reading its values.
    Glib::KeyFile& keyFile() { return parsed; }
    const Glib::ustring& path() const { return filePath; }

private:
    // Checks the changed text against the parsed old one: every other group unchanged,
    // `removed` gone, `group` (when not empty) holding exactly `lines`.
    void adopt(std::string changed, const Glib::ustring& removed, const Glib::ustring& group,
               const VsdGroupLines& lines);

    Glib::ustring filePath;
    std::string content;
    Glib::KeyFile parsed;
};

} // namespace vistra
