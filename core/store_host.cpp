#include "core/store_host.h"

#include "core/constants.h"
#include "core/report.h"

#include <utility>

namespace vistra {
namespace {

std::atomic<StoreHost*> installed{nullptr};

} // namespace

StoreHost::~StoreHost()
{
    StoreHost* self = this;
    installed.compare_exchange_strong(self, nullptr);
}

StoreHost& StoreHost::get()
{
    if (StoreHost* host = installed.load(std::memory_order_acquire))
        return *host;
    static StoreHost fallback;
    return fallback;
}

void StoreHost::install(StoreHost* host) { installed.store(host, std::memory_order_release); }

std::vector<std::shared_ptr<Signal>> StoreHost::plotSignals() const
{
    std::lock_guard lock(plotSignalsMutex);
    return plotted;
}

void StoreHost::setPlotSignals(std::vector<std::shared_ptr<Signal>> signals)
{
    // The old list is released outside the lock: its last reference may end a signal.
    {
        std::lock_guard lock(plotSignalsMutex);
        plotted.swap(signals);
    }
}

std::shared_ptr<CanIface> StoreHost::getIface(u32) const { return nullptr; }

std::shared_ptr<Signal> StoreHost::findSignal(const Glib::ustring& name) const
{
    throw SignalNotFoundException("Can't find signal " + name.raw());
}

void StoreHost::forEachSignal(const std::function<void(Signal&)>&) const {}

Glib::ustring StoreHost::signalColor(const Glib::ustring&, const Glib::ustring&, const Glib::ustring&)
{
    return kDefaultColourMarker;
}

void StoreHost::refreshPlotSignals() {}

void StoreHost::selectionChanged()
{
    if (openBatches > 0)
        refreshHeld = true;
    else
        refreshPlotSignals();
}

SelectionBatch::~SelectionBatch()
{
    host.openBatches -= 1;
    if (host.openBatches == 0 && std::exchange(host.refreshHeld, false))
        host.refreshPlotSignals();
}

void StoreHost::reloadSignalColors() {}

void StoreHost::emitSettingsChanged() {}

} // namespace vistra
