// The interface registry and the built-in statistics interfaces.
#include "store/store.h"

#include "core/can_iface.h"
#include "core/message.h"

namespace vistra {

void Store::collectUsedIfaces()
{
    usedIfaces.clear();
    for (const auto& entry : interfaces)
        if (entry.second->collectUsedMessages())
            usedIfaces.emplace(entry.first, entry.second.get());
}

} // namespace vistra
