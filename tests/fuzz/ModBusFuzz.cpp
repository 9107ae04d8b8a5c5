// SPDX-License-Identifier: GPL-3.0-or-later
// ModBus answers to every operation, the CRC made right where the input says so: the
// result is one of the documented codes, and a read fills exactly the registers asked
// for.
#include "FuzzSupport.h"
#include "link/ModBus.h"

FUZZ_TARGET {
    const int op = in.ConsumeIntegralInRange(0, 4);
    const uint8_t addr = in.ConsumeIntegral<uint8_t>();
    const uint16_t reg = in.ConsumeIntegral<uint16_t>();
    const uint16_t num = in.ConsumeIntegralInRange<uint16_t>(0, 130);
    AnsweringPort answers(in);
    RS232Port* port = answers.port();
    std::vector<uint16_t> values(140, 0xBEEF);
    std::string text;
    uint32_t code = 0;
    switch (op) {
        case 0: code = ModBus_ReadHldReg(port, addr, reg, num, values.data(), &text); break;
        case 1: code = ModBus_ReadInpReg(port, addr, reg, num, values.data(), &text); break;
        case 2: code = ModBus_WriteSingleReg(port, addr, reg, num, &text); break;
        case 3: code = ModBus_WriteMultipleReg(port, addr, reg, num, values.data(), &text); break;
        default: {
            uint8_t req[262] = {addr, 3, uint8_t(reg >> 8), uint8_t(reg), 0, 2}, rsp[260];
            uint16_t got = 0;
            code = ModBus_TxRx(port, req, 6, rsp, uint16_t(num), &got, &text);
            FUZZ_CHECK(got <= 260, "%u bytes", got);
        }
    }
    FUZZ_CHECK(code == kModBusOk || code == kModBusProtocolError || code == kRS232ReadFailed ||
                   code == kRS232LineStatusFailed || code == kRS232ShortReceive ||
                   (code >= 32 && code <= 39) ||
                   (code >= kModBusExceptionBase && code <= kModBusExceptionBase + 0xFF),
               "code %u", code);
    FUZZ_CHECK(code == 0 || !text.empty(), "code %u without a text", code);
    for (size_t i = num; op <= 1 && i < 140; ++i)
        FUZZ_CHECK(values[i] == 0xBEEF, "register %zu written, %u asked for", i, num);
    if (op <= 1) FUZZ_CHECK(code != 0 || num <= kModBusMaxRead, "%u registers read", num);
}
