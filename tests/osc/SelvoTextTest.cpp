// SPDX-License-Identifier: GPL-3.0-or-later
// What the live window shows: the panel's text and the captions with their values.
#include "osc/SelvoText.h"

#include <gtest/gtest.h>

#include <cstring>

#include "app/CodePages.h"
#include "app/ErrorCapture.h"
#include "osc/OscFollower.h"

namespace korvex {
namespace {

void SetText(SelvoScreen& s, const std::string& t) {
    std::memset(s.text, ' ', sizeof s.text);
    std::memcpy(s.text, t.data(), t.size());
}

TEST(SelvoText, CursorMarkBlinksWithinTheDisplayOnly) {
    struct Case {
        bool selvom;
        uint8_t row, col;
        bool marked;
    } cases[] = {{false, 0, 0, true},   {false, 3, 19, true}, {false, 4, 0, false},
                 {false, 0, 20, false}, {true, 1, 15, true},  {true, 2, 0, false},
                 {true, 0, 16, false}};
    for (const auto& c : cases) {
        SelvoScreen s;
        SetText(s, "");
        std::tie(s.cursor_on, s.cursor_row, s.cursor_col) = std::tuple(1, c.row, c.col);
        bool blink = false;
        std::string shown = RefreshSelvoDisplay(s, c.selvom, &blink);
        EXPECT_TRUE(blink);
        const int cols = c.selvom ? 16 : 20;
        EXPECT_EQ(shown.find('_') != std::string::npos, c.marked) << +c.row << "," << +c.col;
        if (c.marked) {
            // A line feed ends each line.
            EXPECT_EQ(shown.find('_'), size_t(c.row * (cols + 1) + c.col));
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

TEST(OscFollower, CaptionsInTurnWithTheirRowsValues) {
    test::TempDir tmp;
    std::string path = tmp.path() + "/r.trd";
    std::string rows;
    for (int r = 1; r <= 10; ++r)
        rows += std::to_string(r) + "\t" + std::to_string(10 * r) + "\t" + std::to_string(100 * r) +
                "\t\r\n";
    test::WriteFileBytes(path, rows);
    OscFollower f;
    ASSERT_TRUE(f.Open(path, 0, 3, 50.0, 1000));
    OscFollower::Tick t = f.Poll(1000);
    EXPECT_TRUE(t.filled);
    EXPECT_TRUE(t.status_changed) << "the first tick shows the status";
    // Row 1 fills; rows 2..10 refresh channels 0,1,2,0,1,2,0,1,2: the last turns of the
    // three channels were rows 8, 9 and 10.
    ASSERT_EQ(t.captions, 3);
    const double expect[3] = {8, 90, 1000};
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(t.caption_value[k], expect[t.caption_channel[k]]) << t.caption_channel[k];
    // Writing switched on again: a new recording, and the turn goes on where it was.
    test::WriteFileBytes(path + "2", "1\t2\t3\t\r\n4\t5\t6\t\r\n");
    ASSERT_TRUE(f.Open(path + "2", 0, 3, 50.0, 1200));
    t = f.Poll(1400);
    EXPECT_EQ(std::tuple(t.captions, t.caption_channel[0], t.caption_value[0]),
              std::tuple(1, 0, 4.0));
    EXPECT_FALSE(t.status_changed) << "at most every 500 ms";
    EXPECT_EQ(f.StatusLine(1400),
              "Time=00:00:00 , Fsam=50.00 Hz , Samples=0.002 K , File Length=0.000 MB");
    EXPECT_EQ(f.StatusLine(1200 + 3725000),
              "Time=01:02:05 , Fsam=50.00 Hz , Samples=0.002 K , File Length=0.000 MB");
}

}  // namespace
}  // namespace korvex
