// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace korvex {

// The blanks that separate the values of a row and the names of a header line.
inline bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// Parses a decimal number at p (no leading blanks) as "%lf" reads it in the C locale,
// and returns the end, or p when there is no number. The number is read whole however
// long it is, and never follows the process locale: "." is the decimal point. Forms
// beyond the recording files' own (a '+' sign, exponents, inf, nan, hexadecimal "0x")
// are read as strtod reads them, overflow to infinity included. The result is the
// correctly rounded double, the same as strtod's.
inline const char* ParseDouble(const char* p, const char* end, double* out);

// The general case of ParseDouble (fast_float, strtod for hexadecimal).
const char* ParseDoubleGeneral(const char* p, const char* end, double* out);

inline const char* ParseDouble(const char* p, const char* end, double* out) {
    // The recording files' own numbers ("%f": a sign, digits, a point, six digits) take
    // Clinger's exact path inline: with at most 15 significant digits the digits form an
    // exact double, and one correctly rounded division by an exact power of ten gives
    // the correctly rounded value. Everything else goes to the general parser.
    static constexpr double kPow10[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const char* s = p;
    bool neg = s < end && *s == '-';
    s += neg;
    uint64_t m = 0;
    const char* d = s;
    while (d < end && static_cast<unsigned>(*d - '0') < 10) m = m * 10 + unsigned(*d++ - '0');
    long digits = d - s;
    long frac = 0;
    if (d < end && *d == '.' && digits > 0) {
        const char* f = ++d;
        while (d < end && static_cast<unsigned>(*d - '0') < 10) m = m * 10 + unsigned(*d++ - '0');
        frac = d - f;
        digits += frac;
    }
    if (digits == 0 || digits > 15 ||
        (d < end && (*d == 'e' || *d == 'E' || *d == 'x' || *d == 'X')))
        return ParseDoubleGeneral(p, end, out);
    double v = double(m) / kPow10[frac];
    *out = neg ? -v : v;
    return d;
}

}  // namespace korvex
