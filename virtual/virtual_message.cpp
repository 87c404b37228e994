#include "virtual/virtual_message.h"

#include "core/can_iface.h"
#include "core/report.h"
#include "core/signal.h"
#include "core/store_host.h"
#include "core/virtual_signal.h"
#include "store/store.h"

namespace vistra {

std::list<std::shared_ptr<Signal>> VirtualMessage::allSignals;
u32 VirtualMessage::nextId = 0;
bool VirtualMessage::computed = false;

namespace {

std::shared_ptr<CanIface> ifaceOf(u32 number)
{
    auto* store = dynamic_cast<Store*>(&storeHost());
    return store ? store->getIface(number) : nullptr;
}

} // namespace

VirtualMessage::VirtualMessage(u32 messageId, const Glib::ustring& messageName, u32 interfaceNumber)
    : Message(messageId, messageName, ifaceOf(interfaceNumber))
{
}

VirtualMessage::~VirtualMessage() = default;

std::shared_ptr<VirtualMessage> VirtualMessage::create(const Glib::ustring& name, u32 interfaceNumber)
{
    auto msg = std::make_shared<VirtualMessage>(nextId, name, interfaceNumber);
    nextId += 1;
    return msg;
}

std::shared_ptr<VirtualMessage> VirtualMessage::createWithId(u32 id, const Glib::ustring& name, u32 interfaceNumber)
{
    if (nextId >= id)
        fail("Mixing static and dynamic message ID:s");
    return std::make_shared<VirtualMessage>(id, name, interfaceNumber);
}

void VirtualMessage::addSignal(std::shared_ptr<Signal> signal, const Glib::ustring& signalName)
{
    Message::addSignal(signalName, signal);
    allSignals.push_back(std::move(signal));
}

void VirtualMessage::processAll()
{
    for (const auto& signal : allSignals)
        signal->process();
}

bool VirtualMessage::startThread()
{
    computed = false;
    return false;
}

void VirtualMessage::endOfLoad()
{
    if (!computed) {
        computed = true;
        for (const auto& signal : allSignals) {
            auto* virt = dynamic_cast<VirtualSignal*>(signal.get());
            if (signal->useCount == 0 || (virt && virt->computed))
                continue;
            signal->process();
            signal->finish();
            if (virt)
                virt->computed = true;
            // Finished here: the message's own end-of-load must not finish it a second
            // time (a mean would be divided by its count twice).
            signal->needsLoad = false;
        }
    }
    Message::endOfLoad();
}

void VirtualMessage::clear()
{
    allSignals.clear();
    Message::clear();
    nextId = 0;
}

} // namespace vistra
