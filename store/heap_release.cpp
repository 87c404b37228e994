#include "store/heap_release.h"

#include <mutex>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace vistra {
namespace {

// Below this a buffer stays in the heap: small vectors grow often, and a mapping per
// allocation would cost a system call each time. Equal to the heap's own initial value.
constexpr int kMappedFromBytes = 128 * 1024;

} // namespace

void mapLargeBuffersApart()
{
#if defined(__GLIBC__)
    static std::once_flag once;
    std::call_once(once, [] { mallopt(M_MMAP_THRESHOLD, kMappedFromBytes); });
#endif
}

void releaseFreeHeapMemory()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

} // namespace vistra
