#include "core/link_target.h"

#include <glibmm/miscutils.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>

namespace vistra {
namespace {

// The kernel's own limit of links in a row; a loop of links ends here.
constexpr int kMaxLinks = 40;

bool mayFollow(const std::string& link, const struct stat& info)
{
    if (info.st_uid == geteuid())
        return true;
    struct stat folder{};
    if (::stat(Glib::path_get_dirname(link).c_str(), &folder) != 0)
        return false;
    const bool shared = (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & S_IWOTH) != 0;
    return !shared || folder.st_uid == info.st_uid;
}

} // namespace

std::string linkTarget(const std::string& path)
{
    std::string current = path;
    for (int hops = 0; hops < kMaxLinks; ++hops) {
        struct stat info{};
        if (::lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode) || !mayFollow(current, info))
            return current;
        char buffer[PATH_MAX];
        const ssize_t n = ::readlink(current.c_str(), buffer, sizeof buffer);
        if (n <= 0 || static_cast<std::size_t>(n) >= sizeof buffer)
            return current;
        const std::string target(buffer, static_cast<std::size_t>(n));
        current = Glib::path_is_absolute(target) ? target : Glib::build_filename(Glib::path_get_dirname(current), target);
    }
    return path;
}

bool createMissingFile(const std::string& path)
{
    const int fd = ::open(linkTarget(path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

} // namespace vistra
