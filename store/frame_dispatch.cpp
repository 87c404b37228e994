// Store::dispatchFrame: the running time base of the inputs that deliver frames one at a
// time, and the hand-over of each frame to the ASC trace or to the model.
#include "core/bit_rate.h"
#include "core/can_iface.h"
#include "core/constants.h"
#include "core/frame_record.h"
#include "core/message.h"
#include "core/report.h"
#include "store/logger_clock.h"
#include "store/store.h"

#include <algorithm>
#include <exception>
#include <utility>

namespace vistra {

u64 Store::advanceTimeBase(u32 ts)
{
    u64 abs = 0;
    bool moved = false;
    if (pendingBase != 0) {
        const u64 candidate = pendingBase - ts;
        bool rebase = true;
        if (takeNextOffsetAsBase) {
            takeNextOffsetAsBase = false;
            timeOffset = candidate;
        } else if (timeOffset + ts >= lastFrameTime && static_cast<i64>(candidate - timeOffset) <= static_cast<i64>(kContinueMs)) {
            // The reader's clock agrees with the running base: keep it, so that frames of
            // one source stay on one continuous time line.
            abs = lastFrameTime = timeOffset + ts;
            rebase = false;
        } else {
            timeOffset = candidate;
        }
        if (rebase) {
            // Never step back behind a frame already delivered.
            if (pendingBase >= lastFrameTime) {
                abs = lastFrameTime = pendingBase;
            } else {
                abs = lastFrameTime;
                timeOffset = lastFrameTime - ts;
            }
            moved = true;
        }
    } else {
        ClockStep step;
        abs = lastFrameTime = placeTimestamp(ts, lastFrameTime, timeOffset, step);
        if (step == ClockStep::Wrapped) {
            reportWarning("can message timestamp has overflowed (%u)", ts);
            moved = true;
        } else if (step == ClockStep::Back) {
            framesOutOfOrder += 1;
        }
    }
    if (moved && timeOffsetCallback)
        timeOffsetCallback(abs, timeOffset);
    firstFileStart = std::min(firstFileStart, abs);
    pendingBase = 0;
    return abs;
}

void Store::reportFramesOutOfOrder(const Glib::ustring& source)
{
    vistra::reportFramesOutOfOrder(source.c_str(), std::exchange(framesOutOfOrder, 0));
}

void Store::dispatchFrame(const FrameRecord& frame)
{
    const u64 abs = advanceTimeBase(frame.timestamp);
    if (ascOutput || dumpPending) {
        writeAscFrame(frame, &lastFrameTime);
        return;
    }
    deliverFrame(frame, abs);
}

void Store::deliverFrame(const FrameRecord& frame, u64 abs)
{
    const bool errorFrame = (frame.idWord & kErrorFrameFlag) != 0;
    const bool decodeEverything = liveDecode;
    if (!errorFrame && frame.iface <= highestIface && frame.iface < bitRates.size()) {
        BitRate* rate = bitRates[frame.iface];
        if (rate && (decodeEverything || rate->needsLoad))
            rate->addFrame(abs, frame);
    }

    Message* msg = nullptr;
    if (!errorFrame) {
        if (CanIface* iface = usedIface(frame.iface))
            msg = iface->usedMessage(static_cast<int>(frame.idWord));
    } else if (CanIface* stats = usedIface(frame.iface + kStatIfaceOffset)) {
        msg = stats->getMessage(kStatErrorMessageId).get();
    }
    if (!msg || (!decodeEverything && msg->usedNotLoadedCount == 0))
        return;

    FrameRecord timed = frame;
    timed.absTime = abs;
    try {
        msg->addFrame(timed);
    } catch (const std::exception& e) {
        reportWarning("Error while parsing CAN frame %u: %s", frame.idWord, e.what());
    }
}

} // namespace vistra
