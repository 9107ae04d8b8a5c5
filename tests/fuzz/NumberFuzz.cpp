// SPDX-License-Identifier: GPL-3.0-or-later
// The number reader against strtod in the C locale, and the row formatting against
// printf's "%.6f": the recordings' numbers must read and write exactly as the C library
// does, whatever the bytes.
#include <locale.h>
#include <stdlib.h>

#include <cmath>
#include <cstring>
#include <string>

#include "FuzzSupport.h"
#include "files/NumberParse.h"
#include "files/RecordingWriter.h"

using namespace korvex;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
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
    FuzzedDataProvider in(data, size);
    double values[4];
    size_t n = 0;
    while (n < 4 && in.remaining_bytes() >= sizeof(double)) {
        auto bits = in.ConsumeBytes<uint8_t>(sizeof(double));
        std::memcpy(&values[n++], bits.data(), sizeof(double));
    }
    char row[4 * kLiveRowBytesPerValue + 2];
    size_t len = FormatLiveRow(values, n, row);
    std::string expected;
    for (size_t i = 0; i < n; ++i) {
        char one[400];
        std::snprintf(one, sizeof one, "%.6f\t", values[i]);
        expected += one;
    }
    expected += "\r\n";
    FUZZ_CHECK(std::string(row, len) == expected, "row '%.*s', printf '%s'", int(len), row,
               expected.c_str());
    return 0;
}
