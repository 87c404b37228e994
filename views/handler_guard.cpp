#include "views/handler_guard.h"

#include <glibmm/exceptionhandler.h>

namespace vistra {

void installCallbackExceptionHandler()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    Glib::add_exception_handler([] { reportCurrentException(); });
}

} // namespace vistra
