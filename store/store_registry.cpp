// The interface registry and the built-in statistics interfaces.
#include "store/store.h"

#include "core/bit_rate.h"
#include "core/can_iface.h"
#include "core/constants.h"
#include "core/error_message.h"
#include "core/logger_message.h"
#include "core/message.h"
#include "core/msg_rate.h"
#include "core/real_message.h"
#include "core/real_signal.h"
#include "core/report.h"
#include "virtual/virtual_message.h"

#include <set>
#include <string>

namespace vistra {
namespace {

// A message gets rate signals when it has a signal of its own, not just the hidden
// "___rate___" that every real message has.
bool hasOwnSignals(const Message& msg)
{
    for (const auto& signal : msg.signals)
        if (!signal->internal)
            return true;
    return false;
}

void addRateSignals(VirtualMessage& rates, Message& msg)
{
    auto* real = dynamic_cast<RealMessage*>(&msg);
    if (!real || !hasOwnSignals(msg))
        return;
    if (!real->muxSignal) {
        auto r = MsgRate::create(rates.shared_from_this(), msg.name, real->rateSignal);
        rates.addSignal(r, msg.name);
        msg.msgRate = r;
        return;
    }
    // One rate per multiplexor value, plus one for the frames as a whole. The walk is
    // over a copy: each new rate signal joins the message's signals.
    const auto byName = msg.signalsByName;
    std::set<i32> seen;
    for (const auto& entry : byName) {
        auto* signal = dynamic_cast<RealSignal*>(entry.second.get());
        if (!signal || !seen.insert(signal->muxValue).second)
            continue;
        const i32 v = signal->muxValue;
        Glib::ustring name = msg.name;
        if (v >= 0)
            name += " (m" + std::to_string(v) + ")";
        auto r = MsgRate::create(rates.shared_from_this(), name, real->createRateSignal(v));
        if (v < 0)
            msg.msgRate = r;
        rates.addSignal(r, name);
    }
}

} // namespace

std::shared_ptr<CanIface> Store::addIface(const Glib::ustring& name, u32 number)
{
    if (getIfaceByName(name))
        fail("Interface name '%s' already used. Duplicates not allowed.", name.c_str());
    auto iface = CanIface::create(name, number);
    if (!interfaces.emplace(number, iface).second)
        fail("Could not insert Can interface (nbr), %s (%u)", name.c_str(), number);
    return iface;
}

void Store::addLoggerIface() { LoggerMessage::createGpsMessages(addIface("Logger", kLoggerIface)); }

void Store::collectUsedIfaces()
{
    usedIfaces.clear();
    for (const auto& entry : interfaces)
        if (entry.second->collectUsedMessages())
            usedIfaces.emplace(entry.first, entry.second.get());
}

void Store::createBuiltinSignals()
{
    // A copy: the statistics interfaces join the map while it is walked.
    const auto sources = interfaces;
    for (const auto& [n, iface] : sources) {
        if (n > kLoggerIface)
            break;
        const u32 st = n + kStatIfaceOffset;
        if (st > maxStatIface)
            maxStatIface = st;
        auto stIface = addIface("ST_" + iface->name, st);

        auto rates = VirtualMessage::createWithId(kStatMsgRateMessageId, "MsgRate", st);
        rates->iface = stIface; // also when another store is the installed one
        stIface->addMessage(rates);
        std::shared_ptr<Message> bus;
        if (n != kLoggerIface) {
            bus = std::make_shared<Message>(kStatBusLoadMessageId, "BusLoad", stIface);
            stIface->addMessage(bus);
        }
        stIface->addMessage(ErrorMessage::create("Error", stIface, n == kLoggerIface));

        for (const auto& entry : iface->messages)
            addRateSignals(*rates, *entry.second);

        if (bus) {
            auto b = BitRate::create(bus);
            bus->addSignal(b->name, b);
            // Indexed by interface number: grown for any interface beyond the highest
            // one declared, which would otherwise be written past the end.
            if (bitRates.size() <= n)
                bitRates.resize(std::max<std::size_t>(n, highestIface) + 1, nullptr);
            bitRates[n] = b.get();
        }
    }
}

} // namespace vistra
