// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "link/LineErrors.h"

namespace korvex {
namespace {

// FF FF is a genuine FF, FF 00 x a byte x marked with an error, FF 00 00 a break: read
// whole, and a byte per read (every sequence split wherever it can be).
TEST(ParmrkDecoder, GenuineFfMarkedByteAndBreakWholeOrSplit) {
    const std::vector<uint8_t> raw = {0x01, 0xFF, 0xFF, 0x02, 0x10, 0xFF,
                                      0x00, 0x55, 0x11, 0xFF, 0x00, 0x00};
    for (size_t step : {raw.size(), size_t(1)}) {
        ParmrkDecoder d;
        MarkTally t;
        std::vector<uint8_t> all;
        for (size_t i = 0; i < raw.size(); i += step) {
            uint8_t out[16];
            all.insert(all.end(), out, out + d.Decode(&raw[i], step, out, &t));
        }
        EXPECT_EQ(all, (std::vector<uint8_t>{0x01, 0xFF, 0x02, 0x10, 0x55, 0x11, 0x00})) << step;
        EXPECT_EQ(t.byte_marks, 1u);
        EXPECT_EQ(t.nul_marks, 1u);
    }
}

TEST(ClassifyLineErrors, CountersAndWindowsFlagsDecideInTheDriverOrder) {
    const std::tuple<LineErrorCounts, MarkTally, uint32_t> counted[] = {
        {{}, {}, 0},
        {{1, 1, 1, 1, 1}, {}, kLineBreak},
        {{0, 1, 0, 1, 0}, {0, 1}, kLineFrame},
        {{0, 0, 0, 1, 1}, {}, kLineRxOverflow},
        {{0, 0, 0, 1, 0}, {0, 1}, kLineParity},
        {{}, {0, 1}, kLineOther},  // marked, but the counters do not say why
    };
    for (const auto& [d, marks, code] : counted) EXPECT_EQ(ClassifyLineErrors(&d, marks), code);
    // Without counters the marks alone decide: a NUL mark is a break, any other unknown.
    EXPECT_EQ(ClassifyLineErrors(nullptr, MarkTally{}), 0u);
    EXPECT_EQ(ClassifyLineErrors(nullptr, MarkTally{1, 0}), kLineBreak);
    EXPECT_EQ(ClassifyLineErrors(nullptr, MarkTally{0, 2}), kLineOther);

    // Windows reports ClearCommError flags, counted by the line-status source: each flag
    // gives its code (number and text as callers and stored messages know them), and with
    // several the first in the driver's order decides.
    const std::tuple<uint32_t, uint32_t, const char*> cases[] = {
        {kCommBreak, 32, "RS232_TxRx(): CE_BREAK"},
        {kCommFrame, 33, "RS232_TxRx(): CE_FRAME"},
        {kCommIoError, 34, "RS232_TxRx(): CE_IOE"},
        {kCommOverrun, 35, "RS232_TxRx(): CE_OVERRUN"},
        {kCommRxOver, 36, "RS232_TxRx(): CE_RXOVER"},
        {kCommRxParity, 37, "RS232_TxRx(): CE_RXPARITY"},
        {kCommTxFull, 38, "RS232_TxRx(): CE_TXFULL"},
        {0x0800, 39, "RS232_TxRx(): Unknown error"},
        {kCommBreak | kCommFrame, 32, "RS232_TxRx(): CE_BREAK"},
        {kCommRxParity | kCommOverrun, 35, "RS232_TxRx(): CE_OVERRUN"},
        {0, 0, ""},
    };
    for (const auto& [flags, code, text] : cases) {
        LineErrorCounts before{.brk = 3, .tx_full = 1}, after = before;
        AddCommErrors(flags, &after);
        LineErrorCounts delta = CountsSince(after, before);
        EXPECT_EQ(ClassifyLineErrors(&delta, MarkTally{}), code) << std::hex << flags;
        EXPECT_STREQ(code ? LineErrorText(code) : "", text);
    }
}

}  // namespace
}  // namespace korvex
