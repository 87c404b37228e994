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

namespace vistra {

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
            decodeFrame(frame);
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
    thread = new std::thread([this] { walkParsers(); });
    pthread_setname_np(thread->native_handle(), "RealMessageLP");
    return true;
}

void RealMessage::walkParsers()
{
    const u32 ifaceNumber = iface ? iface->number : 0;
    while (!parsers.empty()) {
        ParsedLog& parser = *parsers.front();
        if (!parser.waitTimesReady())
            break;
        // The parser never changes its records or their index once their times are ready.
        if (parser.indexed()) {
            for (const u32 pos : parser.positionsOf(ifaceNumber, id))
                decodeFrame(parser.records[pos]);
        } else {
            for (const FrameRecord& record : parser.records)
                if (record.iface == ifaceNumber && record.idWord == id)
                    decodeFrame(record);
        }
        parsers.pop_front();
    }
    // Let the parsers go now, so that later files may begin reading.
    parsers.clear();
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
