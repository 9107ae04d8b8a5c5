// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/NumberParse.h"

#include <locale.h>
#include <stdlib.h>

#include <fast_float/fast_float.h>

#include <string>

#include "app/StrPrintf.h"

namespace korvex {

namespace {

// strtod in the C locale on a terminated copy: only for what from_chars leaves open.
const char* StrtodC(const char* p, const char* end, double* out) {
    const char* stop_at = p;
    while (stop_at<end&& static_cast<unsigned char>(*stop_at)> ' ') ++stop_at;
    std::string copy(p, stop_at);
    char* stop = nullptr;
    double v;
    {
        CLocaleScope c;
        v = strtod(copy.c_str(), &stop);
    }
    if (stop == copy.c_str()) return p;
    *out = v;
    return p + (stop - copy.c_str());
}

}  // namespace

const char* ParseDoubleGeneral(const char* p, const char* end, double* out) {
    const char* s = p;
    bool neg = false;
    if (s < end && (*s == '-' || *s == '+')) {
        neg = *s == '-';
        ++s;
    }
    // fast_float (exact, round to nearest) takes no '+' and no "0x"; the sign is applied
    // here and a hexadecimal number goes to strtod, as strtod reads both.
    if (end - s >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) return StrtodC(p, end, out);
    if (s < end && *s == '-') return p;  // "+-1" and "--1" are no numbers
    double v = 0.0;
    auto r = fast_float::from_chars(s, end, v, fast_float::chars_format::general);
    if (r.ec == std::errc::result_out_of_range) return StrtodC(p, r.ptr, out);
    if (r.ec != std::errc()) return p;
    *out = neg ? -v : v;
    return r.ptr;
}

}  // namespace korvex
