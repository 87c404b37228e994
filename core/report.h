#pragma once
// Reporting of diagnostics: every report goes to standard error in colour and, as plain
// text of at most 1023 characters, into the MessageLog. Control characters in the text
// (other than line breaks and tabs) are shown escaped, in both. Formats are always literals:
// a text from a file or the user goes in as an argument ("%s"), never as the format.
#include "core/level.h"

#include <cstddef>
#include <exception>
#include <string>
#include <string_view>

namespace vistra {

// Thrown after an "ERR" report that ends the operation; the text is reported already. A
// std::exception, so that a generic handler cannot let it pass; handlers that must not
// report it twice catch it before std::exception.
class PrintMsgError : public std::exception {
public:
    const char* what() const noexcept override { return "see the error above"; }
};

// A failed lookup of an interface, message or signal by name.
class SignalNotFoundException : public std::exception {
public:
    explicit SignalNotFoundException(std::string text) : message(std::move(text)) {}
    // Generic handlers print what(): give them the text, not "std::exception".
    const char* what() const noexcept override { return message.c_str(); }
    std::string message;
};

// `text` as it may safely go to a terminal or a dialog: control characters (C0, DEL and
// C1) and bytes that are not UTF-8 become "\xNN", so that a name or a path from a file
// cannot drive the user's terminal. The control characters in `keep` stay as they are.
// The result is at most `maxBytes` long and never ends inside an escape or a character.
std::string printableText(std::string_view text, std::string_view keep = {},
                          std::size_t maxBytes = std::string::npos);

void report(Level level, const char* format, ...) __attribute__((format(printf, 2, 3)));
#define TARNWICK_PRINTF(f, a) __attribute__((format(printf, f, a)))
void reportError(const char* format, ...) TARNWICK_PRINTF(1, 2);
void reportWarning(const char* format, ...) TARNWICK_PRINTF(1, 2);
void reportInfo(const char* format, ...) TARNWICK_PRINTF(1, 2);
// Reports an "ERR" and throws PrintMsgError.
[[noreturn]] void fail(const char* format, ...) TARNWICK_PRINTF(1, 2);

// Reports the exception being handled (call only inside a catch block): PrintMsgError is
// reported already; a Glib::Exception as "Glib: %s", anything else as "Exception: %s", or
// as "<context> failed: %s" when a context is given. Used wherever an exception must stop:
// the worker's job boundary and every GTK callback.
void reportCurrentException(const char* context = nullptr);

// The stream and socket layer prints its own time-stamped lines to standard error only
// ("20261210 12:00:00.123456 ERR text"); they never reach the MessageLog. After an ERR
// line standard error is flushed and the file systems synced.
void streamLog(Level level, const char* format, ...) TARNWICK_PRINTF(2, 3);
#undef TARNWICK_PRINTF

} // namespace vistra
