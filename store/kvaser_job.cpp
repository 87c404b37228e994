// The SocketCAN job: frames of a local CAN interface, decoded as they arrive, like the
// frames of a live stream.
#include "core/constants.h"
#include "core/report.h"
#include "store/can_socket.h"
#include "store/store.h"
#include "virtual/virtual_message.h"

namespace vistra {
namespace {

// Reads wait no longer than this, so that a stop request is seen on a quiet bus.
constexpr int kStopCheckMs = 500;
// The virtual signals are computed again after this much frame time.
constexpr u64 kComputeIntervalMs = 1001;

} // namespace

std::unique_ptr<CanFrameSource> Store::openCanFrameSource(int channel) { return openCanSocketSource(channel); }

void Store::readKvaser()
{
    // Held like the live job's: stopLiveStream() ends this job too and waits for it.
    std::lock_guard job(jobMutex);
    // Taken before the socket exists, so that no frame can be received before it: the
    // frames' timestamps count from it.
    const u64 start = wallClockMs();
    const std::unique_ptr<CanFrameSource> source = openCanFrameSource(static_cast<int>(canChannel));
    if (!source)
        fail("couldn't connect to kvaser dongle");

    liveDecode = true;
    timeOffset = 0;
    firstFileStart = kNoTime;
    lastFrameTime = 0;
    pendingBase = 0;
    framesOutOfOrder = 0;
    firstTime = start;
    lastTime = start + kLiveWindowMs;
    if (!viewLocked) {
        viewStart = start;
        viewEnd = start + kLiveWindowMs;
    }
    collectUsedIfaces();
    emitDataChanged();

    bool firstFrame = true;
    u64 computedAt = 0;
    FrameRecord frame;
    while (!liveStopRequested()) {
        const int status = source->read(&frame, kStopCheckMs);
        if (status == 0)
            continue;
        if (status < 0) {
            reportWarning("kvaser dongle read error");
            inputFailed = true;
            std::lock_guard lock(workerMutex);
            running = false;
            break;
        }
        const u64 received = frame.absTime;
        frame.timestamp = static_cast<u32>(received - start);
        frame.iface = 0;
        // The first frame sets the time base at its own receive time; every later one
        // then lands at its receive time too.
        if (firstFrame)
            pendingBase = received;
        firstFrame = false;
        dispatchFrame(frame);
        if (lastFrameTime > lastTime - kLiveWindowMs) {
            lastTime += kLiveWindowMs;
            if (!viewLocked)
                viewEnd = lastTime.load();
        }
        if (lastFrameTime - computedAt >= kComputeIntervalMs) {
            VirtualMessage::processAll();
            computedAt = lastFrameTime;
            emitDataChanged();
        }
    }

    reportFramesOutOfOrder(Glib::ustring::compose("CAN channel %1", canChannel));
    takeInputTimeRange();
    emitDataChanged();
}

} // namespace vistra
