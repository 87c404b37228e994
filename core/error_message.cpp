#include "core/error_message.h"

#include "core/byte_layout.h"
#include "core/constants.h"
#include "core/error_signal.h"
#include "core/store_host.h"

#include <cstring>

namespace vistra {
namespace {

// Error class bits of the identifier word (linux/can/error.h).
constexpr u32 kClassTxTimeout = 0x001;
constexpr u32 kClassLostArb = 0x002;
constexpr u32 kClassCtrl = 0x004;
constexpr u32 kClassProt = 0x008;
constexpr u32 kClassTrx = 0x010;
constexpr u32 kClassAck = 0x020;
constexpr u32 kClassBusOff = 0x040;
constexpr u32 kClassBusErr = 0x080;
constexpr u32 kClassRestarted = 0x100;

// The logger reports on its own interface, as error frames with these identifier words,
// how many frames it dropped while overloaded.
constexpr u32 kFirstOverloadReport = kErrorFrameFlag | 0x100;
constexpr u32 kLastOverloadReport = kErrorFrameFlag | 0x102;

// A count of -1 makes the counter add one event.
constexpr int kOneMoreEvent = -1;

} // namespace

std::shared_ptr<ErrorMessage> ErrorMessage::create(const Glib::ustring& name, std::shared_ptr<CanIface> iface,
                                                   bool loggerVariant)
{
    auto msg = std::make_shared<ErrorMessage>(name, std::move(iface));
    if (loggerVariant) {
        msg->comment = "Errors reported by the logger";
        msg->msgDrop = msg->addErrorSignal("CountMsgDrop", "Count of dropped messages due to logger being overloaded");
        return msg;
    }
    msg->comment = "Bus errors reported by the CAN controller";
    msg->addLostArbSignals();
    msg->addCtrlErrSignals();
    msg->addProtErrSignals();
    msg->addTrxErrSignals();
    msg->ackErr = msg->addErrorSignal("CountAckErr", "Count of errors caused by no ACK being received on transmission");
    msg->busOff = msg->addErrorSignal("CountBusOff", "How many times the CAN controller has entered the 'bus off' state");
    msg->busErr = msg->addErrorSignal("CountBusErr", "Count of errors on the bus");
    msg->ctrlRestart = msg->addErrorSignal("CountCtrlRestart", "How many times the CAN controller has restarted");
    return msg;
}

ErrorMessage::ErrorMessage(const Glib::ustring& messageName, std::shared_ptr<CanIface> parentIface)
    : Message(1, messageName, std::move(parentIface))
{
}

ErrorMessage::~ErrorMessage() = default;

std::shared_ptr<ErrorSignal> ErrorMessage::addErrorSignal(const Glib::ustring& signalName, const char* text)
{
    auto signal = ErrorSignal::create(shared_from_this(), signalName);
    signal->comment = text;
    addSignal(signalName, signal);
    return signal;
}

void ErrorMessage::addLostArbSignals()
{
    auto description = addErrorSignal("LostArbPos", "Which bit arbitration was lost at");
    description->valueTable = {{0, "Unspec"}};
    lostArb = addErrorSignal("CountLostArb", "Count of how many times arbitration was lost");
    lostArb->setCompanion(description);
}

void ErrorMessage::addCtrlErrSignals()
{
    auto description = addErrorSignal("DescriptionCtrlErr", "Description of what caused last controller error");
    description->valueTable = {{0, "Unspec"},   {1, "RXOvf"},      {2, "TXOvf"},      {4, "RXWarn"},
                               {8, "TXWarn"},   {16, "RXPassive"}, {32, "TXPassive"}, {64, "ErrActive"}};
    ctrlErr = addErrorSignal("CountCtrlErr", "Count of errors caused by controller problems");
    ctrlErr->setCompanion(description);
}

void ErrorMessage::addProtErrSignals()
{
    auto description = addErrorSignal("DescriptionProtErr", "Description of what caused last protocol error");
    description->valueTable = {{0, "Unspec"},    {1, "BitErr"},    {2, "FrameFormat"}, {4, "BitStuffErr"},
                               {8, "BitDomErr"}, {16, "BitRecErr"}, {32, "Overload"},   {64, "ActiveErr"},
                               {128, "TXErr"}};
    protErr = addErrorSignal("CountProtErr", "Count of errors caused by CAN protocol violations");
    protErr->setCompanion(description);
}

void ErrorMessage::addTrxErrSignals()
{
    auto description = addErrorSignal("DescriptionTrxErr", "Description of what caused last transceiver error");
    description->valueTable = {{0, "Unspec"},          {4, "No CANH wire"},    {5, "CANH short bat"},
                               {6, "CANH short VCC"},  {7, "CANH short GND"},  {64, "No CANL wire"},
                               {80, "CANL short bat"}, {96, "CANL short VCC"}, {112, "CANL short GND"},
                               {128, "CANL short CANH"}};
    description->nibbleCoded = true;
    trxErr = addErrorSignal("CountTrxErr", "Count of status errors from CAN transceiver");
    trxErr->setCompanion(description);
}

bool ErrorMessage::startThread()
{
    const bool needed = needsDecoding();
    if (needed)
        storeHost().keepErrorFrames = true;
    return needed;
}

void ErrorMessage::addFrame(const FrameRecord& frame)
{
    if (frame.iface == kLoggerIface) {
        decodeLoggerError(frame);
        return;
    }
    const u32 cls = frame.idWord;
    if (cls & kClassTxTimeout)
        return;
    const u64 t = frame.absTime;
    const u8 length = frame.dataLength();
    // A detail byte beyond the frame's length reads as 0.
    auto byteAt = [&](u8 index) { return index < length ? int(frame.data[index]) : 0; };
    if (cls & kClassLostArb)
        feedSignal(lostArb, t, byteAt(0), kOneMoreEvent);
    if (cls & kClassCtrl)
        feedSignal(ctrlErr, t, byteAt(1), kOneMoreEvent);
    if (cls & kClassProt)
        feedSignal(protErr, t, byteAt(2), kOneMoreEvent);
    if (cls & kClassTrx)
        feedSignal(trxErr, t, byteAt(4), kOneMoreEvent);
    if (cls & kClassAck)
        feedSignal(ackErr, t, 0, kOneMoreEvent);
    if (cls & kClassBusOff)
        feedSignal(busOff, t, 0, kOneMoreEvent);
    if (cls & kClassBusErr)
        feedSignal(busErr, t, 0, kOneMoreEvent);
    if (cls & kClassRestarted)
        feedSignal(ctrlRestart, t, 0, kOneMoreEvent);
}

void ErrorMessage::decodeLoggerError(const FrameRecord& frame)
{
    if (frame.length != 8 || frame.idWord < kFirstOverloadReport || frame.idWord > kLastOverloadReport)
        return;
    // Little-endian count in bytes 4-7; a negative one counts as one more event.
    const u32 raw = loadLe32(frame.data + 4);
    i32 dropped;
    std::memcpy(&dropped, &raw, sizeof dropped);
    feedSignal(msgDrop, frame.absTime, 0, dropped);
}

void ErrorMessage::feedSignal(std::shared_ptr<ErrorSignal> counter, u64 timeMs, int value, int count)
{
    if (!counter)
        return;
    const bool wanted = counter->needsLoad || (counter->companion && counter->companion->needsLoad) ||
                        storeHost().liveDecode.load(std::memory_order_relaxed);
    if (wanted)
        counter->addEvent(timeMs, value, count);
}

void ErrorMessage::clear()
{
    ctrlErr.reset();
    protErr.reset();
    trxErr.reset();
    lostArb.reset();
    ackErr.reset();
    busOff.reset();
    busErr.reset();
    ctrlRestart.reset();
    msgDrop.reset();
    Message::clear();
}

bool ErrorMessage::needsDecoding() { return usedNotLoadedCount != 0; }

} // namespace vistra
