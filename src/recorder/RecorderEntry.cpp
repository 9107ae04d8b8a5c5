// SPDX-License-Identifier: GPL-3.0-or-later
#include "recorder/RecorderEntry.h"

namespace korvex {

RecorderTime DecodeRecorderTime(uint16_t a, uint16_t b, uint16_t c) {
    RecorderTime t;
    t.second = a >> 10;
    t.millisecond = a & 0x3FF;
    t.day = b >> 11;
    t.hour = (b >> 6) & 0x1F;
    t.minute = b & 0x3F;
    t.year = 2000 + ((c >> 4) & 0x7F);
    t.month = c & 0x0F;
    return t;
}

RecorderFileEntry DecodeFileEntry(const uint16_t* w) {
    RecorderFileEntry e;
    e.sectors = w[0];
    e.flags = w[1];
    e.time[0] = w[2];
    e.time[1] = w[3];
    e.time[2] = w[4];
    return e;
}

}  // namespace korvex
