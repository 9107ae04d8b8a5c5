// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

#include "link/RS232Port.h"

namespace korvex {

// The regulator's diary block (slave address 1). Registers from 0x1000, read as holding
// registers, or as input registers in the input-register variant:
//   0x1001 number of diaries (at most 2), 0x1002 window base, 0x1003 number of message
//   texts (at most 1000), 0x1006 selector (written: 0 or 1 a diary, 0x8000 + code that
//   code's text), 0x1007 capacity of the selected diary, 0x1008-0x1009 fill words.
// The window from its base shows what the selector chose: the record at position p in
// the 4 registers from base + 4 p, or a message text in the 10 registers from base.
constexpr uint8_t kDiarySlave = 1;
constexpr uint16_t kDiaryBlockReg = 0x1000;
constexpr int kDiaryBlockWords = 10;  // 0x1000-0x1009
constexpr uint16_t kDiaryCountReg = 0x1001;
constexpr uint16_t kDiaryWindowBaseReg = 0x1002;
constexpr uint16_t kDiaryTextCountReg = 0x1003;
constexpr uint16_t kDiarySelectorReg = 0x1006;
constexpr uint16_t kDiaryCapacityReg = 0x1007;
constexpr uint16_t kDiaryFillReg = 0x1008;
constexpr uint16_t kDiaryTextSelect = 0x8000;
constexpr int kMaxDiaries = 2;
constexpr int kMaxMessageTexts = 1000;
constexpr int kDiaryRecordWords = 4;
constexpr int kDiaryTextWords = 10;
constexpr size_t kMaxTextLength = 20;

// One diary record: register 0 the message code, 1 second (bits 15-10) and millisecond
// (9-0), 2 day (15-11), hour (10-6) and minute (5-0), 3 year - 2000 (15-4) and month
// (3-0).
struct DiaryRecord {
    uint16_t code = 0;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
};
DiaryRecord DecodeDiaryRecord(const uint16_t* words);

// A diary's extent from its fill word: bit 15 clear, `value` records from position 0;
// bit 15 set, the diary has wrapped: `capacity` records, the oldest at value & 0x7FFF.
constexpr uint16_t kDiaryWrapped = 0x8000;  // fill word bit 15
struct DiaryExtent {
    uint32_t count = 0;
    uint32_t start = 0;
};
DiaryExtent DiaryExtentFromFill(uint16_t fill, uint16_t capacity);

// A message text from its 10 registers: two characters per register, the low byte first,
// up to the first 0 byte, at most 20 characters, copied byte for byte. In the input-
// register variant a low byte of 0x80 or more adds 1 (modulo 256) to the high byte that
// follows it, as the regulator's input registers carry the texts.
std::string DecodeMessageText(const uint16_t* words, bool input_variant);

// Reads the text of message `code`: 0x8000 + code into the selector, then the 5
// registers from the window base and the 5 after them. Returns 0 or the code of the
// failing call, with its ModBus text in *err_text.
uint32_t ReadMessageText(RS232Port* port, uint8_t addr, uint16_t window_base, uint16_t code,
                         std::string* text, bool input_variant, std::string* err_text);

// Reads `num` registers of the diary block: input registers in the input variant, else
// holding registers.
uint32_t ReadDiaryRegisters(RS232Port* port, uint16_t reg, uint16_t num, uint16_t* out,
                            bool input_variant, std::string* err_text);

}  // namespace korvex
