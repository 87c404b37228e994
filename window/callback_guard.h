#pragma once
// The boundary between GTK and our code. An exception that leaves a signal handler, an
// idle or timeout callback or a dispatcher slot ends in glibmm's handler, which aborts the
// program for anything but a Glib::Exception. Every callback of the window therefore runs
// through guarded(), which reports the exception in the message log and returns.
#include <utility>

namespace vistra {

// Reports the exception that is being handled: PrintMsgError is reported already, other
// exceptions as "ERR" with their text. Call only from inside a catch block.
void reportCurrentException();

// Installs reportCurrentException as glibmm's handler for exceptions from callbacks that
// are not guarded (once per process; later calls do nothing).
void installCallbackExceptionHandler();

// Runs f(); an exception is reported and `fallback` returned instead.
template <typename F, typename R = decltype(std::declval<F>()())>
R guarded(F&& f, R fallback = R())
{
    try {
        return std::forward<F>(f)();
    } catch (...) {
        reportCurrentException();
        return fallback;
    }
}

template <typename F>
void guardedVoid(F&& f)
{
    try {
        std::forward<F>(f)();
    } catch (...) {
        reportCurrentException();
    }
}

} // namespace vistra
