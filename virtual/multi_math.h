#pragma once
// Arithmetic over the inputs of one step: sum, sub, mult, div, avg, max and min over every
// input; sin, cos, tan, asin, acos, atan, inv, sqrt, sqr, der (also "derive") and fmod of
// the first. The method keyword picks the operation when the signal is built.
#include "virtual/custom_signal.h"

namespace vistra {

class MultiMath : public CustomSignal {
public:
    // Keys: signal_01, signal_02, ... (at least one), radians (default false: angles in
    // degrees), method, and denom (required by fmod).
    MultiMath(std::shared_ptr<Message> parent, const Glib::ustring& group, Glib::KeyFile& keyFile);
    ~MultiMath() override;

    static std::shared_ptr<Signal> create(std::shared_ptr<Message> parent, const Glib::ustring& group,
                                          Glib::KeyFile& keyFile);

    void compute() override;

    bool radians = false;
    double prevValue = 0.0; // the derivative's previous input value ...
    u64 prevTime = 0;       // ... and the step it was taken at
    bool firstStep = true;
    double denom = 0.0;
    double (MultiMath::*operation)() = nullptr;

private:
    double sum();
    double sub();
    double mult();
    double div();
    double avg();
    double max();
    double min();
    double sin();
    double cos();
    double tan();
    double asin();
    double acos();
    double atan();
    double inv();
    double sqrt();
    double sqr();
    double der();
    double fmod();
};

} // namespace vistra
