#include "views/painter_task.h"

#include "core/signal.h"
#include "core/store_host.h"

#include <gdkmm/rgba.h>

namespace vistra {

PainterTask::PainterTask(PainterThreadPoolUser* taskOwner, u32 taskGeneration, std::shared_ptr<Signal> taskSignal,
                         u64 taskStart, u64 taskEnd, i32 taskWidth, i32 taskHeight, i32 taskX, i32 taskY)
    : owner(taskOwner), generation(taskGeneration), signal(std::move(taskSignal)), start(taskStart), end(taskEnd),
      width(taskWidth), height(taskHeight), x(taskX), y(taskY)
{
    if (signal) {
        Gdk::RGBA colour;
        if (colour.set(signal->colour)) { // an unreadable colour text paints black
            red = colour.get_red();
            green = colour.get_green();
            blue = colour.get_blue();
        }
    }
    const StoreHost& host = storeHost();
    lineWidth = host.lineWidth.load();
    viewStart = host.viewStart.load();
    viewEnd = host.viewEnd.load();
}

PainterTask::~PainterTask()
{
    image.reset();
    signal.reset();
}

} // namespace vistra
