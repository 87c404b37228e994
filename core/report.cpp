#include "core/report.h"

#include "core/message_log.h"

#include <glibmm/exception.h>

#include <sys/time.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <ctime>

namespace vistra {
namespace {

const char* colourOf(Level level)
{
    switch (level) {
    case Level::Error: return "\033[31m";
    case Level::Warning: return "\033[33m";
    default: return "\033[34m";
    }
}

__attribute__((format(printf, 2, 0))) void vreport(Level level, const char* format, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    char text[1024];
    vsnprintf(text, sizeof text, format, copy);
    va_end(copy);
    std::fprintf(stderr, "%s%s %s\033[0m\n", colourOf(level), levelTag(level), text);
    MessageLog::instance().add(level, text);
}

} // namespace

void report(Level level, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vreport(level, format, args);
    va_end(args);
}

#define TARNWICK_REPORT(name, level)                                                       \
    void name(const char* format, ...)                                                     \
    {                                                                                      \
        va_list args;                                                                      \
        va_start(args, format);                                                            \
        vreport(level, format, args);                                                      \
        va_end(args);                                                                      \
    }
TARNWICK_REPORT(reportError, Level::Error)
TARNWICK_REPORT(reportWarning, Level::Warning)
TARNWICK_REPORT(reportInfo, Level::Info)
#undef TARNWICK_REPORT

void fail(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vreport(Level::Error, format, args);
    va_end(args);
    throw PrintMsgError();
}

void reportCurrentException(const char* context)
{
    try {
        throw;
    } catch (const PrintMsgError&) {
        // The text is in the message log already.
    } catch (const Glib::Exception& e) {
        if (context)
            reportError("%s failed: %s", context, e.what().c_str());
        else
            reportError("Glib: %s", e.what().c_str());
    } catch (const std::exception& e) {
        if (context)
            reportError("%s failed: %s", context, e.what());
        else
            reportError("Exception: %s", e.what());
    } catch (...) {
        if (context)
            reportError("%s failed", context);
        else
            reportError("Exception: unknown");
    }
}

void streamLog(Level level, const char* format, ...)
{
    timeval now{};
    gettimeofday(&now, nullptr);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d %H:%M:%S", &local);

    char text[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    std::fprintf(stderr, "%s%s.%06ld %s %s\033[0m\n", colourOf(level), stamp,
                 static_cast<long>(now.tv_usec), levelTag(level), text);
    if (level == Level::Error) {
        std::fflush(stderr);
        sync();
    }
}

} // namespace vistra
