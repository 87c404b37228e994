#pragma once
// One image of one signal to be painted off the GUI thread, and the interface of the
// widgets that receive the finished images.
#include "core/types.h"

#include <gdkmm/pixbuf.h>

#include <memory>

namespace vistra {

class Signal;
struct PainterTask;

class PainterThreadPoolUser {
public:
    virtual ~PainterThreadPoolUser() = default;
    // Called on a painter thread, concurrently for different tasks, after a paint that
    // was not aborted; `task->image` is empty when there was nothing to draw or the paint
    // failed. Lock your own data and emit a Glib::Dispatcher: widgets, sigc connections
    // and Glib timers belong to the GUI thread.
    virtual void onTaskFinished(std::shared_ptr<PainterTask> task) = 0;
};

// Made on the GUI thread. Everything the painter needs besides the samples is copied in
// by the constructor, so a painter thread never reads a value the GUI thread may write.
struct PainterTask {
    PainterTask(PainterThreadPoolUser* owner, u32 generation, std::shared_ptr<Signal> signal, u64 start,
                u64 end, i32 width, i32 height, i32 x = 0, i32 y = 0);
    virtual ~PainterTask();

    PainterTask(const PainterTask&) = delete;
    PainterTask& operator=(const PainterTask&) = delete;

    PainterThreadPoolUser* owner; // not owned
    u32 generation;               // the owner's counter when the task was made
    std::shared_ptr<Signal> signal;
    u64 start; // time at x = 0
    u64 end;   // time at x = width
    i32 width;
    i32 height;
    i32 x; // where the owner places the image
    i32 y;
    Glib::RefPtr<Gdk::Pixbuf> image; // set by a successful paint

    // Copied when the task is made: the signal's colour, the line width and the Store's
    // view window.
    double red = 0.0;
    double green = 0.0;
    double blue = 0.0;
    double lineWidth = 2.0;
    u64 viewStart = kNoTime;
    u64 viewEnd = 0;
};

} // namespace vistra
