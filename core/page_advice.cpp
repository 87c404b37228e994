#include "core/page_advice.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

namespace vistra {
namespace {

// The whole pages inside [data, data + bytes), as [begin, end).
struct PageRange {
    std::uintptr_t begin = 0;
    std::uintptr_t end = 0;
    std::size_t size() const { return end > begin ? end - begin : 0; }
};

PageRange innerPages(const void* data, std::size_t bytes)
{
    static const std::uintptr_t page = [] {
        const long size = ::sysconf(_SC_PAGESIZE);
        return std::uintptr_t(size > 0 ? size : 4096);
    }();
    const auto first = reinterpret_cast<std::uintptr_t>(data);
    return {(first + page - 1) & ~(page - 1), (first + bytes) & ~(page - 1)};
}

} // namespace

void adviseHugePages(const void* data, std::size_t bytes)
{
#ifdef MADV_HUGEPAGE
    constexpr std::size_t kHugePage = 2 * 1024 * 1024;
    const PageRange pages = innerPages(data, bytes);
    // Advice only; where the kernel has no huge pages the buffer keeps small ones.
    if (pages.size() >= kHugePage)
        ::madvise(reinterpret_cast<void*>(pages.begin), pages.size(), MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

void populatePages(const void* data, std::size_t bytes)
{
#ifdef MADV_POPULATE_WRITE
    const PageRange pages = innerPages(data, bytes);
    // Older kernels refuse the advice; the pages then fault in as they are written.
    if (pages.size() != 0)
        ::madvise(reinterpret_cast<void*>(pages.begin), pages.size(), MADV_POPULATE_WRITE);
#else
    (void)data;
    (void)bytes;
#endif
}

} // namespace vistra
