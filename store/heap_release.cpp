#include "store/heap_release.h"

#include "core/constants.h"

#include <mutex>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace vistra {

void mapLargeBuffersApart()
{
#if defined(__GLIBC__)
    static std::once_flag once;
    std::call_once(once, [] { mallopt(M_MMAP_THRESHOLD, static_cast<int>(kOwnMappingBytes)); });
#endif
}

void releaseFreeHeapMemory()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

} // namespace vistra
