#pragma once
// "time": how long, in seconds, the input stays above the levels of a hysteresis switch
// (or below them, with countAbove false), with an optional reset; the time at the end of a
// parse is its summary.
#include "virtual/custom_signal.h"

namespace vistra {

class Timekeeping : public CustomSignal {
public:
    // Keys after step and the common options: signal (else signal_01), resetSig, above,
    // below (both required), countAbove (default true).
    Timekeeping(std::shared_ptr<Message> parent, const Glib::ustring& group, Glib::KeyFile& keyFile);
    ~Timekeeping() override;

    static std::shared_ptr<Signal> create(std::shared_ptr<Message> parent, const Glib::ustring& group,
                                          Glib::KeyFile& keyFile);

    void compute() override;
    // Seconds, scaled like the output.
    bool summary(double* out) override;

    double above = 0.0;
    double below = 0.0;
    double elapsedMs = 0.0;
    bool high = false;
    bool countAbove = true; // count the time in state high (else in state low)
};

} // namespace vistra
