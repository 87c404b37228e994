#pragma once
// "count": how often the input rises above a level (through a hysteresis switch), with an
// optional reset; the count at the end of a parse is its summary.
#include "virtual/custom_signal.h"

namespace vistra {

class Count : public CustomSignal {
public:
    // Keys after step and the common options: above, below (both required), signal (else
    // signal_01), resetSig.
    Count(std::shared_ptr<Message> parent, const Glib::ustring& group, Glib::KeyFile& keyFile);
    ~Count() override;

    static std::shared_ptr<Signal> create(std::shared_ptr<Message> parent, const Glib::ustring& group,
                                          Glib::KeyFile& keyFile);

    void compute() override;
    bool summary(double* out) override;

    double above = 0.0;
    double below = 0.0;
    double count = 0.0; // rises since the start or the last reset
    bool high = false;
};

} // namespace vistra
