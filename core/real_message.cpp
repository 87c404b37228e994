#include "core/real_message.h"

#include "core/can_iface.h"
#include "core/parsed_log.h"
#include "core/real_signal.h"
#include "core/report.h"
#include "core/signal.h"
#include "core/store_host.h"

#include <pthread.h>

#include <cerrno>
#include <ctime>
#include <typeinfo>

namespace vistra {
namespace {

// Frames per run of a decode thread: long enough that locking costs little, short enough
// that a reader waits only a moment for a signal's samples.
constexpr std::size_t kFramesPerRun = 4096;

// How many files a decode thread may walk ahead of the slowest one. A file's records are
// freed only once every decode thread is past it, and with a thread per message some
// threads fall files behind the others on a busy machine: the records of every file in
// between would stay.
constexpr std::size_t kWalkAhead = 2;

} // namespace

RealMessage::RealMessage(u32 messageId, const Glib::ustring& messageName, std::shared_ptr<CanIface> parentIface)
    : Message(messageId, messageName, std::move(parentIface)), queueMutex(std::make_shared<std::mutex>())
{
}

RealMessage::~RealMessage()
{
    // Only the thread: the signals' finish belongs to a load that ended normally.
    stopThread();
}

std::shared_ptr<RealMessage> RealMessage::create(u32 messageId, const char* messageName,
                                                 std::shared_ptr<CanIface> parentIface)
{
    auto message = std::make_shared<RealMessage>(messageId, messageName, std::move(parentIface));
    message->rateSignal = message->createRateSignal(RealSignal::kNotMultiplexed);
    return message;
}

std::shared_ptr<RealSignal> RealMessage::createRateSignal(int muxValue)
{
    auto self = std::static_pointer_cast<RealMessage>(shared_from_this());
    auto signal = RealSignal::create(self, "___rate___", 999, 0, 0, '+', "", 1.0, 0.0, 0.0, 0.0);
    signal->hidden = true;
    signal->noPlot = true;
    signal->internal = true;
    signal->muxValue = muxValue;
    addSignal("___rate___", signal);
    return signal;
}

void RealMessage::decodeFrame(const FrameRecord& frame)
{
    if (muxSignal)
        muxSignal->onFrame(frame);
    const bool decodeEverything = storeHost().liveDecode.load(std::memory_order_relaxed);
    for (const auto& signal : decodeOrder) {
        if (decodeEverything || signal->needsLoad)
            signal->onFrame(frame);
        else if (signal->useCount == 0)
            break; // sorted by use: nothing after this one is used
    }
}

void RealMessage::decodeFrames(std::span<const FrameRecord> frames)
{
    // The switch first, over the whole run: each signal then sees every frame's
    // multiplexor value as it would frame by frame.
    frameMux.clear();
    if (muxSignal)
        for (const FrameRecord& frame : frames) {
            muxSignal->onFrame(frame);
            frameMux.push_back(currentMux);
        }
    const bool decodeEverything = storeHost().liveDecode.load(std::memory_order_relaxed);
    for (const auto& signal : decodeOrder) {
        if (decodeEverything || signal->needsLoad)
            decodeSignal(*signal, frames);
        else if (signal->useCount == 0)
            break; // sorted by use: nothing after this one is used
    }
}

void RealMessage::decodeSignal(Signal& signal, std::span<const FrameRecord> frames)
{
    const bool muxed = !frameMux.empty();
    // Only a plain RealSignal is known to store through addValue alone.
    if (typeid(signal) != typeid(RealSignal)) {
        for (std::size_t i = 0; i < frames.size(); ++i) {
            if (muxed)
                currentMux = frameMux[i];
            signal.onFrame(frames[i]);
        }
        return;
    }
    RealSignal& real = static_cast<RealSignal&>(signal);
    std::lock_guard lock(*real.samplesMutex);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        if (muxed)
            currentMux = frameMux[i];
        double v;
        if (real.decodeValue(frames[i], v))
            real.addValueLocked(frames[i].absTime, v);
    }
}

void RealMessage::reserveSamples(std::size_t frames, std::size_t framesBefore, std::size_t laterFiles)
{
    const bool decodeEverything = storeHost().liveDecode.load(std::memory_order_relaxed);
    for (const auto& signal : decodeOrder) {
        if (decodeEverything || signal->needsLoad)
            signal->reserveForFrames(frames, framesBefore, laterFiles);
        else if (signal->useCount == 0)
            break;
    }
}

bool RealMessage::needsDecoding() { return usedNotLoadedCount != 0; }

bool RealMessage::startThread()
{
    if (!needsDecoding())
        return false;
    if (thread)
        fail("thread already created");
    {
        std::lock_guard<std::mutex> lock(*queueMutex);
        running = true;
    }
    thread = new std::thread([this] { run(); });
    pthread_setname_np(thread->native_handle(), "RealMessage");
    return true;
}

void RealMessage::run()
{
    std::unique_lock<std::mutex> lock(*queueMutex);
    // A load may end before this thread first runs: the queue is drained even then,
    // so no frame queued before the end is lost.
    bool sleep = running;
    for (;;) {
        if (sleep) {
            lock.unlock();
            timespec wait{0, 10000000};
            while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
            }
            lock.lock();
        }
        sleep = true;
        while (!queue.empty()) {
            const FrameRecord frame = queue.front();
            queue.pop_front();
            lock.unlock();
            // A frame that fails to decode (memory running out, say) is reported and
            // dropped; the thread goes on with the next one.
            try {
                decodeFrame(frame);
            } catch (...) {
                reportCurrentException(decodeContext().c_str());
            }
            lock.lock();
        }
        if (!running)
            return;
    }
}

bool RealMessage::startThreadLowPriority(const std::deque<std::shared_ptr<ParsedLog>>& logParsers)
{
    if (!needsDecoding())
        return false;
    if (thread)
        fail("thread already created");
    parsers = logParsers;
    for (const auto& parser : parsers)
        parser->addWalker();
    try {
        thread = new std::thread([this] { walkParsers(); });
    } catch (...) {
        for (const auto& parser : parsers)
            parser->walked();
        parsers.clear();
        throw;
    }
    pthread_setname_np(thread->native_handle(), "RealMessageLP");
    return true;
}

void RealMessage::walkParsers()
{
    const u32 ifaceNumber = iface ? iface->number : 0;
    // Frames are decoded in runs: a signal's lock is taken once per run, and released
    // between runs so that readers are not held up for a whole file.
    std::vector<FrameRecord> run;
    run.reserve(kFramesPerRun);
    auto flush = [&] {
        if (!run.empty())
            decodeFrames(run);
        run.clear();
    };
    auto take = [&](const FrameRecord& record) {
        run.push_back(record);
        if (run.size() == kFramesPerRun)
            flush();
    };
    // The files walked that other threads may still be walking.
    std::deque<std::shared_ptr<const ParsedLog::Walkers>> behind;
    // The frames of this message in the files walked so far.
    std::size_t framesBefore = 0;
    // A failure (memory running out as samples grow, say) ends the walk: it is reported,
    // and what was decoded before it stays.
    try {
        while (!parsers.empty()) {
            if (behind.size() == kWalkAhead) {
                ParsedLog::waitWalked(*behind.front());
                behind.pop_front();
            }
            ParsedLog& parser = *parsers.front();
            if (!parser.waitTimesReady())
                break;
            // The parser never changes its records or their index once their times are ready.
            if (parser.indexed()) {
                const auto positions = parser.positionsOf(ifaceNumber, id);
                reserveSamples(positions.size(), framesBefore, parsers.size() - 1);
                framesBefore += positions.size();
                for (const u32 pos : positions)
                    take(parser.records[pos]);
            } else {
                for (const FrameRecord& record : parser.records)
                    if (record.iface == ifaceNumber && record.idWord == id)
                        take(record);
            }
            flush();
            const std::shared_ptr<ParsedLog> done = std::move(parsers.front());
            parsers.pop_front();
            done->walked();
            behind.push_back(done->walkers);
        }
    } catch (...) {
        reportCurrentException(decodeContext().c_str());
    }
    // Let the parsers go now, so that later files may begin reading; the other threads
    // must not wait for this one on the files it will not walk.
    for (const auto& parser : parsers)
        parser->walked();
    parsers.clear();
}

std::string RealMessage::decodeContext() const
{
    return "Decoding " + (iface ? iface->name.raw() + "." : std::string()) + name.raw();
}

void RealMessage::stopThread()
{
    std::unique_lock<std::mutex> lock(*queueMutex);
    running = false;
    if (thread) {
        if (thread->joinable()) {
            lock.unlock();
            thread->join();
            lock.lock();
        }
        delete thread;
        thread = nullptr;
    }
    parsers.clear();
}

void RealMessage::endOfLoad()
{
    stopThread();
    Message::endOfLoad();
}

void RealMessage::addFrame(const FrameRecord& frame)
{
    std::unique_lock<std::mutex> lock(*queueMutex);
    if (!thread) {
        lock.unlock();
        decodeFrame(frame);
        return;
    }
    queue.push_back(frame);
}

void RealMessage::clear()
{
    stopThread();
    muxSignal.reset();
    rateSignal.reset();
    Message::clear();
}

} // namespace vistra
