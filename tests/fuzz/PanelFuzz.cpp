// SPDX-License-Identifier: GPL-3.0-or-later
// The front panels' text from display packets, SELVO (4 lines of 20) and SELVO-M (2 of
// 16): always the panel's lines, always valid UTF-8.
#include "FuzzSupport.h"
#include "osc/OscStream.h"
#include "osc/SelvoText.h"

static bool ValidUtf8(const std::string& s) {
    for (size_t i = 0, n; i < s.size(); i += n) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > s.size()) return false;
        for (size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    }
    return true;
}

FUZZ_TARGET {
    OscState osc;
    uint8_t flags = in.ConsumeIntegralInRange<uint8_t>(1, 3);
    osc.display_present = true;
    osc.selvo = flags & 1;
    osc.selvom = flags & 2;
    bool blink[2] = {in.ConsumeBool(), in.ConsumeBool()};
    while (in.remaining_bytes() >= 10) {
        OSC_HandleDisplay(osc, in.ConsumeBytes<uint8_t>(10).data());
        for (bool selvom : {false, true}) {
            if (selvom ? !osc.selvom : !osc.selvo) continue;
            int offset = selvom && osc.selvo ? 80 : 0;
            std::string text = RefreshSelvoDisplay(osc.screen, selvom, &blink[selvom], offset);
            FUZZ_CHECK(ValidUtf8(text), "not UTF-8");
            // The panel's characters and the line feeds between its lines, no more (the
            // regulator's own bytes go through unchanged, a line feed among them too).
            auto chars = std::ranges::count_if(text, [](char c) { return (c & 0xC0) != 0x80; });
            FUZZ_CHECK(chars <= (selvom ? 2 * 16 + 1 : 4 * 20 + 3), "%td", chars);
        }
    }
}
