#pragma once
// Turns one signal group of a VSD file into a virtual signal: the group's "method" picks
// the computation class, whose creator reads the group; the common averaging option
// (avg/avgWindow) wraps the result; then the signal joins its virtual message.
#include <glibmm/keyfile.h>
#include <glibmm/ustring.h>

#include <memory>

namespace vistra {

class VirtualMessage;

// The text appended to the name of a signal that an averaging window wraps: the visible
// average keeps the name that the group gives.
inline constexpr const char* kAveragedSourceSuffix = "_randNameA83D5Y765sa43/8TUfs";

// Builds the signal of `group` (signalName is its part after the last '.') and adds it to
// message; vsdPath is the file that holds the group. Throws Glib::KeyFileError for a
// missing "method" or a key of the wrong type, std::invalid_argument for an unknown method
// or a bad value, SignalNotFoundException for an input that does not exist (yet). When it
// throws, nothing has been added to the message.
void createVirtualSignal(std::shared_ptr<VirtualMessage> message, const Glib::ustring& group,
                         const Glib::ustring& signalName, Glib::KeyFile& file, const Glib::ustring& vsdPath);

} // namespace vistra
