// SPDX-License-Identifier: GPL-3.0-or-later
// The number reader against strtod in the C locale, and the row formatting against
// printf's "%.6f": the recordings' numbers must read and write exactly as the C library
// does, whatever the bytes.
#include <locale.h>
#include <stdlib.h>

#include "FuzzSupport.h"
#include "files/NumberParse.h"

FUZZ_TARGET {
    static const locale_t c_locale = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    std::string text(reinterpret_cast<const char*>(data), size);
    text.resize(std::strlen(text.c_str()));  // strtod reads up to the first NUL
    if (!text.empty() && !std::isspace(static_cast<unsigned char>(text[0]))) {
        const char* begin = text.c_str();
        double ours = -7.25;
        const char* end = ParseDouble(begin, begin + text.size(), &ours);
        char* stop = nullptr;
        double theirs = strtod_l(begin, &stop, c_locale);
        FUZZ_CHECK(end == stop, "'%s': read %td bytes, strtod %td", begin, end - begin,
                   stop - begin);
        if (end != begin)
            FUZZ_CHECK(std::memcmp(&ours, &theirs, sizeof ours) == 0 ||
                           (std::isnan(ours) && std::isnan(theirs)),
                       "'%s': %.17g, strtod %.17g", begin, ours, theirs);
        else
            FUZZ_CHECK(ours == -7.25, "'%s': a value stored for no number", begin);
    }

    // Any doubles, the input's bytes taken as their bit patterns.
    double values[4];
    size_t n = 0;
    for (; n < 4 && in.remaining_bytes() >= sizeof(double); ++n)
        std::memcpy(&values[n], in.ConsumeBytes<uint8_t>(sizeof(double)).data(), sizeof(double));
    CheckLiveRow(values, n);
}
