// SPDX-License-Identifier: GPL-3.0-or-later
// CAN-tunnel answers: at most 8 data bytes come back, never more than the buffer holds.
#include "FuzzSupport.h"
#include "link/ModBus.h"

FUZZ_TARGET {
    const bool transmit_only = in.ConsumeBool();
    const uint8_t addr = in.ConsumeIntegral<uint8_t>();
    const uint16_t id = in.ConsumeIntegralInRange<uint16_t>(0, 0x7FF);
    std::vector<uint8_t> payload = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange(0, 8));
    const uint32_t n = uint32_t(payload.size());
    AnsweringPort answers(in);
    std::vector<uint8_t> out(16, 0xA5);
    uint32_t count = 99;
    std::string text;
    uint32_t code = transmit_only ? ModBus_CanTx(answers.port(), addr, payload.data(), n, id, &text)
                                  : ModBus_CanTxRx(answers.port(), addr, payload.data(), n, id,
                                                   out.data(), &count, &text);
    FUZZ_CHECK(code == 0 || !text.empty(), "code %u without a text", code);
    if (!transmit_only && code == 0) FUZZ_CHECK(count <= kCanMaxData, "%u data bytes", count);
    for (int i = 8; i < 16; ++i) FUZZ_CHECK(out[i] == 0xA5, "byte %d written", i);
}
