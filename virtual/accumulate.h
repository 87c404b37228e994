#pragma once
// "accumulate": the sum of the input's values, each value added once when the input
// changes to it, with an optional reset; the sum at the end of a parse is its summary.
#include "virtual/custom_signal.h"

namespace vistra {

class Accumulate : public CustomSignal {
public:
    // Keys after step and the common options: signal (else signal_01), resetSig.
    Accumulate(std::shared_ptr<Message> parent, const Glib::ustring& group, Glib::KeyFile& keyFile);
    ~Accumulate() override;

    static std::shared_ptr<Signal> create(std::shared_ptr<Message> parent, const Glib::ustring& group,
                                          Glib::KeyFile& keyFile);

    void compute() override;
    bool summary(double* out) override;

    double prevValue = 0.0; // the input value added last
    double sum = 0.0;
};

} // namespace vistra
