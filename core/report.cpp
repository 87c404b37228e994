#include "core/report.h"

#include "core/message_log.h"

#include <glib.h>
#include <glibmm/exception.h>

#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cerrno>
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

constexpr std::size_t kLogTextBytes = 1023;

__attribute__((format(printf, 2, 0))) void vreport(Level level, const char* format, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    char raw[kLogTextBytes + 1];
    vsnprintf(raw, sizeof raw, format, copy);
    va_end(copy);
    const std::string text = printableText(raw, "\n\t", kLogTextBytes);
    std::fprintf(stderr, "%s%s %s\033[0m\n", colourOf(level), levelTag(level), text.c_str());
    MessageLog::instance().add(level, text.c_str());
}

} // namespace

std::string printableText(std::string_view text, std::string_view keep, std::size_t maxBytes)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(std::min(text.size(), maxBytes));
    // Appends one piece (a character or an escaped byte run); false when it does not fit.
    auto append = [&](const char* from, const char* to, bool escaped) {
        const std::size_t size = escaped ? 4 * std::size_t(to - from) : std::size_t(to - from);
        if (out.size() + size > maxBytes)
            return false;
        if (!escaped) {
            out.append(from, to);
            return true;
        }
        for (; from < to; ++from) {
            const auto byte = static_cast<unsigned char>(*from);
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        }
        return true;
    };
    const char* p = text.data();
    const char* const end = p + text.size();
    while (p < end) {
        const char* validEnd = end;
        g_utf8_validate(p, end - p, &validEnd);
        while (p < validEnd) {
            const char* next = g_utf8_next_char(p);
            const gunichar c = g_utf8_get_char(p);
            const bool control = c < 0x20 || (c >= 0x7F && c <= 0x9F);
            if (!append(p, next, control && keep.find(static_cast<char>(c)) == std::string_view::npos))
                return out;
            p = next;
        }
        // A byte that is not UTF-8 (or a zero byte).
        if (p < end && !append(p, p + 1, true))
            return out;
        if (p < end)
            ++p;
    }
    return out;
}

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
    // For "%m": the calls below may change errno before the text is formatted.
    const int error = errno;
    timeval now{};
    gettimeofday(&now, nullptr);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d %H:%M:%S", &local);

    char text[1024];
    va_list args;
    va_start(args, format);
    errno = error;
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
