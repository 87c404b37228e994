#pragma once
// One summary number of a signal over the load: its maximum, minimum or mean at the steps.
// It stores no samples and is never plotted; the text output prints the summary.
#include "virtual/custom_signal.h"

namespace vistra {

class Statistics : public CustomSignal {
public:
    // Keys: signal (else signal_01) and type: "max", "min", "average" or "avg". Takes the
    // input's unit when it has none of its own.
    Statistics(std::shared_ptr<Message> parent, const Glib::ustring& group, Glib::KeyFile& keyFile);
    ~Statistics() override;

    static std::shared_ptr<Signal> create(std::shared_ptr<Message> parent, const Glib::ustring& group,
                                          Glib::KeyFile& keyFile);

    void compute() override;
    // The value scaled by factor and offset; NaN (no value) before the first step. The
    // mean is worked out here from the kept sum and count, so it is right whenever it is
    // asked for: after a load, and while live data arrive, when no finish runs.
    bool summary(double* out) override;

    double result = 0.0; // the maximum, the minimum or the sum
    double count = 0.0;  // steps seen
    void (Statistics::*update)(double x) = nullptr;

private:
    void updateMax(double x);
    void updateMin(double x);
    void updateSum(double x);
};

} // namespace vistra
