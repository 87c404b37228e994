#pragma once
// Runs the body of a GTK signal handler, timer or dispatcher slot so that no exception
// leaves it: an exception unwinding through GTK's C frames would end the process. What
// escapes is reported as "ERR" (PrintMsgError was reported already) and `fallback` is
// returned.
#include "core/report.h"

#include <glibmm/error.h>
#include <glibmm/exception.h>

#include <exception>
#include <utility>

namespace vistra {

template <class R, class F>
R guardHandler(const char* what, R fallback, F&& body) noexcept
{
    try {
        return std::forward<F>(body)();
    } catch (const PrintMsgError&) {
    } catch (const Glib::Exception& e) {
        reportError("%s failed: %s", what, e.what().c_str());
    } catch (const std::exception& e) {
        reportError("%s failed: %s", what, e.what());
    } catch (...) {
        reportError("%s failed", what);
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

} // namespace vistra
