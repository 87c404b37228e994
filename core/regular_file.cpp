#include "core/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vistra {

RegularFile::RegularFile(const std::string& path, bool followLinks)
{
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
    const int fd =
        ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | (followLinks ? 0 : O_NOFOLLOW));
    if (fd < 0) {
        openError = errno;
        return;
    }
    struct stat info{};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        notRegular = true;
        ::close(fd);
        return;
    }
    // Reads of a regular file never block anyway; the flag goes for the callers' sake.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    descriptor = fd;
}

RegularFile::~RegularFile()
{
    if (descriptor >= 0)
        ::close(descriptor);
}

bool RegularFile::missing() const { return openError == ENOENT; }

std::string RegularFile::problem() const
{
    if (notRegular)
        return "not a regular file";
    return std::strerror(openError);
}

int RegularFile::release()
{
    const int fd = descriptor;
    descriptor = -1;
    return fd;
}

std::FILE* RegularFile::openStream()
{
    if (descriptor < 0)
        return nullptr;
    std::FILE* stream = ::fdopen(descriptor, "rb");
    if (!stream)
        ::close(descriptor);
    descriptor = -1;
    return stream;
}

bool RegularFile::readAll(std::string& content)
{
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(descriptor, buffer, sizeof buffer);
        if (n == 0)
            return true;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        content.append(buffer, static_cast<std::size_t>(n));
    }
}

int openRegularForWriting(const std::string& path, mode_t createMode, bool followLinks, std::string& problem)
{
    constexpr const char* kNotRegular = "not a regular file";
    // O_NONBLOCK: opening a FIFO for writing would otherwise wait for a reader. Without
    // one the open fails with ENXIO, as it does for a socket or a device without driver.
    const int fd = ::open(path.c_str(),
                          O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | (followLinks ? 0 : O_NOFOLLOW),
                          createMode);
    if (fd < 0) {
        problem = errno == ENXIO ? kNotRegular : std::strerror(errno);
        return -1;
    }
    struct stat info{};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        problem = kNotRegular;
        ::close(fd);
        return -1;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

bool writeAll(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0) {
            errno = EIO;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace vistra
