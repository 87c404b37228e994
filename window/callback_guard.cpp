#include "window/callback_guard.h"

#include "core/report.h"

#include <glibmm/exceptionhandler.h>
#include <glibmm/exception.h>

#include <exception>

namespace vistra {

void reportCurrentException()
{
    try {
        throw;
    } catch (const PrintMsgError&) {
        // The text is in the message log already.
    } catch (const Glib::Exception& e) {
        reportError("Glib: %s", e.what().c_str());
    } catch (const std::exception& e) {
        reportError("Exception: %s", e.what());
    } catch (...) {
        reportError("Exception: unknown");
    }
}

void installCallbackExceptionHandler()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    Glib::add_exception_handler(sigc::ptr_fun(&reportCurrentException));
}

} // namespace vistra
