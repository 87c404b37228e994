#pragma once
// A message that decodes no frames: it groups signals computed from other signals. Every
// signal added to any virtual message joins one class-wide list, in order of addition, and
// the whole list is computed in one sweep at the end of a load (or once per live block).
#include "core/message.h"
#include "core/types.h"

#include <glibmm/ustring.h>

#include <list>
#include <memory>

namespace vistra {

class Signal;

class VirtualMessage : public Message {
public:
    // The interface is looked up in the installed store host; none there leaves it empty.
    VirtualMessage(u32 id, const Glib::ustring& name, u32 interfaceNumber);
    ~VirtualMessage() override;

    // Takes the next dynamic identifier.
    static std::shared_ptr<VirtualMessage> create(const Glib::ustring& name, u32 interfaceNumber);
    // A fixed identifier; reports an ERR and throws PrintMsgError when the dynamic
    // identifiers have reached it already.
    static std::shared_ptr<VirtualMessage> createWithId(u32 id, const Glib::ustring& name, u32 interfaceNumber);

    using Message::addSignal;
    // Adds the signal to this message and appends it to the class-wide list.
    void addSignal(std::shared_ptr<Signal> signal, const Glib::ustring& name);

    // One process() per listed signal, used or not: live data extend every series.
    static void processAll();

    // Starts no thread; the next endOfLoad computes the listed signals again.
    bool startThread() override;
    // The first call of a load computes every used signal of every virtual message once.
    void endOfLoad() override;
    // Empties the class-wide list (for every virtual message) and resets the identifiers.
    void clear() override;

    // Every listed signal, in order of addition; an input always precedes its users.
    static std::list<std::shared_ptr<Signal>> allSignals;
    static u32 nextId;
    static bool computed;
};

} // namespace vistra
