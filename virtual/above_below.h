#pragma once
// "above" and "below": a hysteresis switch over the input that outputs 1.0 while high and
// 0.0 while low; "below" the other way round.
#include "virtual/custom_signal.h"

namespace vistra {

class AboveBelow : public CustomSignal {
public:
    // Keys after step and the common options: method ("below" inverts), signal (else
    // signal_01), above, below (both required).
    AboveBelow(std::shared_ptr<Message> parent, const Glib::ustring& group, Glib::KeyFile& keyFile);
    ~AboveBelow() override;

    static std::shared_ptr<Signal> create(std::shared_ptr<Message> parent, const Glib::ustring& group,
                                          Glib::KeyFile& keyFile);

    void compute() override;

    double above = 0.0;
    double below = 0.0;
    bool high = false;
    bool inverted = false;
};

} // namespace vistra
