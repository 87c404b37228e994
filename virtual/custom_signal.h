#pragma once
// The step-driven base of the computation methods: a list of input signals and a step
// length. process() walks a time cursor through the inputs' samples in steps, keeps the
// value each input holds at the cursor, and calls compute() once per step; the subclass
// works out its value there and stores it with addValue at currentTime. The walk resumes
// where it stopped, so one object serves a log load and live data alike.
//
// A method class derives from CustomSignal and has:
//   - a reader constructor (parent, group, keyFile) that runs this one first, then sets
//     its own members and reads its own keys, appending its inputs with the helpers below;
//   - static std::shared_ptr<Signal> create(parent, group, keyFile) { return build<X>(...); }
//   - compute(), and summary() where the method reports an end-of-parse value.
#include "core/types.h"
#include "core/virtual_signal.h"

#include <glibmm/keyfile.h>
#include <glibmm/ustring.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace vistra {

class Message;
struct Sample;

class CustomSignal : public VirtualSignal {
public:
    struct Input {
        std::shared_ptr<Signal> source;
        const Sample* cursor = nullptr; // the first sample not taken yet; valid during one process()
        u64 index = 0;                  // the cursor's position, kept from one process() to the next
        double value = 0.0;             // the value held at currentTime (absolute with absInput)
    };

    // The reader constructor: the name is the group's part after its last '.'; reads
    // "step" (an integer of at least 1) and the common options.
    CustomSignal(std::shared_ptr<Message> parent, const Glib::ustring& group, Glib::KeyFile& keyFile);
    // For built-in subclasses: no keys are read; the subclass sets step and its inputs.
    CustomSignal(std::shared_ptr<Message> parent, const Glib::ustring& name);
    ~CustomSignal() override;

    // The first use is passed on to every input, and the last use released from them:
    // inputs are loaded exactly while this signal is needed.
    void addUser(std::shared_ptr<Signal> user) override;
    void removeUser(const std::shared_ptr<Signal>& user) override;
    void process() override;
    bool dependsOn(const Glib::ustring& name) override;
    // True once every input has data; the walk starts at the latest first sample.
    bool inputsReady() override;
    // One step at currentTime: every input's value holds its latest sample at or before it.
    virtual void compute();

    // The part of a group name after its last '.', or the whole name.
    static Glib::ustring signalNameOf(const Glib::ustring& group);
    // "<stem>_NN" with two digits, as numbered keys are written ("signal_01").
    static Glib::ustring numberedKey(const char* stem, int number);
    // How many of "<stem>_01", "<stem>_02", ... are present, counted up to the first gap.
    static int countNumberedKeys(Glib::KeyFile& keyFile, const Glib::ustring& group, const char* stem);
    // The input of a one-input method (key "signal", else "signal_01"), found through the
    // store; throws "Missing signal_01" when neither key is there. Also for the methods
    // that keep their input outside `inputs`.
    static std::shared_ptr<Signal> findSignalInput(Glib::KeyFile& keyFile, const Glib::ustring& group);

    std::vector<Input> inputs;
    u32 step = 0;
    u64 currentTime = 0;
    bool started = false;

protected:
    // Creates a T with its reader constructor and refuses a definition without an input:
    // the walk needs at least one.
    template <class T>
    static std::shared_ptr<Signal> build(std::shared_ptr<Message> parent, const Glib::ustring& group,
                                         Glib::KeyFile& keyFile)
    {
        auto signal = std::make_shared<T>(std::move(parent), group, keyFile);
        if (signal->inputs.empty())
            throw std::invalid_argument("No input signal defined for " + group.raw());
        return signal;
    }

    // Resolves a full signal name through the store and appends it as an input; the
    // lookup's exceptions pass through.
    void addInput(const Glib::ustring& fullName);
    // The single input of a one-input method: key "signal", else "signal_01".
    void readSignalInput(Glib::KeyFile& keyFile, const Glib::ustring& group);
    // Inputs "signal_01", "signal_02", ... up to the first missing number; their count.
    int readNumberedInputs(Glib::KeyFile& keyFile, const Glib::ustring& group);
    // The optional reset input (key "resetSig"), appended after all other inputs.
    void readResetInput(Glib::KeyFile& keyFile, const Glib::ustring& group);
    // A method with a reset input (the last of more than one) is reset while it is above 0.
    bool resetActive() const { return inputs.size() > 1 && inputs.back().value > 0.0; }
};

} // namespace vistra
