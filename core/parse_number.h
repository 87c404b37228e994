#pragma once
// The number reader of the ASC and CSV inputs and of lookup-table files: independent of the
// locale, "." or "," as the decimal separator.

namespace vistra {

// Reads a number at the start of `s` (leading blanks and a sign allowed): an integer part,
// then optionally "." or "," and fraction digits, and only after a separator an exponent
// ("e" or "E", optional sign, digits). Without a separator the text is an integer only:
// "1e5" reads as 1 with `*end` at the "e". An "e" without digits after it ends the number
// before the "e". With no digits at the start the result is 0.0 and `*end` is left as it is;
// otherwise `*end` (when `end` is not null) points after the last character used. The value
// is the correctly rounded reading of the text; beyond the range of a double it is ±HUGE_VAL
// (or 0 for a tiny one).
double parseNumber(const char* s, const char** end);

} // namespace vistra
