#include "window/menu_rules.h"

#include "core/can_iface.h"
#include "core/constants.h"
#include "core/message.h"
#include "core/signal.h"
#include "store/store.h"

namespace vistra {

bool gpsMenuVisible(bool hasTrack, bool legacyGps, bool live, bool multiCanHeader)
{
    return hasTrack && (legacyGps || live || multiCanHeader);
}

bool isRealInterfaceMessage(const Message& msg)
{
    const auto iface = msg.getInterface();
    for (const auto& [number, candidate] : Store::instance().interfaces)
        if (number >= kVirtualIface && candidate == iface)
            return false;
    return true;
}

bool canShowMessageRate(const Message& msg) { return msg.hasInterface() && isRealInterfaceMessage(msg); }

bool isVirtualSignal(const Signal& signal)
{
    return signal.parent && signal.parent->hasInterface() && signal.parent->getInterface()->number == kVirtualIface;
}

} // namespace vistra
