#pragma once
// "slope": a follower whose output moves toward the input by no more than a given rate,
// with separate rates for rising and falling on each side of zero.
#include "virtual/custom_signal.h"

namespace vistra {

class Slope : public CustomSignal {
public:
    // Keys after step and the common options: signal (else signal_01), then posSlopeIncr,
    // posSlopeDecr, negSlopeIncr and negSlopeDecr (all required, in units per second).
    Slope(std::shared_ptr<Message> parent, const Glib::ustring& group, Glib::KeyFile& keyFile);
    ~Slope() override;

    static std::shared_ptr<Signal> create(std::shared_ptr<Message> parent, const Glib::ustring& group,
                                          Glib::KeyFile& keyFile);

    void compute() override;

    // The rates per step; the side is chosen by the output's sign at the start of a step.
    double posSlopeIncr = 0.0; // largest rise while the output is at or above 0
    double posSlopeDecr = 0.0; // largest fall while the output is at or above 0
    double negSlopeIncr = 0.0; // largest fall (growing magnitude) while the output is below 0
    double negSlopeDecr = 0.0; // largest rise (toward 0) while the output is below 0
    double output = 0.0;
    bool first = true; // the first step takes the input as it is and stores nothing
};

} // namespace vistra
