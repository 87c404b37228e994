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

bool isAnotherUser(uid_t uid) { return uid != geteuid() && uid != 0; }

} // namespace

std::string linkTarget(const std::string& path)
{
    std::string current = path;
    for (int hops = 0; hops < kMaxLinks; ++hops) {
        struct stat info{};
        if (::lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode) || isAnotherUser(info.st_uid))
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

bool belongsToAnotherUser(const std::string& path)
{
    struct stat info{};
    return ::lstat(path.c_str(), &info) == 0 && isAnotherUser(info.st_uid);
}

bool isAnotherUsersLink(const std::string& path)
{
    struct stat info{};
    return ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode) && isAnotherUser(info.st_uid);
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
