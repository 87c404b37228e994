#pragma once
// The boundary between GTK and our code. An exception unwinding through GTK's C frames
// out of a signal handler, an idle or timeout callback or a dispatcher slot ends the
// program, so every such callback runs its body through guardHandler: what escapes is
// reported in the message log as "<what> failed: <text>" (core/report.h,
// reportCurrentException) and the fallback is returned.
#include "core/report.h"

#include <utility>

namespace vistra {

template <class R, class F>
R guardHandler(const char* what, R fallback, F&& body) noexcept
{
    try {
        return std::forward<F>(body)();
    } catch (...) {
        reportCurrentException(what);
    }
    return fallback;
}

template <class F>
void guardHandler(const char* what, F&& body) noexcept
{
    guardHandler(what, 0, [&] {
        std::forward<F>(body)();
        return 0;
    });
}

// Installs the reporting as glibmm's handler for exceptions from callbacks that are not
// guarded, reported as "Exception: <text>" or "Glib: <text>" (once per process; later
// calls do nothing).
void installCallbackExceptionHandler();

} // namespace vistra
