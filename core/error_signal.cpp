#include "core/error_signal.h"

#include <climits>
#include <cstdio>
#include <string>

namespace vistra {
namespace {

// After a pause of more than this, the counter gets one point holding its count
// kHoldAfterMs after the previous event, so the plot shows the count standing still.
constexpr u64 kHoldGapMs = 10000;
constexpr u64 kHoldAfterMs = 5000;

} // namespace

std::shared_ptr<ErrorSignal> ErrorSignal::create(std::shared_ptr<Message> parent, const Glib::ustring& name)
{
    return std::make_shared<ErrorSignal>(std::move(parent), name);
}

ErrorSignal::ErrorSignal(std::shared_ptr<Message> parentMessage, const Glib::ustring& signalName)
    : Signal(std::move(parentMessage), signalName)
{
}

ErrorSignal::~ErrorSignal() = default;

int ErrorSignal::formatValue(char* buf, std::size_t n, double v)
{
    // Converting a NaN or an out-of-range double to an integer is undefined: such values
    // take the plain decimal form.
    const bool fitsInt = v > double(INT_MIN) - 1.0 && v < double(INT_MAX) + 1.0;
    if (valueTable.empty() || !fitsInt) {
        if (unit == "hex" && fitsInt)
            return std::snprintf(buf, n, "0x%X", static_cast<unsigned>(static_cast<int>(v)));
        return std::snprintf(buf, n, "%.2f", v);
    }
    const int i = static_cast<int>(v);
    std::string text;
    auto append = [&](int key) {
        auto it = valueTable.find(key);
        if (it == valueTable.end())
            return;
        if (!text.empty())
            text += ", ";
        text += it->second.raw();
    };
    if (i == 0)
        text = "Unspec";
    else if (nibbleCoded) {
        if (i & 0x0F)
            append(i & 0x0F);
        if (i & 0xF0)
            append(i & 0xF0);
    } else {
        for (int bit = 0; bit < 8; ++bit)
            if (i & (1 << bit))
                append(1 << bit);
    }
    return std::snprintf(buf, n, "%s (%d)", text.c_str(), i);
}

bool ErrorSignal::dependsOn(const Glib::ustring&) { return false; }

void ErrorSignal::setCompanion(std::shared_ptr<Signal> description) { companion = std::move(description); }

void ErrorSignal::addEvent(u64 timeMs, int value, int eventCount)
{
    if (lastEventTime == 0)
        lastEventTime = timeMs;
    else if (timeMs > lastEventTime && timeMs - lastEventTime > kHoldGapMs) {
        // Forward gaps only: a hold point after an earlier event would land after timeMs.
        const u64 hold = lastEventTime + kHoldAfterMs;
        addValue(hold, double(count));
        if (companion)
            companion->addValue(hold, lastValue);
    }
    count = eventCount >= 0 ? u64(eventCount) : count + 1;
    addValue(timeMs, double(count));
    if (companion)
        companion->addValue(timeMs, value);
    lastEventTime = timeMs;
    lastValue = value;
}

} // namespace vistra
