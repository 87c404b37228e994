#pragma once
// Opening the files the program reads (settings, signal lists, DBC, VSD and log files) and
// the files it writes in place (exports, live-connection files). Each must be a regular
// file: a FIFO blocks its reader until someone writes to it and its writer until someone
// reads, and a device such as /dev/zero never ends. The file is opened without blocking
// and checked on the open descriptor, so that nothing can be swapped in between the check
// and the read or write.
#include <sys/types.h>

#include <cstdio>
#include <string>

namespace vistra {

class RegularFile {
public:
    // Opens `path` for reading; a link at the path is followed unless followLinks is false
    // (it is then refused, as ELOOP). Check ok() before using fd().
    explicit RegularFile(const std::string& path, bool followLinks = true);
    ~RegularFile();
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;

    bool ok() const { return descriptor >= 0; }
    // Nothing at the path: the caller may create the file.
    bool missing() const;
    // Something is at the path but it is a directory, FIFO, device or socket.
    bool irregular() const { return notRegular; }
    // Why the file cannot be read: "not a regular file" or the system's error text.
    std::string problem() const;

    // Open for reading in blocking mode, close-on-exec; -1 unless ok().
    int fd() const { return descriptor; }
    // Hands the descriptor over to the caller, who closes it.
    int release();
    // Reads the rest of the file into `content`; false on a read error.
    bool readAll(std::string& content);
    // Hands the descriptor over as a stream that the caller closes; null unless ok() (or
    // when no stream can be made, the descriptor then closed).
    std::FILE* openStream();

private:
    int descriptor = -1;
    int openError = 0;
    bool notRegular = false;
};

// Opens `path` for writing, creating a missing file with `createMode` (less the umask).
// The content is kept: callers truncate once they have checked what they need. A link at
// the path is followed unless followLinks is false. Returns the descriptor (blocking mode,
// close-on-exec), or -1 with `problem` saying why: "not a regular file" for a FIFO, device,
// socket, or the system's error text.
int openRegularForWriting(const std::string& path, mode_t createMode, bool followLinks, std::string& problem);

// Writes all of `text` to `fd`; false (errno set) on a write error.
bool writeAll(int fd, const std::string& text);

} // namespace vistra
