// SPDX-License-Identifier: GPL-3.0-or-later
#include "osc/SelvoText.h"

#include <gtest/gtest.h>

#include <cstring>

#include "app/CodePages.h"

namespace korvex {
namespace {

void SetText(SelvoScreen& s, const std::string& t) {
    std::memset(s.text, ' ', sizeof s.text);
    std::memcpy(s.text, t.data(), t.size());
}

TEST(SelvoText, CursorMarkBlinksWithinTheDisplayOnly) {
    struct Case {
        bool selvom;
        int row, col;
        bool marked;
    } cases[] = {{false, 0, 0, true},   {false, 3, 19, true}, {false, 4, 0, false},
                 {false, 0, 20, false}, {true, 1, 15, true},  {true, 2, 0, false},
                 {true, 0, 16, false}};
    for (const auto& c : cases) {
        SelvoScreen s;
        SetText(s, "");
        s.cursor_on = 1;
        s.cursor_row = uint8_t(c.row);
        s.cursor_col = uint8_t(c.col);
        bool blink = false;
        std::string shown = RefreshSelvoDisplay(s, c.selvom, &blink);
        EXPECT_TRUE(blink);
        int cols = c.selvom ? 16 : 20;
        size_t place = size_t(c.row * (cols + 1) + c.col);  // a line feed ends each line
        EXPECT_EQ(shown.find('_') != std::string::npos, c.marked) << c.row << "," << c.col;
        if (c.marked) {
            EXPECT_EQ(shown.find('_'), place);
            EXPECT_EQ(s.text[c.row * cols + c.col], '_') << "the mark stays in the shared text";
        }
        std::memset(s.text, ' ', sizeof s.text);
        shown = RefreshSelvoDisplay(s, c.selvom, &blink);  // blink off: no new mark
        EXPECT_EQ(shown.find('_'), std::string::npos);
    }
}

TEST(SelvoText, LinesArrowsNulAndCodePages) {
    SelvoScreen s;
    SetText(s, std::string("\x80\x81 \x18\x19") + std::string(15, 'x') + "second");
    bool blink = true;
    std::string shown = RefreshSelvoDisplay(s, false, &blink);
    EXPECT_EQ(shown.substr(0, 7), "\xD0\x90\xD0\x91 ^v") << "CP866 А Б, arrows";
    EXPECT_EQ(shown.substr(shown.find('\n') + 1, 6), "second");
    EXPECT_EQ(std::count(shown.begin(), shown.end(), '\n'), 3);

    SetText(s, std::string("\xC0\xE0") + std::string(14, ' ') + "line two");
    s.text[3] = '\0';  // a 0 byte ends the shown text
    shown = RefreshSelvoDisplay(s, true, &blink);
    EXPECT_EQ(shown, "\xD0\x90\xD0\xB0 ") << "CP1251 А а, cut at the 0 byte";

    EXPECT_EQ(Cp866ToUtf8("\xF0\xF1\xFC\xB3"),
              "\xD0\x81\xD1\x91\xE2\x84\x96\xE2\x94\x82");  // Ё ё № │
    EXPECT_EQ(Cp1251ToUtf8("\xA8\xB8\xB9\x98"),
              "\xD0\x81\xD1\x91\xE2\x84\x96\xEF\xBF\xBD");  // Ё ё № ?
}

}  // namespace
}  // namespace korvex
