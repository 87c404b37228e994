#pragma once
// 1.0 while any input (or, with allOf, every input) equals its given value, else 0.0.
#include "virtual/custom_signal.h"

#include <vector>

namespace vistra {

class Equals : public CustomSignal {
public:
    // Keys: signal_01, signal_02, ... (at least one); value_01, value_02, ... one per
    // input, compared exactly; allOf (default false).
    Equals(std::shared_ptr<Message> parent, const Glib::ustring& group, Glib::KeyFile& keyFile);
    ~Equals() override;

    static std::shared_ptr<Signal> create(std::shared_ptr<Message> parent, const Glib::ustring& group,
                                          Glib::KeyFile& keyFile);

    void compute() override;

    std::vector<double> compareValues;
    bool allOf = false;
};

} // namespace vistra
