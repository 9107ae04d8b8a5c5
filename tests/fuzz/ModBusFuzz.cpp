// SPDX-License-Identifier: GPL-3.0-or-later
// ModBus answers to every operation, the CRC made right where the input says so: the
// result is one of the documented codes, and a read fills exactly the registers asked
// for.
#include <cstring>

#include "FuzzSupport.h"
#include "link/ModBus.h"

using namespace korvex;

namespace {

bool KnownCode(uint32_t code) {
    return code == kModBusOk || code == kModBusProtocolError || code == kRS232ReadFailed ||
           code == kRS232LineStatusFailed || code == kRS232ShortReceive ||
           (code >= 32 && code <= 39) ||
           (code >= kModBusExceptionBase && code <= kModBusExceptionBase + 0xFF);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Silence();
    FuzzedDataProvider in(data, size);
    const int op = in.ConsumeIntegralInRange(0, 4);
    const uint8_t addr = in.ConsumeIntegral<uint8_t>();
    const uint16_t reg = in.ConsumeIntegral<uint16_t>();
    const uint16_t num = in.ConsumeIntegralInRange<uint16_t>(0, 130);
    fuzz::AnsweringPort answers(in);
    uint16_t values[140];
    for (auto& v : values) v = 0xBEEF;
    std::string text;
    uint32_t code = 0;
    switch (op) {
        case 0: code = ModBus_ReadHldReg(answers.port(), addr, reg, num, values, &text); break;
        case 1: code = ModBus_ReadInpReg(answers.port(), addr, reg, num, values, &text); break;
        case 2: code = ModBus_WriteSingleReg(answers.port(), addr, reg, num, &text); break;
        case 3:
            code = ModBus_WriteMultipleReg(answers.port(), addr, reg, num, values, &text);
            break;
        default: {
            uint8_t req[262] = {addr, 3, uint8_t(reg >> 8), uint8_t(reg), 0, 2};
            uint8_t rsp[260];
            uint16_t got = 0;
            code = ModBus_TxRx(answers.port(), req, 6, rsp, uint16_t(num), &got, &text);
            FUZZ_CHECK(got <= 260, "%u bytes", got);
        }
    }
    FUZZ_CHECK(KnownCode(code), "code %u", code);
    FUZZ_CHECK(code == 0 || !text.empty(), "code %u without a text", code);
    if (op <= 1) {
        for (size_t i = num; i < 140; ++i)
            FUZZ_CHECK(values[i] == 0xBEEF, "register %zu written, %u asked for", i, num);
        FUZZ_CHECK(code != 0 || num <= kModBusMaxRead, "%u registers read", num);
    }
    return 0;
}
