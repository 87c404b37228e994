#include "virtual/iir.h"

#include "core/number_setting.h"

#include <stdexcept>

namespace vistra {

IIR::IIR(std::shared_ptr<Message> parent, const Glib::ustring& group, Glib::KeyFile& keyFile)
    : CustomSignal(std::move(parent), group, keyFile)
{
    readSignalInput(keyFile, group);
    if (keyFile.has_key(group, "K")) {
        // An infinite K would hold the first value forever; with K 0, 1/K would be
        // infinite and the state NaN from the second step on.
        K = numberSetting(keyFile, group, "K");
        if (K == 0.0)
            throw std::invalid_argument("K can not be zero");
    }
}

IIR::~IIR() = default;

std::shared_ptr<Signal> IIR::create(std::shared_ptr<Message> parent, const Glib::ustring& group,
                                    Glib::KeyFile& keyFile)
{
    return build<IIR>(std::move(parent), group, keyFile);
}

void IIR::compute()
{
    const double x = inputs[0].value;
    if (first) {
        first = false;
        y = x;
    } else {
        const double a = 1.0 / K;
        y = x * a + y * (1.0 - a);
    }
    addValue(currentTime, y);
}

} // namespace vistra
