#pragma once
// When the main window's menus show which items: kept apart from the widgets so that the
// rules can be checked on their own.
namespace vistra {

class Message;
class Signal;

// The "_GPS" menu needs a track, and data that can hold positions: a VSD file asking for
// the legacy GPS coding, a live source, or log files written on several CAN interfaces.
bool gpsMenuVisible(bool hasTrack, bool legacyGps, bool live, bool multiCanHeader);

// False when an interface of the store numbered from the virtual interface up (virtual
// and statistics interfaces) is the message's interface; true otherwise, also for an
// interface the store does not hold.
bool isRealInterfaceMessage(const Message& msg);
// The message has an interface, and it is a real one: only then does it have a rate.
bool canShowMessageRate(const Message& msg);
// The signal belongs to a message of the virtual interface: the editor can change it.
bool isVirtualSignal(const Signal& signal);

} // namespace vistra
