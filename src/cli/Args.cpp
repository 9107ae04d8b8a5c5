// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Args.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace korvex::cli {

bool ParseLong(const char* s, long lo, long hi, long* out, int base) {
    std::string digits = s;
    bool neg = !digits.empty() && digits[0] == '-';
    if (neg) digits.erase(0, 1);
    if (base == 0) {
        base = 10;
        if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
            base = 16;
            digits.erase(0, 2);
        }
    }
    if (digits.empty() || digits[0] == '-' || digits[0] == '+') return false;
    long v = 0;
    const char* end = digits.data() + digits.size();
    auto r = std::from_chars(digits.data(), end, v, base);
    if (r.ec != std::errc() || r.ptr != end) return false;
    if (neg) v = -v;
    if (v < lo || v > hi) return false;
    *out = v;
    return true;
}

bool ParseSeconds(const char* s, double lo, double hi, double* out) {
    const char* end = s + std::strlen(s);
    double v = 0;
    auto r = std::from_chars(s, end, v);
    if (s == end || r.ec != std::errc() || r.ptr != end || !std::isfinite(v)) return false;
    if (!(v > lo && v <= hi)) return false;
    *out = v;
    return true;
}

}  // namespace korvex::cli
