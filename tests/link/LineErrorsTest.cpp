// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <vector>

#include "link/LineErrors.h"

namespace korvex {
namespace {

std::vector<uint8_t> DecodeAll(ParmrkDecoder& d, std::vector<uint8_t> raw, MarkTally* tally) {
    std::vector<uint8_t> out(raw.size());
    out.resize(d.Decode(raw.data(), raw.size(), out.data(), tally));
    return out;
}

TEST(ParmrkDecoder, GenuineFfMarkedByteAndBreak) {
    ParmrkDecoder d;
    MarkTally t;
    EXPECT_EQ(DecodeAll(d, {0x01, 0xFF, 0xFF, 0x02}, &t), (std::vector<uint8_t>{0x01, 0xFF, 0x02}));
    EXPECT_EQ(t.nul_marks + t.byte_marks, 0u);

    EXPECT_EQ(DecodeAll(d, {0x10, 0xFF, 0x00, 0x55, 0x11}, &t),
              (std::vector<uint8_t>{0x10, 0x55, 0x11}));
    EXPECT_EQ(t.byte_marks, 1u);

    EXPECT_EQ(DecodeAll(d, {0xFF, 0x00, 0x00}, &t), (std::vector<uint8_t>{0x00}));
    EXPECT_EQ(t.nul_marks, 1u);
}

TEST(ParmrkDecoder, SequencesSplitAcrossReads) {
    ParmrkDecoder d;
    MarkTally t;
    std::vector<uint8_t> all;
    for (std::vector<uint8_t> part :
         {std::vector<uint8_t>{0xAA, 0xFF}, {0xFF}, {0xFF}, {0x00}, {0x37, 0xFF}, {0x00, 0x00}}) {
        auto out = DecodeAll(d, part, &t);
        all.insert(all.end(), out.begin(), out.end());
    }
    EXPECT_EQ(all, (std::vector<uint8_t>{0xAA, 0xFF, 0x37, 0x00}));
    EXPECT_EQ(t.byte_marks, 1u);
    EXPECT_EQ(t.nul_marks, 1u);
}

TEST(ClassifyLineErrors, CountersDecideInTheDriverOrder) {
    struct Case {
        LineErrorCounts delta;
        MarkTally marks;
        uint32_t code;
    } cases[] = {
        {{}, {}, 0},
        {{1, 1, 1, 1, 1}, {}, kLineBreak},
        {{0, 1, 0, 1, 0}, {0, 1}, kLineFrame},
        {{0, 0, 1, 1, 0}, {}, kLineOverrun},
        {{0, 0, 0, 1, 1}, {}, kLineRxOverflow},
        {{0, 0, 0, 1, 0}, {0, 1}, kLineParity},
        {{}, {0, 1}, kLineOther},  // marked, but the counters do not say why
    };
    for (const auto& c : cases) EXPECT_EQ(ClassifyLineErrors(&c.delta, c.marks), c.code);
    // Without counters the marks alone decide: a NUL mark is a break, any other unknown.
    EXPECT_EQ(ClassifyLineErrors(nullptr, MarkTally{}), 0u);
    EXPECT_EQ(ClassifyLineErrors(nullptr, MarkTally{1, 0}), kLineBreak);
    EXPECT_EQ(ClassifyLineErrors(nullptr, MarkTally{0, 2}), kLineOther);
}

// Windows reports ClearCommError flags, counted by the line-status source: each flag
// gives its code (number and text as callers and stored messages know them), and with
// several the first in the driver's order decides.
TEST(ClassifyLineErrors, EachWindowsFlagGivesItsCode) {
    struct Case {
        uint32_t flags, code, number;
        const char* text;
    } cases[] = {
        {kCommBreak, kLineBreak, 32, "RS232_TxRx(): CE_BREAK"},
        {kCommFrame, kLineFrame, 33, "RS232_TxRx(): CE_FRAME"},
        {kCommIoError, kLineIoError, 34, "RS232_TxRx(): CE_IOE"},
        {kCommOverrun, kLineOverrun, 35, "RS232_TxRx(): CE_OVERRUN"},
        {kCommRxOver, kLineRxOverflow, 36, "RS232_TxRx(): CE_RXOVER"},
        {kCommRxParity, kLineParity, 37, "RS232_TxRx(): CE_RXPARITY"},
        {kCommTxFull, kLineTxFull, 38, "RS232_TxRx(): CE_TXFULL"},
        {0x0800, kLineOther, 39, "RS232_TxRx(): Unknown error"},
        {kCommBreak | kCommFrame, kLineBreak, 32, "RS232_TxRx(): CE_BREAK"},
        {kCommRxParity | kCommOverrun, kLineOverrun, 35, "RS232_TxRx(): CE_OVERRUN"},
        {0, 0, 0, nullptr},
    };
    for (const auto& c : cases) {
        LineErrorCounts before, after;
        AddCommErrors(0, &before);
        after = before;
        AddCommErrors(c.flags, &after);
        LineErrorCounts delta = CountsSince(after, before);
        EXPECT_EQ(ClassifyLineErrors(&delta, MarkTally{}), c.code) << std::hex << c.flags;
        EXPECT_EQ(c.code, c.number);
        if (c.text) {
            EXPECT_STREQ(LineErrorText(c.code), c.text);
        }
    }
}

}  // namespace
}  // namespace korvex
