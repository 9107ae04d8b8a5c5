// SPDX-License-Identifier: GPL-3.0-or-later
// The diary's records, fill words and message texts, and the service channel's replies
// to each of its requests, as the regulator may send them.
#include <cstring>

#include "FuzzSupport.h"
#include "diary/DiaryBlock.h"
#include "diary/ServiceChannel.h"

using namespace korvex;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Silence();
    FuzzedDataProvider in(data, size);
    uint16_t words[10];
    for (auto& w : words) w = in.ConsumeIntegral<uint16_t>();
    DiaryRecord record = DecodeDiaryRecord(words);
    FUZZ_CHECK(record.month >= 0 && record.month <= 15 && record.millisecond <= 1023, "record");
    DiaryExtent extent = DiaryExtentFromFill(words[4], words[5]);
    FUZZ_CHECK(extent.count <= 0xFFFF && extent.start <= 0x7FFF, "extent %u from %u", extent.count,
               extent.start);
    for (bool input_variant : {false, true}) {
        std::string text = DecodeMessageText(words, input_variant);
        FUZZ_CHECK(text.size() <= kMaxTextLength, "a text of %zu", text.size());
        FUZZ_CHECK(text.find('\0') == std::string::npos, "a NUL in the text");
    }

    const int op = in.ConsumeIntegralInRange(0, 5);
    const int index = in.ConsumeIntegralInRange(0, 300);
    fuzz::AnsweringPort answers(in, 6);
    RS232Port* port = answers.port();
    std::string text, err;
    uint32_t code = 0;
    ServiceResult r;
    switch (op) {
        case 0:
            code = ReadMessageText(port, 1, words[0], uint16_t(index), &text, index & 1, &err);
            FUZZ_CHECK(text.size() <= kMaxTextLength, "a text of %zu", text.size());
            FUZZ_CHECK(code == 0 || !err.empty(), "code %u without a text", code);
            break;
        case 1: {
            uint16_t regs[16];
            for (auto& w : regs) w = 0xBEEF;
            code = ReadDiaryRegisters(port, kDiaryBlockReg, 10, regs, index & 1, &err);
            for (int i = 10; i < 16; ++i) FUZZ_CHECK(regs[i] == 0xBEEF, "register %d written", i);
            break;
        }
        case 2: {
            int count = -1;
            r = RequestSetCount(port, &count);
            if (r.ok()) FUZZ_CHECK(count >= 0 && count <= kMaxParameterSets, "%d sets", count);
            break;
        }
        case 3: {
            ParameterSet set;
            r = SelectParameterSet(port, index % 8, &set);
            break;
        }
        case 4: {
            std::string name;
            r = ReadParameterName(port, index % 256, &name);
            if (r.ok()) FUZZ_CHECK(name.size() <= 20, "a name of %zu", name.size());
            break;
        }
        default: {
            ParameterValue value;
            r = ReadParameterValue(port, index % 256, &value);
            break;
        }
    }
    FUZZ_CHECK(r.code == 0 || !r.messages.empty(), "code %u without a message", r.code);
    return 0;
}
