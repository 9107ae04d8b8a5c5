// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/RecordingInfo.h"

#include <cmath>
#include <cstdio>

#include "app/StrPrintf.h"

namespace korvex {

namespace {

// days since 1970-01-01 of a date of the proleptic Gregorian calendar, and back.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + int64_t(doe) - 719468;
}

void CivilFromDays(int64_t z, int64_t* y, unsigned* m, unsigned* d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    *d = doy - (153 * mp + 2) / 5 + 1;
    *m = mp < 10 ? mp + 3 : mp - 9;
    *y = int64_t(yoe) + era * 400 + (*m <= 2);
}

}  // namespace

bool ParseRecordingStart(const std::string& info, RecordingStart* s) {
    RecordingStart r;
    char close = 0;
    if (std::sscanf(info.c_str(), "File : %4d_(%4d.%2d.%2d_%2d.%2d.%2d.%3d%c", &r.number, &r.year,
                    &r.month, &r.day, &r.hour, &r.minute, &r.second, &r.millisecond, &close) != 9 ||
        close != ')')
        return false;
    if (r.month < 1 || r.month > 12 || r.day < 1 || r.day > 31 || r.hour < 0 || r.hour > 23 ||
        r.minute < 0 || r.minute > 59 || r.second < 0 || r.second > 59 || r.millisecond < 0 ||
        r.year < 1900)
        return false;
    *s = r;
    return true;
}

double ClockSeconds(const RecordingStart& s) {
    int64_t days = DaysFromCivil(s.year, unsigned(s.month), unsigned(s.day));
    return double(days * 86400 + s.hour * 3600 + s.minute * 60 + s.second) + s.millisecond / 1000.0;
}

std::string FormatClock(double seconds) {
    int64_t ms = std::llround(seconds * 1000.0);
    int64_t days = ms >= 0 ? ms / 86400000 : -((-ms + 86399999) / 86400000);
    int64_t in_day = ms - days * 86400000;
    int64_t y;
    unsigned m, d;
    CivilFromDays(days, &y, &m, &d);
    return StrPrintf("%04lld-%02u-%02u %02d:%02d:%02d.%03d", static_cast<long long>(y), m, d,
                     int(in_day / 3600000), int(in_day / 60000 % 60), int(in_day / 1000 % 60),
                     int(in_day % 1000));
}

}  // namespace korvex
