// SPDX-License-Identifier: GPL-3.0-or-later
// The receive's line-error decoding: marked bytes (FF FF, FF 00 x) undone the same way
// however the bytes arrive in reads, and every condition a documented code.
#include "FuzzSupport.h"

FUZZ_TARGET {
    LineErrorCounts delta;
    uint32_t faults = 0;
    for (auto* count :
         {&delta.brk, &delta.frame, &delta.overrun, &delta.parity, &delta.buf_overrun})
        faults += * count = in.ConsumeIntegralInRange(0u, 2u);
    const bool counters = in.ConsumeBool();
    const size_t chunk = in.ConsumeIntegralInRange<size_t>(1, 16);
    std::vector<uint8_t> raw = in.ConsumeRemainingBytes<uint8_t>();

    ParmrkDecoder whole, pieces;
    MarkTally t1, t2;
    std::vector<uint8_t> a(raw.size() + 1), b(raw.size() + 1);
    size_t na = whole.Decode(raw.data(), raw.size(), a.data(), &t1), nb = 0;
    for (size_t at = 0; at < raw.size(); at += chunk)
        nb += pieces.Decode(raw.data() + at, std::min(chunk, raw.size() - at), b.data() + nb, &t2);
    FUZZ_CHECK(na <= raw.size(), "%zu data bytes from %zu", na, raw.size());
    FUZZ_CHECK(na == nb && std::memcmp(a.data(), b.data(), na) == 0, "reads change the data");
    FUZZ_CHECK(t1.nul_marks == t2.nul_marks && t1.byte_marks == t2.byte_marks,
               "reads change the marks");
    uint32_t code = ClassifyLineErrors(counters ? &delta : nullptr, t1);
    FUZZ_CHECK(code == 0 || (code >= 32 && code <= 39), "code %u", code);
    if (code) FUZZ_CHECK(LineErrorText(code) && *LineErrorText(code), "no text for %u", code);
    const bool clean = t1.nul_marks == 0 && t1.byte_marks == 0 && (!counters || faults == 0);
    FUZZ_CHECK(clean == (code == 0), "code %u for a %s line", code, clean ? "clean" : "faulty");
}
