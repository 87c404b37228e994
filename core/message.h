#pragma once
// A named CAN message: its signals in definition order, by name and in a decode order
// sorted by use, and the counters that decide what a load decodes.
#include "core/frame_record.h"
#include "core/types.h"

#include <glibmm/ustring.h>

#include <atomic>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace vistra {

class CanIface;
class ParsedLog;
class Signal;

class Message : public std::enable_shared_from_this<Message> {
public:
    Message(u32 id, const Glib::ustring& name, std::shared_ptr<CanIface> iface);
    virtual ~Message();

    Message(const Message&) = delete;
    Message& operator=(const Message&) = delete;

    virtual bool startThread();
    virtual bool startThreadLowPriority(const std::deque<std::shared_ptr<ParsedLog>>& parsers);
    virtual void endOfLoad();
    // Throws SignalNotFoundException when no signal has that name.
    virtual std::shared_ptr<Signal> getSignal(const Glib::ustring& name);
    virtual void addFrame(const FrameRecord& frame);
    // Drops every signal (and their users) and the interface: breaks the ownership cycles
    // between signals, their message and its interface.
    virtual void clear();
    virtual bool needsDecoding();

    void addSignal(const Glib::ustring& name, std::shared_ptr<Signal> signal);
    bool hasInterface() const { return iface != nullptr; }
    // Throws std::runtime_error when the message has no interface.
    std::shared_ptr<CanIface> getInterface() const;
    void setAllEnabled(bool on);
    void enableMatching(const Glib::ustring& pattern);
    // Counts the enabled, used and not yet loaded signals; appends the plotted ones (enabled
    // and not noPlot) to `plotted` when given. Sorts the decode order by use unless live.
    void updateSignalCounts(std::vector<std::shared_ptr<Signal>>* plotted = nullptr);

    u32 id;
    Glib::ustring name;
    i32 currentMux = -1;
    std::map<std::string, std::shared_ptr<Signal>> signalsByName;
    std::vector<std::shared_ptr<Signal>> signals;
    std::vector<std::shared_ptr<Signal>> decodeOrder;
    // Kept by updateSignalCounts on the GUI thread (by the job at its end); atomic, as a
    // live job reads them for every frame while the user changes the choice.
    std::atomic<u32> enabledVisibleCount{0};
    std::atomic<u32> enabledCount{0};
    std::atomic<u32> usedCount{0};
    std::atomic<u32> usedNotLoadedCount{0};
    std::string comment;
    std::shared_ptr<CanIface> iface;
    // The rate signal of this message in its statistics interface (for a multiplexed
    // message the one that counts every frame); empty for a message without signals.
    std::shared_ptr<Signal> msgRate;
};

} // namespace vistra
