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
        {{1, 1, 1, 1, 1}, {}, 32},
        {{0, 1, 0, 1, 0}, {0, 1}, 33},
        {{0, 0, 1, 1, 0}, {}, 35},
        {{0, 0, 0, 1, 1}, {}, 36},
        {{0, 0, 0, 1, 0}, {0, 1}, 37},
        {{}, {0, 1}, 39},  // marked, but the counters do not say why
    };
    for (const auto& c : cases) EXPECT_EQ(ClassifyLineErrors(&c.delta, c.marks), c.code);
}

// Windows reports ClearCommError flags, counted by the line-status source: each flag
// gives its code, and with several the first in the driver's order decides.
TEST(ClassifyLineErrors, EachWindowsFlagGivesItsCode) {
    struct Case {
        uint32_t flags, code;
    } cases[] = {
        {kCommBreak, 32},
        {kCommFrame, 33},
        {kCommIoError, 34},
        {kCommOverrun, 35},
        {kCommRxOver, 36},
        {kCommRxParity, 37},
        {kCommTxFull, 38},
        {0x0800, 39},
        {kCommBreak | kCommFrame, 32},
        {kCommRxParity | kCommOverrun, 35},
        {0, 0},
    };
    for (const auto& c : cases) {
        LineErrorCounts before, after;
        AddCommErrors(0, &before);
        after = before;
        AddCommErrors(c.flags, &after);
        LineErrorCounts delta = CountsSince(after, before);
        EXPECT_EQ(ClassifyLineErrors(&delta, MarkTally{}), c.code) << std::hex << c.flags;
    }
    EXPECT_STREQ(LineErrorText(34), "RS232_TxRx(): CE_IOE");
    EXPECT_STREQ(LineErrorText(38), "RS232_TxRx(): CE_TXFULL");
}

TEST(ClassifyLineErrors, MarksAloneWithoutCounters) {
    EXPECT_EQ(ClassifyLineErrors(nullptr, MarkTally{}), 0u);
    EXPECT_EQ(ClassifyLineErrors(nullptr, MarkTally{1, 0}), 32u);
    EXPECT_EQ(ClassifyLineErrors(nullptr, MarkTally{0, 2}), 39u);
    EXPECT_STREQ(LineErrorText(32), "RS232_TxRx(): CE_BREAK");
    EXPECT_STREQ(LineErrorText(37), "RS232_TxRx(): CE_RXPARITY");
    EXPECT_STREQ(LineErrorText(39), "RS232_TxRx(): Unknown error");
}

}  // namespace
}  // namespace korvex
