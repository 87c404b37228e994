#pragma once
// Where a file is written that is replaced as a whole (a new file written beside it and
// renamed over it): through a symbolic link that would put a regular file in place of the
// link and leave the file it names as it was, so the link is followed first. Dotfile
// managers keep settings files as such links.
//
// Only the user's own links and root's are followed. Root may run the program with HOME
// set to another user's home (sudo -E, su scripts, services): a link of that user's would
// let them choose the file that root reads, replaces or creates.
#include <string>

namespace vistra {

// The file that `path` names through symbolic links, also one that does not exist yet
// (the link then dangles until it is written); `path` itself when it is no link. A link
// of another user's (neither the user's nor root's) is not followed: it is the result.
std::string linkTarget(const std::string& path);

// Whether the file at `path` itself (a link there, not what it names) belongs to another
// user. Given linkTarget(p): whether p is another user's link or leads to their file.
bool belongsToAnotherUser(const std::string& path);
// Whether `path` is a link of another user's. Given linkTarget(p): a file written there
// would replace a link that was not followed.
bool isAnotherUsersLink(const std::string& path);

// Creates the empty file that is missing at `path`; a link of the user's own that names no
// file yet is kept and the file made where it points. False when the file cannot be made,
// also when something is there already, another user's link among them (O_EXCL follows
// no link).
bool createMissingFile(const std::string& path);

} // namespace vistra
