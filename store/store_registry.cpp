// The interface registry and the built-in statistics interfaces.
#include "store/store.h"

#include "core/can_iface.h"
#include "core/message.h"
#include "core/report.h"

namespace vistra {

std::shared_ptr<CanIface> Store::addIface(const Glib::ustring& name, u32 number)
{
    if (getIfaceByName(name))
        fail("Interface name '%s' already used. Duplicates not allowed.", name.c_str());
    auto iface = CanIface::create(name, number);
    if (!interfaces.emplace(number, iface).second)
        fail("Could not insert Can interface (nbr), %s (%u)", name.c_str(), number);
    return iface;
}

void Store::collectUsedIfaces()
{
    usedIfaces.clear();
    for (const auto& entry : interfaces)
        if (entry.second->collectUsedMessages())
            usedIfaces.emplace(entry.first, entry.second.get());
}

} // namespace vistra
