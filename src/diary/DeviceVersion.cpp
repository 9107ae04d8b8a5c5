// SPDX-License-Identifier: GPL-3.0-or-later
#include "diary/DeviceVersion.h"

#include "app/StrPrintf.h"
#include "link/ModBus.h"

namespace korvex {

uint32_t ReadDeviceVersion(RS232Port* port, uint8_t addr, std::string* text,
                           std::string* err_text) {
    text->clear();
    uint16_t words[kIdentWords] = {};
    // In four reads of four registers each.
    for (int part = 0; part < 4; ++part) {
        uint32_t code = ModBus_ReadHldReg(port, addr, uint16_t(kIdentReg + 4 * part), 4,
                                          words + 4 * part, err_text);
        if (code) return code;
    }
    for (uint16_t w : words) {
        char lo = char(w & 0xFF), hi = char(w >> 8);
        if (!lo) break;
        *text += lo;
        if (!hi) break;
        *text += hi;
    }
    *text += "     ";
    uint16_t version[2];
    uint32_t code = ModBus_ReadHldReg(port, addr, kVersionReg, 2, version, err_text);
    if (code) return code;
    *text += StrPrintf("Version %d.%d.%d", version[0] >> 8, version[0] & 0xFF, version[1] >> 8);
    if (version[1] & 0xFF) *text += StrPrintf(" Beta %d", version[1] & 0xFF);
    return 0;
}

}  // namespace korvex
