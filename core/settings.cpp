#include "core/settings.h"

#include "core/constants.h"
#include "core/link_target.h"
#include "core/regular_file.h"
#include "core/report.h"
#include "core/store_host.h"

#include <glibmm/convert.h>
#include <glibmm/fileutils.h>
#include <glibmm/miscutils.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace vistra {
namespace {

constexpr const char* kGlobal = "global";
constexpr const char* kSignalColours = "signal_colors";
constexpr int kDefaultBitrateInterval = 100;

enum class FileState { Read, Unreadable, NotCreated, AnotherUsers };

// Why a file is left as it is, after its path.
constexpr const char* kAnotherUsers = " belongs to another user and is left as it is";
constexpr const char* kNotRead = " could not be read at start-up and is not written over";

// Reads the file at `path` into `content` (only checks it without `content`), creating it
// empty when nothing is there. Another user's file, or a link of theirs at the path, is
// left as it is (a "WRN" says so). What is there but cannot be read as a file (a FIFO would
// block the start-up, a device never ends), or a file that cannot be created, is reported
// as "ERR" naming the path.
FileState readOrCreate(const Glib::ustring& path, const char* what, std::string* content)
{
    const std::string target = linkTarget(path.raw());
    if (belongsToAnotherUser(target)) {
        reportWarning("The %s %s%s", what, path.c_str(), kAnotherUsers);
        return FileState::AnotherUsers;
    }
    // Not followed again: a link put in its place since is refused, not read.
    RegularFile file(target, false);
    if (file.ok()) {
        if (!content || file.readAll(*content))
            return FileState::Read;
        reportError("Couldn't read %s %s, %s", what, path.c_str(), std::strerror(errno));
        return FileState::Unreadable;
    }
    if (!file.missing()) {
        reportError("Couldn't read %s %s, %s", what, path.c_str(), file.problem().c_str());
        return FileState::Unreadable;
    }
    if (!createMissingFile(target)) {
        reportError("Couldn't create %s", path.c_str());
        return FileState::NotCreated;
    }
    return FileState::Read;
}

// Renames `from` to `to`, or when that is taken to the first free one of "<to>.1",
// "<to>.2" and so on: a file moved aside earlier is never replaced. The name taken, or
// empty (errno set) when the file could not be moved.
std::string renameToFreeName(const std::string& from, const std::string& to)
{
    for (int n = 0; n < 1000; ++n) {
        const std::string name = n == 0 ? to : to + "." + std::to_string(n);
        if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, name.c_str(), RENAME_NOREPLACE) == 0)
            return name;
        if (errno == EEXIST)
            continue;
        if (errno != EINVAL && errno != ENOSYS)
            return {};
        // A file system that cannot refuse to replace: look first.
        struct stat info{};
        if (::lstat(name.c_str(), &info) == 0)
            continue;
        if (errno != ENOENT)
            return {};
        return std::rename(from.c_str(), name.c_str()) == 0 ? name : std::string();
    }
    errno = EEXIST;
    return {};
}

// Names from DBC and VSD files may hold what a key-file key cannot: '[', ']' and '='
// (GLib refuses such keys), control characters (a line break splits the file), a blank
// at either end or a leading '#' (lost when the file is read again). Such keys are
// stored with those characters, '%' and blanks as "%XX"; every other key stays the name.
bool isPlainKey(const std::string& key)
{
    if (key.empty() || key.front() == ' ' || key.back() == ' ' || key.front() == '#')
        return false;
    for (const char c : key)
        if (c == '[' || c == ']' || c == '=' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return false;
    return true;
}

Glib::ustring colourKey(const Glib::ustring& iface, const Glib::ustring& msg, const Glib::ustring& sig)
{
    const std::string name = iface.raw() + "." + msg.raw() + "." + sig.raw();
    if (isPlainKey(name))
        return name;
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string key;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7F || c == '[' || c == ']' || c == '=' || c == '#' || c == '%') {
            key += '%';
            key += kHex[byte >> 4];
            key += kHex[byte & 0xF];
        } else {
            key += c;
        }
    }
    return key;
}

void readValue(const Glib::KeyFile& file, const char* key, bool& out) { out = file.get_boolean(kGlobal, key); }
void readValue(const Glib::KeyFile& file, const char* key, int& out) { out = file.get_integer(kGlobal, key); }
void readValue(const Glib::KeyFile& file, const char* key, double& out) { out = file.get_double(kGlobal, key); }
void readValue(const Glib::KeyFile& file, const char* key, Glib::ustring& out) { out = file.get_string(kGlobal, key); }

} // namespace

Settings* Settings::instance()
{
    static Settings* const settings = new Settings();
    return settings;
}

Glib::ustring homeFolder()
{
    // An empty HOME is no home: the files would go to the root of the file system.
    const char* home = std::getenv("HOME");
    return home && *home ? Glib::ustring(home) : Glib::ustring("/tmp");
}

Settings::Settings() : settingsPath(homeFolder() + settingsName), listPath(homeFolder() + listName)
{
    std::string content;
    const FileState state = readOrCreate(settingsPath, "settings file", &content);
    // A file that could not be read is never written over: it may hold the user's work.
    if (state == FileState::Unreadable)
        keptBecause = kNotRead;
    else if (state == FileState::AnotherUsers)
        keptBecause = kAnotherUsers;
    filesCreated = state != FileState::NotCreated;
    // Only checked here; the lists are read when they are restored.
    const FileState lists = readOrCreate(listPath, "signal-list file", nullptr);
    if (lists == FileState::NotCreated)
        filesCreated = false;
    listsKept = lists == FileState::AnotherUsers;
    if (state != FileState::Read || content.empty())
        return;
    try {
        load_from_data(content);
    } catch (const Glib::Error& e) {
        // A failed parse may leave the groups read before the fault.
        load_from_data("");
        // The next save would replace the user's colours, paths and lists with defaults:
        // the file is moved aside first (the file itself, beside it, when the path is a
        // link to it, which the next save then fills again).
        const std::string file = linkTarget(settingsPath.raw());
        const std::string aside = renameToFreeName(file, file + ".bad");
        if (!aside.empty()) {
            reportWarning("Failed to parse settings file %s, %s; moved it to %s", settingsPath.c_str(),
                          e.what().c_str(), aside.c_str());
        } else {
            reportWarning("Failed to parse settings file %s, %s; could not move it to %s (%s), so it is not saved over",
                          settingsPath.c_str(), e.what().c_str(), (file + ".bad").c_str(), std::strerror(errno));
            keptBecause = kNotRead;
        }
    }
}

Settings::~Settings() { save(); }

bool Settings::save()
{
    std::lock_guard lock(mutex);
    if (!keptBecause.empty())
        return false;
    Glib::ustring reason;
    if (save(reason))
        return true;
    reportError("Couldn't save settings to %s, %s", settingsPath.c_str(), reason.c_str());
    return false;
}

bool Settings::save(Glib::ustring& reason)
{
    std::lock_guard lock(mutex);
    if (!keptBecause.empty()) {
        reason = settingsPath + keptBecause;
        return false;
    }
    // Through a link of the user's (dotfile managers keep the file so) to the file it
    // names: the save replaces the file as a whole.
    const std::string target = linkTarget(Glib::filename_from_utf8(settingsPath));
    if (belongsToAnotherUser(target)) {
        reason = settingsPath + kAnotherUsers;
        return false;
    }
    try {
        save_to_file(target);
        return true;
    } catch (const Glib::Error& e) {
        reason = e.what();
        return false;
    }
}

template <class T, class Setter>
T Settings::readGlobal(const char* key, const T& fallback, Setter setter)
{
    {
        std::lock_guard lock(mutex);
        try {
            T value;
            readValue(*this, key, value);
            return value;
        } catch (const Glib::KeyFileError&) {
            // Missing, or not of the key's type: the default replaces it.
        }
    }
    (this->*setter)(fallback);
    return fallback;
}

// Keys whose setter is a plain write.
#define TARNWICK_PLAIN_KEY(Name, key, Type, Param, fallback, write)                              \
    Type Settings::get##Name() { return readGlobal<Type>(key, fallback, &Settings::set##Name); } \
    void Settings::set##Name(Param value)                                                        \
    {                                                                                            \
        std::lock_guard lock(mutex);                                                             \
        write(kGlobal, key, value);                                                              \
    }

TARNWICK_PLAIN_KEY(SplitView, "split_view", bool, bool, true, set_boolean)
TARNWICK_PLAIN_KEY(PrettyTime, "pretty_time", bool, bool, true, set_boolean)
TARNWICK_PLAIN_KEY(ShowDelta, "show_delta", bool, bool, false, set_boolean)
TARNWICK_PLAIN_KEY(LineWidth, "line_width", double, double, 2.0, set_double)
TARNWICK_PLAIN_KEY(ListFont, "list_font", Glib::ustring, const Glib::ustring&, "10.0", set_string)
TARNWICK_PLAIN_KEY(DecimalComma, "decimal_comma", bool, bool, false, set_boolean)
TARNWICK_PLAIN_KEY(BgColor, "bg_color", Glib::ustring, const Glib::ustring&, "#efc8efc8efc8", set_string)
TARNWICK_PLAIN_KEY(RulerColor, "ruler_color", Glib::ustring, const Glib::ustring&, "#000000000000", set_string)
TARNWICK_PLAIN_KEY(RulerTransparency, "ruler_transparancy", double, double, 0.5, set_double)
TARNWICK_PLAIN_KEY(GridColor, "grid_color", Glib::ustring, const Glib::ustring&, "#d2c5d2c5d2c5", set_string)
TARNWICK_PLAIN_KEY(RulerTextColor, "ruler_text_color", Glib::ustring, const Glib::ustring&, "#000000000000",
                   set_string)
TARNWICK_PLAIN_KEY(RulerTxtTransparency, "ruler_txt_transparency", double, double, 1.0, set_double)
TARNWICK_PLAIN_KEY(RulerTextBackgroundColor, "ruler_text_background_color", Glib::ustring,
                   const Glib::ustring&, "#ffffffffffff", set_string)
TARNWICK_PLAIN_KEY(RulerTxtBackgroundTransparency, "ruler_txt_background_transparency", double, double, 0.5,
                   set_double)
TARNWICK_PLAIN_KEY(FontSize, "font_size", int, int, 10, set_integer)
TARNWICK_PLAIN_KEY(LogPath, "log_path", Glib::ustring, const Glib::ustring&, "/usr/share/tarnwick/templates",
                   set_string)
TARNWICK_PLAIN_KEY(LivePath, "live_path", Glib::ustring, const Glib::ustring&, "", set_string)
TARNWICK_PLAIN_KEY(ListPath, "list_path", Glib::ustring, const Glib::ustring&, "", set_string)
#undef TARNWICK_PLAIN_KEY

int Settings::getBitrateInterval()
{
    const int ms = readGlobal<int>("bitrate_interval", kDefaultBitrateInterval, &Settings::setBitrateInterval);
    if (ms > 0)
        return ms;
    reportWarning("Invalid bitrate update interval, setting to %d ms", kDefaultBitrateInterval);
    setBitrateInterval(kDefaultBitrateInterval);
    return kDefaultBitrateInterval;
}

void Settings::setBitrateInterval(int ms)
{
    std::lock_guard lock(mutex);
    set_integer(kGlobal, "bitrate_interval", ms);
}

Glib::ustring Settings::getDbFile() { return readGlobal<Glib::ustring>("dbFile", kNoFile, &Settings::setDbFile); }

void Settings::setDbFile(const Glib::ustring& path)
{
    const Glib::ustring value = path == kNoFile ? path : Glib::ustring(Glib::canonicalize_filename(path.raw()));
    std::lock_guard lock(mutex);
    set_string(kGlobal, "dbFile", value);
}

Glib::ustring Settings::getVsdFile() { return readGlobal<Glib::ustring>("vsdFile", kNoFile, &Settings::setVsdFile); }

void Settings::setVsdFile(const Glib::ustring& path)
{
    const Glib::ustring value = path == kNoFile ? path : Glib::ustring(Glib::canonicalize_filename(path.raw()));
    std::lock_guard lock(mutex);
    set_string(kGlobal, "vsdFile", value);
}

Glib::ustring Settings::getDefSigColor()
{
    return readGlobal<Glib::ustring>("def_sig_color", "#eded33333b3b", &Settings::setDefSigColor);
}

void Settings::setDefSigColor(const Glib::ustring& colour)
{
    bool changed = true;
    {
        std::lock_guard lock(mutex);
        try {
            changed = get_string(kGlobal, "def_sig_color") != colour;
        } catch (const Glib::KeyFileError&) {
            // Nothing stored yet counts as a change.
        }
        set_string(kGlobal, "def_sig_color", colour);
    }
    // The Store asks for the signal colours again, so it is called without the lock.
    if (changed) {
        storeHost().reloadSignalColors();
        storeHost().emitSettingsChanged();
    }
}

Glib::ustring Settings::getDefaultEditor()
{
    static const Glib::ustring fallback = "/usr/bin/gedit";
    {
        std::lock_guard lock(mutex);
        try {
            return get_string(kGlobal, "default_editor");
        } catch (const Glib::KeyFileError&) {
            // Nothing stored: the built-in default.
        }
    }
    // Stored only where it is installed; that it is missing is no news to the user, whose
    // own choices alone are reported as "not an executable".
    if (Glib::file_test(fallback.raw(), Glib::FILE_TEST_IS_EXECUTABLE))
        setDefaultEditor(fallback);
    return fallback;
}

void Settings::setDefaultEditor(const Glib::ustring& path)
{
    if (!Glib::file_test(path.raw(), Glib::FILE_TEST_IS_EXECUTABLE)) {
        reportInfo("%s is not an executable", path.c_str());
        return;
    }
    std::lock_guard lock(mutex);
    set_string(kGlobal, "default_editor", path);
}

Glib::ustring Settings::getSignalColor(const Glib::ustring& iface, const Glib::ustring& msg,
                                       const Glib::ustring& sig)
{
    const Glib::ustring key = colourKey(iface, msg, sig);
    Glib::ustring colour;
    {
        std::lock_guard lock(mutex);
        try {
            colour = get_string(kSignalColours, key);
        } catch (const Glib::KeyFileError&) {
            colour = kDefaultColourMarker;
            set_string(kSignalColours, key, colour);
        }
    }
    return colour == kDefaultColourMarker ? getDefSigColor() : colour;
}

void Settings::setSignalColor(const Glib::ustring& iface, const Glib::ustring& msg, const Glib::ustring& sig,
                              Glib::ustring colour)
{
    // Stored as the marker, the colour follows later changes of the default.
    if (colour == getDefSigColor())
        colour = kDefaultColourMarker;
    std::lock_guard lock(mutex);
    set_string(kSignalColours, colourKey(iface, msg, sig), colour);
}

} // namespace vistra
