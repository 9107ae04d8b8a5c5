#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace korvex {

// Parses a decimal number at p (no leading blanks) as "%lf" would and returns the end,
// or p when there is no number. The common form of recording files, [+-]digits[.digits]
// with at most 15 significant digits, is computed directly: the digits form an exact
// integer and one division by an exact power of ten rounds correctly, so the result is
// the same as strtod's. Everything else (exponents, long mantissas, inf, nan) goes to
// strtod itself.
inline const char* ParseDouble(const char* p, const char* end, double* out) {
    static constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                        1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    const char* s = p;
    bool neg = false;
    if (s < end && (*s == '-' || *s == '+')) {
        neg = *s == '-';
        ++s;
    }
    uint64_t m = 0;
    int nd = 0;
    while (s < end && unsigned(*s - '0') < 10) {
        m = m * 10 + unsigned(*s - '0');
        ++nd;
        ++s;
    }
    int frac = 0;
    if (s < end && *s == '.') {
        ++s;
        while (s < end && unsigned(*s - '0') < 10) {
            m = m * 10 + unsigned(*s - '0');
            ++nd;
            ++frac;
            ++s;
        }
    }
    bool simple = nd > 0 && nd <= 15 && !(s < end && (*s == 'e' || *s == 'E'));
    if (simple) {
        double v = double(m) / kPow10[frac];
        *out = neg ? -v : v;
        return s;
    }
    // Rare forms: strtod on a terminated copy gives exactly what "%lf" gives.
    char buf[128];
    size_t n = size_t(end - p) < sizeof buf - 1 ? size_t(end - p) : sizeof buf - 1;
    std::memcpy(buf, p, n);
    buf[n] = '\0';
    char* stop = nullptr;
    double v = std::strtod(buf, &stop);
    if (stop == buf) return p;
    *out = v;
    return p + (stop - buf);
}

}  // namespace korvex
