#pragma once
// A virtual signal computed by an arithmetic expression over its inputs: "$01" stands for
// the value of signal_01 at the step, "$02" for signal_02, and so on up to "$99".
#include "virtual/custom_signal.h"
#include "virtual/math_parser.h"

#include <vector>

namespace vistra {

class CustomMath : public CustomSignal, public MathParser {
public:
    // Keys: signal_01, signal_02, ... (at least one; the expression need not use it, but
    // the steps follow the inputs), expr (else expression) and radians (default false).
    // The expression is converted and evaluated once with every input at 0, so that an
    // expression that cannot be evaluated is refused while the file is loaded.
    CustomMath(std::shared_ptr<Message> parent, const Glib::ustring& group, Glib::KeyFile& keyFile);
    // An expression signal without inputs and with an empty expression.
    CustomMath();
    ~CustomMath() override;

    static std::shared_ptr<Signal> create(std::shared_ptr<Message> parent, const Glib::ustring& group,
                                          Glib::KeyFile& keyFile);

    void compute() override;
    // The value of the input that `userData` (an entry of inputIndexes) names; 0.0 while
    // the expression is tried out at construction.
    double callCustomFunction(const std::list<double>& args, void* userData) override;

    std::vector<u32> inputIndexes;
    std::vector<Token> rpn;
    bool validating = true;
};

} // namespace vistra
