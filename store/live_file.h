#pragma once
// Live-connection files: how to reach a logger, one "KEY=VALUE" line per setting.
//
//   TITLE=<window title>   SERVER=<host>   PORT=<decimal>   KEY=<pass phrase>
//   DBC=<path>             VSD=<path>
//
// A line is split at its first '=' (the value may hold more); a line without one is a key
// with an empty value; unknown keys are ignored; a key read again overrides the earlier
// value; a '\r' that ends a line (a file saved on Windows) is not part of the value.
// User files end in ".bvlive"; the program keeps the current connection in
// Store::liveFilePath (written by Store::writeLiveFile).
#include "core/types.h"

#include <glibmm/ustring.h>

#include <optional>
#include <string>
#include <utility>

namespace vistra {

class Store;

// The text before the first character of s that is one of delimiters, and the text after
// it; s and "" when there is none.
std::pair<std::string, std::string> splitAtFirst(const std::string& s, const std::string& delimiters);

// The settings of one live-connection file, as written: unset when the file has no line
// for the key. Paths are as they stand in the file.
struct LiveFileEntries {
    std::optional<std::string> title;
    std::optional<std::string> server;
    std::optional<std::string> port;
    std::optional<std::string> key;
    std::optional<std::string> dbc;
    std::optional<std::string> vsd;
};

// Reads a live-connection file; false when it cannot be opened.
bool readLiveFileEntries(const std::string& path, LiveFileEntries& out);
// The same for the current-connection file, which may lie in /tmp: a link at the path, or
// a file that another user owns, is not read (false).
bool readOwnLiveFile(const std::string& path, LiveFileEntries& out);
// The lines of one live-connection file's text.
void parseLiveFileText(const std::string& text, LiveFileEntries& out);

// The text of a live-connection file: TITLE, SERVER and PORT, KEY when the key is not
// empty, then the settings' DBC path or else their VSD path, when one is set.
std::string liveFileText(const std::string& title, const std::string& server, const std::string& port,
                         const std::string& key);

// Which file writePrivateFile writes: one the user chose (it may be a link, or another
// user's file that the user may write), or the current-connection file, which may lie in
// /tmp and is written, like readOwnLiveFile reads it, only when it is the user's own file
// and no link.
enum class PrivateFile { Chosen, Own };

// Creates or replaces the file at path with text, readable and writable by the user alone
// (an existing file is tightened to that first). Anything but a regular file is refused
// without waiting on it. False, with nothing written, when the file cannot be made so.
bool writePrivateFile(const std::string& path, const std::string& text, PrivateFile kind);

// A DBC or VSD path of a live-connection file: a relative one is taken relative to the
// folder that holds the file.
std::string resolveLivePath(const std::string& liveFile, const std::string& path);

// A TCP port: a whole decimal number from 1 to 65535, nothing else.
bool parsePort(const char* text, u32* port);

enum class LiveFileRead { Unreadable, NoServer, Server };

// The command line's reading of a live-connection file (its first argument): TITLE,
// SERVER, PORT and KEY go into the store (SERVER turns on live network input), the DBC
// and VSD paths, resolved, into dbcPath and vsdPath. A file that cannot be opened is a
// WRN; a PORT that is no port is a WRN and the default port is used. Says whether the file
// was read and held a SERVER line.
LiveFileRead applyLiveFile(Store& store, const std::string& path, Glib::ustring& dbcPath, Glib::ustring& vsdPath);

} // namespace vistra
