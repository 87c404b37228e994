#include "core/store_host.h"

#include "core/constants.h"
#include "core/report.h"

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

Glib::ustring StoreHost::signalColor(const Glib::ustring&, const Glib::ustring&, const Glib::ustring&)
{
    return kDefaultColourMarker;
}

void StoreHost::refreshPlotSignals() {}

void StoreHost::reloadSignalColors() {}

void StoreHost::emitSettingsChanged() {}

} // namespace vistra
