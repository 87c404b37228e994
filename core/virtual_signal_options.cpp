// The options that every signal definition of a VSD file may carry.
#include "core/number_setting.h"
#include "core/report.h"
#include "core/virtual_signal.h"

#include <stdexcept>

namespace vistra {
namespace {

// Of an option with a short and a long key name, the key that is present, the short
// name first; null when neither is.
const char* presentKey(Glib::KeyFile& keyFile, const Glib::ustring& group, const char* shortName,
                       const char* longName)
{
    if (keyFile.has_key(group, shortName))
        return shortName;
    if (keyFile.has_key(group, longName))
        return longName;
    return nullptr;
}

} // namespace

void VirtualSignal::parseCommonOptions(Glib::KeyFile& keyFile, const Glib::ustring& group)
{
    if (const char* key = presentKey(keyFile, group, "fact", "factor")) {
        // Not finite, the factor or offset would make every output the same, or none.
        factor = numberSetting(keyFile, group, key);
        if (factor == 0.0)
            throw std::invalid_argument("Factor can not be zero");
    }
    if (const char* key = presentKey(keyFile, group, "offs", "offset"))
        offset = numberSetting(keyFile, group, key);
    parseLimitOptions(keyFile, group);
    if (keyFile.has_key(group, "fillEmpty"))
        fillEmpty = keyFile.get_boolean(group, "fillEmpty");
    if (keyFile.has_key(group, "valWhenEmpty")) {
        // Stored as it is in the gaps, where an infinity would become the signal's range.
        valWhenEmpty = numberSetting(keyFile, group, "valWhenEmpty");
        valWhenEmptyGiven = true;
    }
    if (keyFile.has_key(group, "pauseIfZero")) {
        pauseIfZero = keyFile.get_boolean(group, "pauseIfZero");
        // Filling stores points where nothing was output; pausing stores nothing for zeros.
        if (pauseIfZero && fillEmpty) {
            pauseIfZero = false;
            reportWarning("Ignoring pauseIfZero for %s, can't be combined with fillEmpty", fullName.c_str());
        }
    }
    if (keyFile.has_key(group, "absInput")) {
        absInput = keyFile.get_boolean(group, "absInput");
    } else if (keyFile.has_key(group, "abs")) {
        throw std::invalid_argument(
            "The 'abs' option has been removed, please replace it with 'absInput' or 'absOutput' depending on if "
            "the absolute value should be taken on the input to the signal, or on the output from the signal");
    }
    if (keyFile.has_key(group, "absOutput"))
        absOutput = keyFile.get_boolean(group, "absOutput");
    if (keyFile.has_key(group, "unit"))
        unit = keyFile.get_value(group, "unit");
    if (keyFile.has_key(group, "comment"))
        comment = keyFile.get_value(group, "comment").raw();
}

void VirtualSignal::parseLimitOptions(Glib::KeyFile& keyFile, const Glib::ustring& group)
{
    if (const char* key = presentKey(keyFile, group, "minLim", "minLimit")) {
        limitLow = numberSetting(keyFile, group, key, Infinities::Negative);
        hasLimits = true;
    }
    if (const char* key = presentKey(keyFile, group, "maxLim", "maxLimit")) {
        limitHigh = numberSetting(keyFile, group, key, Infinities::Positive);
        hasLimits = true;
    }
    if (keyFile.has_key(group, "hidden"))
        hidden = keyFile.get_boolean(group, "hidden");
}

} // namespace vistra
