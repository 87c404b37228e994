#include "virtual/virtual_message.h"

#include "core/can_iface.h"
#include "core/report.h"
#include "core/signal.h"
#include "core/store_host.h"
#include "core/virtual_signal.h"

#include <glibmm/exception.h>

#include <exception>
#include <set>
#include <string>

namespace vistra {

std::list<std::shared_ptr<Signal>> VirtualMessage::allSignals;
u32 VirtualMessage::nextId = 0;
bool VirtualMessage::computed = false;

namespace {

// Signals whose computation failed since the last clear: each is reported once, also when
// live data make it fail again with every block.
std::set<const Signal*> failedSignals;

// Runs one signal's computation; an exception is reported (once per signal) with the
// signal's full name, so that one bad definition does not stop the others.
template <class F>
void computeGuarded(Signal& signal, F&& f)
{
    std::string text;
    try {
        f();
        return;
    } catch (const PrintMsgError&) {
        text = "see the error above"; // reported already
    } catch (const std::exception& e) {
        text = e.what();
    } catch (const Glib::Exception& e) {
        text = e.what().raw();
    } catch (...) {
        text = "Unknown error";
    }
    if (failedSignals.insert(&signal).second)
        reportError("Computing %s failed: %s", signal.fullName.c_str(), text.c_str());
}

} // namespace

VirtualMessage::VirtualMessage(u32 messageId, const Glib::ustring& messageName, u32 interfaceNumber)
    : Message(messageId, messageName, storeHost().getIface(interfaceNumber))
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
        computeGuarded(*signal, [&] { signal->process(); });
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
            if (signal->useCount == 0)
                continue;
            auto* virt = dynamic_cast<VirtualSignal*>(signal.get());
            if (virt && virt->computed)
                continue;
            computeGuarded(*signal, [&] {
                signal->process();
                signal->finish();
            });
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
    failedSignals.clear();
    Message::clear();
    nextId = 0;
}

} // namespace vistra
