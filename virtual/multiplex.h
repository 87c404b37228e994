#pragma once
// The value of one signal, latched whenever every trigger signal holds its given value:
// while the triggers match the output follows the value, otherwise it holds the value last
// latched (nothing before the first match).
#include "virtual/custom_signal.h"

#include <vector>

namespace vistra {

class Multiplex : public CustomSignal {
public:
    // Keys: signal (else signal_01), the value; trigSign_01, trigSign_02, ... the triggers
    // (at least one); trigVal_01, ... one value per trigger, compared exactly.
    Multiplex(std::shared_ptr<Message> parent, const Glib::ustring& group, Glib::KeyFile& keyFile);
    ~Multiplex() override;

    static std::shared_ptr<Signal> create(std::shared_ptr<Message> parent, const Glib::ustring& group,
                                          Glib::KeyFile& keyFile);

    void compute() override;

    std::vector<double> trigValues;
    double latchedValue = 0.0;
    bool latched = false;
};

} // namespace vistra
