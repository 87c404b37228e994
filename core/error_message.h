#pragma once
// The "Error" message of a statistics interface: turns the CAN error frames of its bus
// (class bits and detail bytes as in SocketCAN's linux/can/error.h) into counter and
// description signals. The logger's own interface gets a variant that counts the frames
// the logger dropped while overloaded.
#include "core/message.h"

#include <glibmm/ustring.h>

#include <memory>

namespace vistra {

class CanIface;
class ErrorSignal;

class ErrorMessage : public Message {
public:
    // loggerVariant: the message of the logger's interface 255 (overload reports only).
    static std::shared_ptr<ErrorMessage> create(const Glib::ustring& name, std::shared_ptr<CanIface> iface,
                                                bool loggerVariant);
    ErrorMessage(const Glib::ustring& name, std::shared_ptr<CanIface> iface);
    ~ErrorMessage() override;

    // Starts no thread; true when a signal waits to be loaded, and then the log parsers
    // are told to keep error frames.
    bool startThread() override;
    void addFrame(const FrameRecord& frame) override;
    void clear() override;
    bool needsDecoding() override;
    // Records one event on `counter` when it, or its description, waits to be loaded, or
    // when live data decode everything. An absent counter records nothing.
    virtual void feedSignal(std::shared_ptr<ErrorSignal> counter, u64 timeMs, int value, int count);

    std::shared_ptr<ErrorSignal> ctrlErr;
    std::shared_ptr<ErrorSignal> protErr;
    std::shared_ptr<ErrorSignal> trxErr;
    std::shared_ptr<ErrorSignal> lostArb;
    std::shared_ptr<ErrorSignal> ackErr;
    std::shared_ptr<ErrorSignal> busOff;
    std::shared_ptr<ErrorSignal> busErr;
    std::shared_ptr<ErrorSignal> ctrlRestart;
    std::shared_ptr<ErrorSignal> msgDrop;

private:
    void decodeLoggerError(const FrameRecord& frame);
    std::shared_ptr<ErrorSignal> addErrorSignal(const Glib::ustring& name, const char* comment);
    // Each makes one description and its counter, in that order.
    void addLostArbSignals();
    void addCtrlErrSignals();
    void addProtErrSignals();
    void addTrxErrSignals();
};

} // namespace vistra
