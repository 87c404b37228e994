#include "core/store_host.h"

#include "core/constants.h"

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

Glib::ustring StoreHost::signalColor(const Glib::ustring&, const Glib::ustring&, const Glib::ustring&)
{
    return kDefaultColourMarker;
}

void StoreHost::refreshPlotSignals() {}

void StoreHost::reloadSignalColors() {}

void StoreHost::emitSettingsChanged() {}

} // namespace vistra
