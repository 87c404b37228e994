#pragma once
// A DBC message whose signals are decoded from frames: at once on the delivering thread,
// from a queue on a "RealMessage" thread, or on a "RealMessageLP" thread that walks the
// records of the log parsers of a native log load. Every real message owns a hidden
// "___rate___" signal with one sample per received frame.
#include "core/frame_record.h"
#include "core/message.h"
#include "core/types.h"

#include <glibmm/ustring.h>

#include <deque>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace vistra {

class ParsedLog;
class RealSignal;
class Signal;

class RealMessage : public Message {
public:
    RealMessage(u32 id, const Glib::ustring& name, std::shared_ptr<CanIface> iface);
    // Stops and joins a decode thread that still runs.
    ~RealMessage() override;

    static std::shared_ptr<RealMessage> create(u32 id, const char* name, std::shared_ptr<CanIface> iface);

    // A hidden, internal, unplotted zero-length signal "___rate___" of this message that
    // toggles on every frame (muxValue -1) or on frames of one multiplexor value. Throws
    // std::bad_weak_ptr when the message is not owned by a std::shared_ptr.
    std::shared_ptr<RealSignal> createRateSignal(int muxValue);

    // Starts the queue thread ("RealMessage") when something needs decoding.
    bool startThread() override;
    // Starts the thread ("RealMessageLP") that decodes this message's frames from the
    // records of `parsers`, in their order, when something needs decoding.
    bool startThreadLowPriority(const std::deque<std::shared_ptr<ParsedLog>>& parsers) override;
    // Lets the decode thread finish its queue or walk, joins it, then ends the load.
    void endOfLoad() override;
    void addFrame(const FrameRecord& frame) override;
    void clear() override;
    bool needsDecoding() override;
    virtual void decodeFrame(const FrameRecord& frame);
    // Decodes a run of frames as decodeFrame would one by one, but signal by signal, each
    // signal's samples locked once for the whole run.
    virtual void decodeFrames(std::span<const FrameRecord> frames);

    std::deque<FrameRecord> queue;
    std::shared_ptr<std::mutex> queueMutex;
    std::thread* thread = nullptr;
    bool running = false;
    std::deque<std::shared_ptr<ParsedLog>> parsers;
    std::shared_ptr<Signal> muxSignal;
    std::shared_ptr<Signal> rateSignal;

private:
    // One signal over the run, the message's currentMux set to each frame's value first.
    void decodeSignal(Signal& signal, std::span<const FrameRecord> frames);

    // Room in the samples of the signals to decode for the `frames` frames of a file,
    // after `framesBefore` frames in the files before it, with `laterFiles` files to come.
    void reserveSamples(std::size_t frames, std::size_t framesBefore, std::size_t laterFiles);

    // The multiplexor value of each frame of the run being decoded.
    std::vector<i32> frameMux;

    void run();
    void walkParsers();
    void stopThread();
    // "Decoding <interface>.<message>", for the reports of the decode threads.
    std::string decodeContext() const;
};

} // namespace vistra
