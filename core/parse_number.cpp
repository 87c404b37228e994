#include "core/parse_number.h"

#include <algorithm>
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

// Whether a text beyond the range of a double is too small rather than too large: the
// decimal exponent of its first significant digit is negative. The exponent's sign alone
// does not tell: "0.000…1" with hundreds of zeros has none.
bool belowRange(const std::string& text)
{
    const std::size_t e = std::min(text.find('e'), text.size());
    long long exponent = 0;
    if (e < text.size()) {
        const bool negative = text[e + 1] == '-';
        for (std::size_t k = e + (negative ? 2 : 1); k < text.size() && exponent < 1000000000; ++k)
            exponent = exponent * 10 + (text[k] - '0');
        if (negative)
            exponent = -exponent;
    }
    const std::size_t dot = std::min(text.find('.'), e);
    const std::size_t first = text.find_first_not_of("0.", 0);
    if (first == std::string::npos || first >= e)
        return true; // all zeros: never out of range, but zero is the nearer answer
    const long long lead = first < dot ? static_cast<long long>(dot - first) - 1
                                       : -static_cast<long long>(first - dot);
    return lead + exponent < 0;
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
    if (result.ec == std::errc::result_out_of_range)
        value = belowRange(text) ? 0.0 : HUGE_VAL; // from_chars leaves the value alone
    if (end)
        *end = p;
    return negative ? -value : value;
}

} // namespace vistra
