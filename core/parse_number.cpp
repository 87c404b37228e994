#include "core/parse_number.h"

#include <charconv>
#include <cmath>
#include <string>

namespace vistra {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

const char* skipDigits(const char* p)
{
    while (isDigit(*p))
        ++p;
    return p;
}

} // namespace

double parseNumber(const char* s, const char** end)
{
    // Blanks as strtoll skips them.
    const char* p = s;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+')
        ++p;
    const char* intBegin = p;
    p = skipDigits(p);
    if (p == intBegin)
        return 0.0;

    // The number is copied into the one form from_chars reads ("123.45e-6"), so that the
    // result is correctly rounded: 1.5e3 is exactly 1500 and a fraction of hundreds of digits
    // stays finite.
    std::string text(intBegin, p);
    if (*p == '.' || *p == ',') {
        const char* fracBegin = ++p;
        p = skipDigits(p);
        text += '.';
        text.append(fracBegin, p);
        if (*p == 'e' || *p == 'E') {
            const char* q = p + 1;
            const bool expNegative = *q == '-';
            if (*q == '-' || *q == '+')
                ++q;
            const char* expBegin = q;
            q = skipDigits(q);
            if (q != expBegin) {
                text += expNegative ? "e-" : "e";
                text.append(expBegin, q);
                p = q;
            }
        }
    }

    double value = 0.0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        // from_chars leaves the value alone: decide between overflow and underflow by the
        // exponent's sign, as strtod would.
        const auto e = text.find('e');
        const bool tiny = e != std::string::npos && text[e + 1] == '-';
        value = tiny ? 0.0 : HUGE_VAL;
    }
    if (end)
        *end = p;
    return negative ? -value : value;
}

} // namespace vistra
