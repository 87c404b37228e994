#pragma once
// "integrate": the running integral of one input over time, in input units times seconds.
// There is no step grid: one output per input sample, at that sample's time. Optional
// restriction to positive or negative values, limits on the sum and a reset signal; the
// sum at the end of a parse is its summary.
#include "core/types.h"
#include "core/virtual_signal.h"

#include <glibmm/keyfile.h>
#include <glibmm/ustring.h>

#include <cfloat>
#include <memory>

namespace vistra {

class Message;

class IntDer : public VirtualSignal {
public:
    // Keys: signal (else signal_01), onlyPos, onlyNeg, resetSig, maxSum, minSum, then the
    // common options. There is no "step".
    IntDer(std::shared_ptr<Message> parent, const Glib::ustring& group, Glib::KeyFile& keyFile);
    ~IntDer() override;

    static std::shared_ptr<Signal> create(std::shared_ptr<Message> parent, const Glib::ustring& group,
                                          Glib::KeyFile& keyFile);

    void addUser(std::shared_ptr<Signal> user) override;
    void removeUser(const std::shared_ptr<Signal>& user) override;
    void process() override;
    bool dependsOn(const Glib::ustring& name) override;
    bool inputsReady() override;
    // The sum, scaled like the output (no absolute value).
    bool summary(double* out) override;

    std::shared_ptr<Signal> input;
    std::shared_ptr<Signal> resetSig;
    bool onlyPos = false;
    bool onlyNeg = false;
    bool sumLimited = false;
    double maxSum = DBL_MAX;
    double minSum = -DBL_MAX;
    double sum = 0.0;
    u64 prevTime = 0;
    double prevValue = 0.0;
    double curValue = 0.0;
    u64 curTime = 0;
    u64 inputIndex = 0; // the next input sample to handle
    u64 resetIndex = 0; // the next reset sample to examine
    bool resetHigh = false; // the last examined reset sample was above 0
    bool started = false;
};

} // namespace vistra
