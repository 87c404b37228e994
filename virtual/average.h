#pragma once
// "average", and the averaging window (avg/avgWindow) around any other method: every
// `step` ms the time-weighted mean of the input over `window` ms centred on the output
// time, each value weighted by how long it held. Stretches of more than 9999 ms without a
// sample are left out.
#include "core/types.h"
#include "core/virtual_signal.h"

#include <glibmm/keyfile.h>
#include <glibmm/ustring.h>

#include <deque>
#include <memory>

namespace vistra {

class Message;

class Average : public VirtualSignal {
public:
    // A piece of the input held at one value.
    struct Segment {
        u64 start;
        u64 durationMs;
        double value;
    };

    // Keys: signal (else signal_01), step, window (both required, 1 <= step <= window),
    // onlyPos, onlyNeg, then the common options. Without a unit the input's is taken.
    Average(std::shared_ptr<Message> parent, const Glib::ustring& group, Glib::KeyFile& keyFile);
    // The averaging window around `input`, which carries every output option already: of
    // the group only the limits and "hidden" are read; unit and comment are the input's.
    Average(std::shared_ptr<Message> parent, const Glib::ustring& name, std::shared_ptr<Signal> input, i32 step,
            i32 window, Glib::KeyFile& keyFile, const Glib::ustring& group);
    ~Average() override;

    static std::shared_ptr<Signal> create(std::shared_ptr<Message> parent, const Glib::ustring& group,
                                          Glib::KeyFile& keyFile);

    void addUser(std::shared_ptr<Signal> user) override;
    void removeUser(const std::shared_ptr<Signal>& user) override;
    void process() override;
    // Computes what is left and gives the segments' memory back; safe to run again.
    void finish() override;
    bool dependsOn(const Glib::ustring& name) override;
    bool inputsReady() override;

    std::shared_ptr<Signal> input;
    std::deque<Segment> segments; // the accounted input inside the window, oldest first
    i32 step = 0;
    i32 window = 0;
    bool onlyPos = false;
    bool onlyNeg = false;
    u64 outTime = 0;     // the centre of the window
    u64 windowStart = 0; // outTime - window/2, never below 0
    u64 windowEnd = 0;   // outTime + window/2
    u64 inputIndex = 0;  // the next input sample to read
    double weightedSum = 0.0;
    u64 totalMs = 0;
    u64 segStart = 0; // the time up to which the held value is accounted
    double heldValue = 0.0;
    u64 lastSampleTime = 0;
    bool started = false;
    bool windowDone = false; // the window at outTime has had its output

private:
    // Refuses steps that would not move the window forward, and windows shorter than a step.
    void checkStep(const Glib::ustring& name) const;
    void placeWindow(u64 centre);
    // Accounts the held value from segStart up to t.
    void account(u64 t);
    void output();
};

} // namespace vistra
