// SPDX-License-Identifier: GPL-3.0-or-later
// The diary's records, fill words and message texts, and the service channel's replies
// to each of its requests, as the regulator may send them.
#include "FuzzSupport.h"
#include "diary/DiaryBlock.h"
#include "diary/ServiceChannel.h"

FUZZ_TARGET {
    uint16_t words[10];
    for (auto& w : words) w = in.ConsumeIntegral<uint16_t>();
    DiaryRecord record = DecodeDiaryRecord(words);
    FUZZ_CHECK(record.month >= 0 && record.month <= 15 && record.millisecond <= 1023, "record");
    DiaryExtent extent = DiaryExtentFromFill(words[4], words[5]);
    FUZZ_CHECK(extent.count <= 0xFFFF && extent.start <= 0x7FFF, "%u", extent.count);
    for (bool input_variant : {false, true}) {
        std::string text = DecodeMessageText(words, input_variant);
        FUZZ_CHECK(text.size() <= kMaxTextLength, "a text of %zu", text.size());
        FUZZ_CHECK(text.find('\0') == std::string::npos, "a NUL in the text");
    }

    const int op = in.ConsumeIntegralInRange(0, 5);
    const int index = in.ConsumeIntegralInRange(0, 300);
    AnsweringPort answers(in, 6);
    RS232Port* port = answers.port();
    std::string text, err;
    ServiceResult r;
    std::vector<uint16_t> regs(16, 0xBEEF);
    int count = -1;
    ParameterSet set;
    ParameterValue value;
    switch (op) {
        case 0: {
            uint32_t code =
                ReadMessageText(port, 1, words[0], uint16_t(index), &text, index & 1, &err);
            FUZZ_CHECK(text.size() <= kMaxTextLength, "a text of %zu", text.size());
            FUZZ_CHECK(code == 0 || !err.empty(), "code %u without a text", code);
            break;
        }
        case 1:
            ReadDiaryRegisters(port, kDiaryBlockReg, 10, regs.data(), index & 1, &err);
            for (int i = 10; i < 16; ++i) FUZZ_CHECK(regs[i] == 0xBEEF, "register %d written", i);
            break;
        case 2:
            r = RequestSetCount(port, &count);
            if (r.ok()) FUZZ_CHECK(count >= 0 && count <= kMaxParameterSets, "%d sets", count);
            break;
        case 3: r = SelectParameterSet(port, index % 8, &set); break;
        case 4:
            r = ReadParameterName(port, index % 256, &text);
            if (r.ok()) FUZZ_CHECK(text.size() <= 20, "a name of %zu", text.size());
            break;
        default: r = ReadParameterValue(port, index % 256, &value);
    }
    FUZZ_CHECK(r.code == 0 || !r.messages.empty(), "code %u without a message", r.code);
}
