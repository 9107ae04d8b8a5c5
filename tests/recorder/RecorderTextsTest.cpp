// SPDX-License-Identifier: GPL-3.0-or-later
#include "recorder/RecorderTexts.h"

#include <gtest/gtest.h>

#include "app/Language.h"
#include "recorder/SimulatedRecorder.h"

namespace korvex {
namespace {

using test::Entry;

class RecorderTexts : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override { g_bRussian = GetParam(); }
    void TearDown() override { g_bRussian = false; }
    static std::string Row(const RecorderFileEntry& e, bool current = false) {
        std::string s;
        for (int c = 0; c < kRecorderColumns; ++c) s += RecorderCellText(e, 2, c, current) + "|";
        return s;
    }
};

TEST_P(RecorderTexts, ColumnsOfTheFileTable) {
    const bool ru = GetParam();
    // FLAGS 0x0325: status 1, DIV 9, channel code 0, reason 3; TimeBeg of 2013-05-15.
    EXPECT_EQ(Row(Entry(2048, 0x0325, 0xE9C8, 0x7A8F, 0x00D5), true),
              ru ? "  3|>> ЗАПИСЬ|Изм.Us(0)|55.56|8|2013-05-15|10:15:58:456|1.000|1105.92|"
                 : "  3|>> WRITE|Ch. Us(0)|55.56|8|2013-05-15|10:15:58:456|1.000|1105.92|");
    // The marker bit before reason 9; status 2, DIV 10, 8 channels, 2048 sectors.
    EXPECT_EQ(Row(Entry(2048, 0x1000 | 0x0900 | 10 << 2 | 2)),
              ru ? "  3|     Да|# Защита|50.00|8|2000-00-00|00:00:00:000|1.000|1228.80|"
                 : "  3|     Yes|# Protect|50.00|8|2000-00-00|00:00:00:000|1.000|1228.80|");
    // DIV 0 counts as 1; 12 channels; status 3; reasons beyond 11.
    EXPECT_EQ(RecorderCellText(Entry(100, 2 << 6 | 3), 0, 3, false), "500.00");
    EXPECT_EQ(RecorderCellText(Entry(100, 2 << 6 | 3), 0, 8, false), "4.00");
    EXPECT_EQ(RecorderCellText(Entry(100, 2 << 6 | 3), 0, 4, false), "12");
    EXPECT_EQ(RecorderCellText(Entry(100, 3), 0, 1, false), ru ? "     Прерв." : "     Break");
    EXPECT_EQ(RecorderCellText(Entry(100, 0x0D02), 0, 2, false), "?????");
    EXPECT_EQ(RecorderCellText(Entry(100, 0x0202), 0, 2, false), ru ? "Изм.cост." : "State");
    // Status 0: the status alone, every other column empty.
    EXPECT_EQ(Row(Entry(0, 0x0320)), ru ? "  3|     Нет||||||||" : "  3|     No||||||||");
}

TEST_P(RecorderTexts, StatusLine) {
    const bool ru = GetParam();
    EXPECT_EQ(RecorderStatusLine({1, 3, 1, 2}, 4096),
              ru ? "Версия : 0.1 \tФайлов : 3    \tРазмер : 2.000 Mb \tТекущий файл : 3     "
                   "\tЗапись : Вкл (ручн)"
                 : "Version:0.1 \tFiles:3    \tSize : 2.000 Mb \tCurrent File : 3      \tWrite "
                   ": On (manu)");
    EXPECT_EQ(RecorderStatusLine({1, 0, 3, 0}, 4096),
              ru ? "Версия : 0.1 \tФайлов : 0    \tЗапись : Вкл (авто)"
                 : "Version:0.1 \tFiles:0    \tWrite : On (auto)");
    EXPECT_EQ(RecorderStatusLine({1, 0, 2, 0}, 0),
              ru ? "Версия : 0.1 \tФайлов : 0    \tЗапись : Откл      "
                 : "Version:0.1 \tFiles:0    \tWrite : Off      ");
    EXPECT_EQ(RecorderColumnCaption(3), ru ? "F (Гц)" : "F,Hz");
    EXPECT_EQ(RecorderColumnWidthSample(1), ru ? "Запись             " : "Write           ");
}

INSTANTIATE_TEST_SUITE_P(BothLanguages, RecorderTexts, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Russian" : "English"; });

}  // namespace
}  // namespace korvex
