#pragma once
// A file in memory that a fuzz target fills with each input, for readers that take a path.
#include <sys/mman.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace vistra::fuzz {

// The path of the one scratch file of this process.
inline const std::string& scratchPath()
{
    static const std::string path = [] {
        const int fd = memfd_create("fuzz_scratch", 0);
        if (fd < 0)
            std::abort();
        return "/proc/self/fd/" + std::to_string(fd);
    }();
    return path;
}

// Replaces the scratch file's content with `size` bytes at `data`; its path.
inline const std::string& writeScratch(const void* data, std::size_t size)
{
    FILE* f = std::fopen(scratchPath().c_str(), "w");
    if (!f)
        std::abort();
    if (size && std::fwrite(data, 1, size, f) != size)
        std::abort();
    std::fclose(f);
    return scratchPath();
}

} // namespace vistra::fuzz
