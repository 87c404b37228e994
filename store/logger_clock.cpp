#include "store/logger_clock.h"

#include "core/report.h"

namespace vistra {

void reportFramesOutOfOrder(const char* source, u64 count)
{
    if (count != 0)
        reportWarning("Frames out of time order in %s: %llu, each kept at the time of the frame before", source,
                      static_cast<unsigned long long>(count));
}

} // namespace vistra
