#pragma once
// What the signal model reads and calls of the one data store.
//
// The model (signals, messages, interfaces), the virtual signals and the settings sit below
// the Store in the build, yet they need a few of the Store's values and services: the live
// flags, the view window, the line width, the colour lookup and reload, the plotted-signal
// list with its rebuild, and the lookups of interfaces and signals. The Store derives from
// StoreHost and installs itself on construction; without a Store (unit tests, benchmarks)
// a plain StoreHost with the defaults below answers, and tests set its fields directly.
#include "core/types.h"

#include <glibmm/ustring.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace vistra {

class CanIface;
class Signal;

class StoreHost {
public:
    StoreHost() = default;
    StoreHost(const StoreHost&) = delete;
    StoreHost& operator=(const StoreHost&) = delete;
    virtual ~StoreHost();

    // The installed host, or a default one when none is installed.
    static StoreHost& get();
    // Makes `host` the one that get() returns; nullptr goes back to the default.
    static void install(StoreHost* host);

    // A live source is chosen: signals keep a moving tail sample, decode order stays put.
    std::atomic<bool> live{false};
    // Every message and every signal is decoded, used or not (live and SocketCAN jobs).
    std::atomic<bool> liveDecode{false};
    // The log parsers keep error frames for the error messages (set by ErrorMessage).
    std::atomic<bool> keepErrorFrames{false};
    // The view window [viewStart, viewEnd], both ends included; (kNoTime, 0) when empty.
    std::atomic<u64> viewStart{kNoTime};
    std::atomic<u64> viewEnd{0};
    // A copy of the "line_width" setting.
    std::atomic<double> lineWidth{2.0};
    // The GPS position comes from interface 0 in the legacy degrees-and-minutes coding
    // instead of from the "Logger" interface. Written while loading, before any parse.
    bool legacyGps = false;

    // The signals enabled for plotting, in list order, which is the plots' lane order: a
    // copy. refreshPlotSignals rebuilds the list on the worker thread at the end of a load
    // and on the GUI thread otherwise, while the plots read it on the GUI thread.
    std::vector<std::shared_ptr<Signal>> plotSignals() const;
    void setPlotSignals(std::vector<std::shared_ptr<Signal>> signals);

    // The interface of that number; null when there is none (the default host has none).
    virtual std::shared_ptr<CanIface> getIface(u32 number) const;
    // The signal of a full name "<iface>.<msg>.<signal>". Throws SignalNotFoundException
    // when there is none (the default host has none), std::invalid_argument for a
    // malformed name.
    virtual std::shared_ptr<Signal> findSignal(const Glib::ustring& name) const;
    // Calls `f` for every signal of every message of every interface: interfaces by
    // number, messages by identifier word, signals in definition order (the default host
    // has none).
    virtual void forEachSignal(const std::function<void(Signal&)>& f) const;

    virtual Glib::ustring signalColor(const Glib::ustring& iface, const Glib::ustring& msg,
                                      const Glib::ustring& sig);
    virtual void refreshPlotSignals();
    // A signal was switched on or off: refreshPlotSignals, or, while a SelectionBatch is
    // open, once when the outermost one closes.
    void selectionChanged();
    // The default signal colour changed: every signal takes its colour again, and the
    // views hear of changed settings.
    virtual void reloadSignalColors();
    virtual void emitSettingsChanged();

private:
    friend class SelectionBatch;
    // Selections are made on the GUI thread (the main thread at start-up) alone.
    int openBatches = 0;
    bool refreshHeld = false;

    // Guards the list alone; nothing else is called while it is held.
    mutable std::mutex plotSignalsMutex;
    std::vector<std::shared_ptr<Signal>> plotted;
};

// Shorthand for StoreHost::get().
inline StoreHost& storeHost() { return StoreHost::get(); }

// Open while many signals are switched on or off: the plotted-signal list is rebuilt
// once at the end. Its rebuild walks every signal, so one per signal made choosing N
// signals cost N².
class SelectionBatch {
public:
    explicit SelectionBatch(StoreHost& host = storeHost()) : host(host) { host.openBatches += 1; }
    ~SelectionBatch();
    SelectionBatch(const SelectionBatch&) = delete;
    SelectionBatch& operator=(const SelectionBatch&) = delete;

private:
    StoreHost& host;
};

} // namespace vistra
