#include "core/virtual_signal.h"

#include "core/report.h"

#include <cmath>

namespace vistra {
namespace {

// A gap in the output longer than this is filled with points kFillStepMs apart.
constexpr u64 kFillGapMs = 10000;
constexpr u64 kFillStepMs = 5000;

} // namespace

PrintableSignal::~PrintableSignal() = default;

bool PrintableSignal::summary(double*) { return false; }

VirtualSignal::~VirtualSignal() = default;

void VirtualSignal::addValue(u64 t, double v)
{
    if (!std::isfinite(v))
        return;
    if (pauseIfZero && v == 0.0)
        return;
    double out = v * factor + offset;
    if (!std::isfinite(out))
        return;
    if (!hasOutput) {
        hasOutput = true;
        lastOutTime = t;
    }
    if (fillEmpty) {
        // Only forward in time: an output earlier than the last one has no gap before it
        // (an unsigned difference would wrap and fill almost forever).
        while (t > lastOutTime && t - lastOutTime > kFillGapMs) {
            lastOutTime += kFillStepMs;
            Signal::addValue(lastOutTime, valWhenEmptyGiven ? valWhenEmpty : lastOutValue);
        }
    }
    if (absOutput)
        out = std::fabs(out);
    lastOutTime = t;
    lastOutValue = out;
    Signal::addValue(t, out);
}

void VirtualSignal::process() {}

bool VirtualSignal::dependsOn(const Glib::ustring&) { fail("should never be used"); }

bool VirtualSignal::inputsReady() { return false; }

bool VirtualSignal::summary(double*) { return false; }

} // namespace vistra
