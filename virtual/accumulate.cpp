#include "virtual/accumulate.h"

namespace vistra {

Accumulate::Accumulate(std::shared_ptr<Message> parent, const Glib::ustring& group, Glib::KeyFile& keyFile)
    : CustomSignal(std::move(parent), group, keyFile)
{
    readSignalInput(keyFile, group);
    readResetInput(keyFile, group);
}

Accumulate::~Accumulate() = default;

std::shared_ptr<Signal> Accumulate::create(std::shared_ptr<Message> parent, const Glib::ustring& group,
                                           Glib::KeyFile& keyFile)
{
    return build<Accumulate>(std::move(parent), group, keyFile);
}

void Accumulate::compute()
{
    const double x = inputs[0].value;
    if (x != prevValue) {
        sum += x;
        prevValue = x;
    }
    // After a reset the value that holds is added again at the next step (unless it is 0).
    if (resetActive()) {
        sum = 0.0;
        prevValue = 0.0;
    }
    addValue(currentTime, sum);
}

bool Accumulate::summary(double* out)
{
    *out = sum * factor + offset;
    return true;
}

} // namespace vistra
