#pragma once
// "IIR": a first-order low-pass filter, y(n) = x(n)/K + y(n-1)·(1 - 1/K).
#include "virtual/custom_signal.h"

namespace vistra {

class IIR : public CustomSignal {
public:
    // Keys after step and the common options: signal (else signal_01), K (not 0, default 1000).
    IIR(std::shared_ptr<Message> parent, const Glib::ustring& group, Glib::KeyFile& keyFile);
    ~IIR() override;

    static std::shared_ptr<Signal> create(std::shared_ptr<Message> parent, const Glib::ustring& group,
                                          Glib::KeyFile& keyFile);

    void compute() override;

    double y = 0.0; // the filter state
    double K = 1000.0;
    bool first = true; // the first step starts the filter at the input
};

} // namespace vistra
