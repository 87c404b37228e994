#pragma once
// A store host for the virtual signals without the Store: interfaces by number and signals
// by full name, installed while it lives; and input signals with samples put in directly.
#include "core/can_iface.h"
#include "core/message.h"
#include "core/report.h"
#include "core/signal.h"
#include "core/store_host.h"
#include "virtual/virtual_message.h"

#include <glibmm/keyfile.h>

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vistra::test {

// Epoch times: a time of 0 must never be needed as a marker.
inline constexpr u64 T0 = 1700000000000;

class TestHost : public StoreHost {
public:
    TestHost() { install(this); }
    ~TestHost() override
    {
        // Messages and their signals point at each other: clearing breaks the cycles.
        for (auto& [n, iface] : ifaces)
            iface->clear();
        for (auto& m : messages)
            m->clear();
        VirtualMessage::allSignals.clear();
        VirtualMessage::nextId = 0;
        install(nullptr);
    }

    std::shared_ptr<CanIface> getIface(u32 number) const override
    {
        auto it = ifaces.find(number);
        return it == ifaces.end() ? nullptr : it->second;
    }
    std::shared_ptr<Signal> findSignal(const Glib::ustring& name) const override
    {
        auto it = signals.find(name.raw());
        if (it == signals.end())
            throw SignalNotFoundException("Can't find signal " + name.raw());
        return it->second;
    }

    // A signal "CAN0.In.<name>" holding `samples`, found by its full name.
    std::shared_ptr<Signal> input(const std::string& name, std::vector<Sample> samples = {})
    {
        if (!inputMessage) {
            auto iface = CanIface::create("CAN0", 0);
            ifaces[0] = iface;
            inputMessage = std::make_shared<Message>(1, "In", iface);
            iface->addMessage(inputMessage);
        }
        auto s = std::make_shared<Signal>(inputMessage, name);
        inputMessage->addSignal(name, s);
        s->samples = std::move(samples);
        s->hasData = !s->samples.empty();
        signals[s->fullName.raw()] = s;
        return s;
    }

    // A signal "CAN0.In.<name>" stored as a load stores it: `values` arrive one every
    // `stepMs` ms from T0 through addValue (which keeps the changes), then the load finishes.
    std::shared_ptr<Signal> loadedInput(const std::string& name, const std::vector<double>& values, u64 stepMs)
    {
        auto s = input(name);
        for (std::size_t k = 0; k < values.size(); ++k)
            s->addValue(T0 + k * stepMs, values[k]);
        s->finish();
        return s;
    }

    // The message "Virtual" on the interface "Virt" (1024), for signals under test.
    std::shared_ptr<VirtualMessage> virtualMessage()
    {
        if (!ifaces.count(1024))
            ifaces[1024] = CanIface::create("Virt", 1024);
        return keep(VirtualMessage::create("Virtual", 1024));
    }

    // Keeps a message to clear at the end.
    template <class M>
    std::shared_ptr<M> keep(std::shared_ptr<M> msg)
    {
        messages.push_back(msg);
        return msg;
    }

    std::map<u32, std::shared_ptr<CanIface>> ifaces;
    std::map<std::string, std::shared_ptr<Signal>> signals;
    std::shared_ptr<Message> inputMessage;
    std::vector<std::shared_ptr<Message>> messages;
};

// A VSD text of one group, "[Sig]" followed by the given lines.
struct Definition {
    explicit Definition(const std::string& lines, const std::string& group = "Sig") : group(group)
    {
        file.load_from_data("[" + group + "]\n" + lines);
    }
    Glib::KeyFile file;
    Glib::ustring group;
};

} // namespace vistra::test
