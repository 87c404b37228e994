#pragma once
// "estimate": a two-level signal. While the input is low it shows a fixed low value; each
// stretch in which the input is high shows the mean of the input over that stretch, filled
// in once the stretch has ended.
#include "virtual/custom_signal.h"

namespace vistra {

class Estimate : public CustomSignal {
public:
    // Keys after step and the common options: signal (else signal_01), highLimit,
    // lowLimit (both required), offValue (default 0).
    Estimate(std::shared_ptr<Message> parent, const Glib::ustring& group, Glib::KeyFile& keyFile);
    ~Estimate() override;

    static std::shared_ptr<Signal> create(std::shared_ptr<Message> parent, const Glib::ustring& group,
                                          Glib::KeyFile& keyFile);

    void compute() override;

    double highLimit = 0.0; // the input counts as high once it is above this
    double lowLimit = 0.0;  // a high stretch ends once the input is below this
    // The low level before the output scaling, so that it comes out as given.
    double offValue = 0.0;
    u64 segStart = 0; // the next step time of the open stretch still to fill
    bool high = false;
    u32 count = 0;    // values summed in the open stretch
    double sum = 0.0;
};

} // namespace vistra
