#pragma once
// Opening the files the program reads (settings, signal lists, DBC, VSD and log files).
// Each must be a regular file: a FIFO blocks its reader until someone writes to it, and a
// device such as /dev/zero never ends. The file is opened without blocking and checked on
// the open descriptor, so that nothing can be swapped in between the check and the read.
#include <cstdio>
#include <string>

namespace vistra {

class RegularFile {
public:
    // Opens `path` for reading. Check ok() before using fd().
    explicit RegularFile(const std::string& path);
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

} // namespace vistra
