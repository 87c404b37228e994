#include "core/message.h"

#include "core/can_iface.h"
#include "core/report.h"
#include "core/signal.h"
#include "core/store_host.h"

#include <glibmm/pattern.h>

#include <algorithm>
#include <stdexcept>

namespace vistra {

Message::Message(u32 messageId, const Glib::ustring& messageName, std::shared_ptr<CanIface> parentIface)
    : id(messageId), name(messageName), iface(std::move(parentIface))
{
}

Message::~Message() = default;

bool Message::startThread() { return false; }

bool Message::startThreadLowPriority(const std::deque<std::shared_ptr<ParsedLog>>&) { return startThread(); }

void Message::endOfLoad()
{
    for (const auto& signal : signals) {
        if (!signal->hasData && signal->useCount == 0) {
            signal->loaded = false;
            continue;
        }
        signal->loaded = true;
        if (signal->needsLoad) {
            signal->finish();
            signal->needsLoad = false;
        }
    }
}

std::shared_ptr<Signal> Message::getSignal(const Glib::ustring& signalName)
{
    auto it = signalsByName.find(signalName.raw());
    if (it == signalsByName.end())
        throw SignalNotFoundException("Can't find signal with name " + signalName.raw());
    return it->second;
}

void Message::addFrame(const FrameRecord&) {}

void Message::clear()
{
    // The definition order holds every signal, also a second one of a name already taken,
    // which the by-name map never sees; its users would otherwise keep a cycle alive.
    for (auto& signal : signals)
        signal->clearAndDropUsers();
    signalsByName.clear();
    signals.clear();
    decodeOrder.clear();
    iface.reset();
    msgRate.reset(); // it watches this message's rate signal, whose parent is this message
}

bool Message::needsDecoding() { return false; }

void Message::addSignal(const Glib::ustring& signalName, std::shared_ptr<Signal> signal)
{
    signals.push_back(signal);
    decodeOrder.push_back(signal);
    signalsByName.emplace(signalName.raw(), std::move(signal));
}

std::shared_ptr<CanIface> Message::getInterface() const
{
    if (!iface)
        throw std::runtime_error("Message '" + name.raw() + "' has no parent interface");
    return iface;
}

void Message::setAllEnabled(bool on)
{
    SelectionBatch batch;
    for (auto& entry : signalsByName)
        entry.second->setEnabled(on);
}

void Message::enableMatching(const Glib::ustring& pattern)
{
    Glib::PatternSpec glob(pattern);
    SelectionBatch batch;
    for (auto& signal : signals)
        if (glob.match(signal->name))
            signal->setEnabled(true);
}

void Message::updateSignalCounts(std::vector<std::shared_ptr<Signal>>* plotted)
{
    // A job that decodes frames as they come walks the decode order all the time.
    const StoreHost& host = storeHost();
    if (!host.live.load(std::memory_order_relaxed) && !host.liveDecode.load(std::memory_order_relaxed))
        std::sort(decodeOrder.begin(), decodeOrder.end(),
                  [](const auto& a, const auto& b) { return a->useCount > b->useCount; });
    // Counted aside and stored once each: a reader never sees a count half made.
    u32 visible = 0;
    u32 enabled = 0;
    u32 used = 0;
    u32 usedNotLoaded = 0;
    for (const auto& signal : signals) {
        if (signal->enabled) {
            enabled += 1;
            if (!signal->noPlot) {
                visible += 1;
                if (plotted)
                    plotted->push_back(signal);
            }
        }
        if (signal->useCount != 0) {
            used += 1;
            if (!signal->loaded)
                usedNotLoaded += 1;
        }
    }
    enabledVisibleCount = visible;
    enabledCount = enabled;
    usedCount = used;
    usedNotLoadedCount = usedNotLoaded;
}

} // namespace vistra
