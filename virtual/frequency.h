#pragma once
// "frequency": the frequency in Hz of an oscillating input, from the times between its
// peaks; or, with "amplitude", the mean swing of the input between its turning points.
#include "virtual/custom_signal.h"

#include <deque>

namespace vistra {

class Frequency : public CustomSignal {
public:
    // Keys after step and the common options: signal (else signal_01), samples (1 or
    // more, default 1), filter (default 0: off), peaks (1 or more, default 1), amplitude.
    Frequency(std::shared_ptr<Message> parent, const Glib::ustring& group, Glib::KeyFile& keyFile);
    ~Frequency() override;

    static std::shared_ptr<Signal> create(std::shared_ptr<Message> parent, const Glib::ustring& group,
                                          Glib::KeyFile& keyFile);

    void compute() override;

    i32 samples = 1;     // entries averaged per output
    double filter = 0.0; // a step that jumps further than this from the last accepted value is ignored
    i32 peaks = 1;       // peaks per cycle of the input
    std::deque<u32> periods; // ms between peaks, oldest first
    bool rising = false;
    double prevValue = 0.0; // the input at the last accepted step
    u64 lastPeakTime = 0;
    bool first = true;
    bool amplitude = false;
    double trough = 0.0; // the value at the last turn from falling to rising
    double peak = 0.0;   // the value at the last turn from rising to falling
    std::deque<u32> swings; // whole units between turning points, oldest first

private:
    // Appends to the queue; once it holds `samples` entries, drops the oldest and returns
    // true with the mean of them in *mean.
    bool push(std::deque<u32>& queue, u32 entry, double* mean);
    u64 queued = 0; // the sum of the queue's entries
};

} // namespace vistra
