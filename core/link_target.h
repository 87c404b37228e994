#pragma once
// Where a file is written that is replaced as a whole (a new file written beside it and
// renamed over it): through a symbolic link that would put a regular file in place of the
// link and leave the file it names as it was, so the link is followed first. Dotfile
// managers keep settings files as such links.
#include <string>

namespace vistra {

// The file that `path` names through symbolic links, also one that does not exist yet
// (the link then dangles until it is written); `path` itself when it is no link. As the
// kernel's protected links do, a link in a sticky folder that others may write (/tmp),
// owned neither by the user nor by the folder's owner, is not followed: someone else may
// have planted it there.
std::string linkTarget(const std::string& path);

// Creates the empty file that is missing at `path`; a link of the user's own that names no
// file yet is kept and the file made where it points. False when the file cannot be made,
// also when something is there already: O_EXCL follows no link that linkTarget would not.
bool createMissingFile(const std::string& path);

} // namespace vistra
