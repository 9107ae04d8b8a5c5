// SPDX-License-Identifier: GPL-3.0-or-later
#include "diary/DiaryBlock.h"

#include "link/ModBus.h"

namespace korvex {

DiaryRecord DecodeDiaryRecord(const uint16_t* w) {
    DiaryRecord r;
    r.code = w[0];
    r.second = w[1] >> 10;
    r.millisecond = w[1] & 0x3FF;
    r.day = w[2] >> 11;
    r.hour = (w[2] >> 6) & 0x1F;
    r.minute = w[2] & 0x3F;
    r.year = 2000 + (w[3] >> 4);
    r.month = w[3] & 0x0F;
    return r;
}

DiaryExtent DiaryExtentFromFill(uint16_t fill, uint16_t capacity) {
    if (!(fill & kDiaryWrapped)) return {fill, 0};
    return {capacity, uint32_t(fill & ~kDiaryWrapped)};
}

std::string DecodeMessageText(const uint16_t* words, bool input_variant) {
    std::string text;
    for (int i = 0; i < kDiaryTextWords; ++i) {
        uint8_t lo = uint8_t(words[i]);
        uint8_t hi = uint8_t(words[i] >> 8);
        if (input_variant && lo >= 0x80) hi = uint8_t(hi + 1);
        if (!lo) break;
        text += char(lo);
        if (!hi) break;
        text += char(hi);
    }
    return text;
}

uint32_t ReadDiaryRegisters(RS232Port* port, uint16_t reg, uint16_t num, uint16_t* out,
                            bool input_variant, std::string* err_text) {
    return input_variant ? ModBus_ReadInpReg(port, kDiarySlave, reg, num, out, err_text)
                         : ModBus_ReadHldReg(port, kDiarySlave, reg, num, out, err_text);
}

uint32_t ReadMessageText(RS232Port* port, uint8_t addr, uint16_t window_base, uint16_t code,
                         std::string* text, bool input_variant, std::string* err_text) {
    text->clear();
    uint32_t rc = ModBus_WriteSingleReg(port, addr, kDiarySelectorReg,
                                        uint16_t(kDiaryTextSelect + code), err_text);
    if (rc) return rc;
    constexpr int kHalf = kDiaryTextWords / 2;
    uint16_t words[kDiaryTextWords];
    for (int half = 0; half < 2; ++half) {
        uint16_t reg = uint16_t(window_base + kHalf * half);
        uint16_t* out = words + kHalf * half;
        rc = input_variant ? ModBus_ReadInpReg(port, addr, reg, kHalf, out, err_text)
                           : ModBus_ReadHldReg(port, addr, reg, kHalf, out, err_text);
        if (rc) return rc;
    }
    *text = DecodeMessageText(words, input_variant);
    return 0;
}

}  // namespace korvex
