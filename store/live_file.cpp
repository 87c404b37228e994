#include "store/live_file.h"

#include "core/constants.h"
#include "core/regular_file.h"
#include "core/report.h"
#include "core/settings.h"
#include "store/store.h"

#include <fcntl.h>
#include <glibmm/miscutils.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <sstream>

namespace vistra {
namespace {

constexpr mode_t kOwnerOnly = S_IRUSR | S_IWUSR;

} // namespace

std::pair<std::string, std::string> splitAtFirst(const std::string& s, const std::string& delimiters)
{
    const std::size_t at = s.find_first_of(delimiters);
    if (at == std::string::npos)
        return {s, ""};
    return {s.substr(0, at), s.substr(at + 1)};
}

void parseLiveFileText(const std::string& text, LiveFileEntries& out)
{
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        auto [key, value] = splitAtFirst(line, "=");
        if (key == "TITLE")
            out.title = value;
        else if (key == "SERVER")
            out.server = value;
        else if (key == "PORT")
            out.port = value;
        else if (key == "KEY")
            out.key = value;
        else if (key == "DBC")
            out.dbc = value;
        else if (key == "VSD")
            out.vsd = value;
    }
}

bool readLiveFileEntries(const std::string& path, LiveFileEntries& out)
{
    RegularFile file(path);
    std::string content;
    if (!file.ok() || !file.readAll(content))
        return false;
    parseLiveFileText(content, out);
    return true;
}

bool readOwnLiveFile(const std::string& path, LiveFileEntries& out)
{
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    struct stat info {};
    std::string content;
    bool ok = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == geteuid();
    char buffer[4096];
    while (ok) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        content.append(buffer, static_cast<std::size_t>(n));
    }
    close(fd);
    if (ok)
        parseLiveFileText(content, out);
    return ok;
}

std::string resolveLivePath(const std::string& liveFile, const std::string& path)
{
    if (Glib::path_is_absolute(path))
        return path;
    return Glib::build_filename(Glib::path_get_dirname(liveFile), path);
}

bool parsePort(const char* text, u32* port)
{
    if (!text || !*text)
        return false;
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || value < 1 || value > 65535)
        return false;
    *port = static_cast<u32>(value);
    return true;
}

LiveFileRead applyLiveFile(Store& store, const std::string& path, Glib::ustring& dbcPath, Glib::ustring& vsdPath)
{
    LiveFileEntries entries;
    if (!readLiveFileEntries(path, entries)) {
        // The file ends the argument list: no log named after it is read either.
        reportWarning("Couldn't open %s, nothing was read", path.c_str());
        return LiveFileRead::Unreadable;
    }
    if (entries.server) {
        store.host = *entries.server;
        store.networkMode = true;
        store.live = true;
    }
    if (entries.key)
        store.key = *entries.key;
    if (entries.port && !parsePort(entries.port->c_str(), &store.port)) {
        // Any other number would be cut down to some unrelated port.
        reportWarning("Invalid port '%s', using 777 (default)", entries.port->c_str());
        store.port = kDefaultLivePort;
    }
    if (entries.title)
        store.title = *entries.title;
    if (entries.dbc)
        dbcPath = resolveLivePath(path, *entries.dbc);
    if (entries.vsd)
        vsdPath = resolveLivePath(path, *entries.vsd);
    return entries.server ? LiveFileRead::Server : LiveFileRead::NoServer;
}

std::string liveFileText(const std::string& title, const std::string& server, const std::string& port,
                         const std::string& key)
{
    std::string text = "TITLE=" + title + "\n" + "SERVER=" + server + "\n" + "PORT=" + port + "\n";
    if (!key.empty())
        text += "KEY=" + key + "\n";
    Settings& settings = *Settings::instance();
    const Glib::ustring dbc = settings.getDbFile();
    const Glib::ustring vsd = settings.getVsdFile();
    if (dbc != kNoFile)
        text += "DBC=" + dbc.raw() + "\n";
    else if (vsd != kNoFile)
        text += "VSD=" + vsd.raw() + "\n";
    return text;
}

bool writePrivateFile(const std::string& path, const std::string& text, PrivateFile kind)
{
    // The file holds the pass phrase: it is the user's alone, and an older one is tightened
    // before anything is written into it.
    const bool own = kind == PrivateFile::Own;
    std::string problem;
    const int fd = openRegularForWriting(path, kOwnerOnly, !own, problem);
    if (fd < 0)
        return false;
    struct stat info {};
    // Reading refuses another user's current-connection file too; root, whom permissions
    // do not stop, would otherwise put the key into it.
    const bool ok = fstat(fd, &info) == 0 && (!own || info.st_uid == geteuid()) &&
                    ((info.st_mode & 0777) == kOwnerOnly || fchmod(fd, kOwnerOnly) == 0) && ftruncate(fd, 0) == 0 &&
                    writeAll(fd, text);
    return close(fd) == 0 && ok;
}

void Store::writeLiveFile()
{
    // A link planted in its place (the file may lie in /tmp) is not followed.
    writePrivateFile(liveFilePath, liveFileText(title.raw(), host.raw(), std::to_string(port), key.raw()),
                     PrivateFile::Own);
}

} // namespace vistra
