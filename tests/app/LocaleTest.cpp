// SPDX-License-Identifier: GPL-3.0-or-later
// Numbers in files and fixed texts never follow the process locale. The GUI toolkit
// takes the user's locale (a Russian one writes "0,5"), so the functions through which
// the program formats and reads its numbers are checked here under such a locale.
#include <gtest/gtest.h>
#include <locale.h>

#include <cstdio>

#include "app/ErrorCapture.h"
#include "app/StrPrintf.h"
#include "files/NumberParse.h"
#include "files/RecordingWriter.h"
#include "sim/FrontPanel.h"

namespace korvex {
namespace {

class UnderARussianLocale : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(setlocale(LC_ALL, "ru_RU.UTF-8"), nullptr)
            << "the ru_RU.UTF-8 locale is missing: scripts/install-deps.sh generates it";
        char probe[16];
        std::snprintf(probe, sizeof probe, "%.1f", 0.5);
        ASSERT_STREQ(probe, "0,5") << "the locale's decimal point is a comma";
    }
    void TearDown() override { setlocale(LC_ALL, "C"); }
    test::TempDir tmp;
    std::string path = tmp.path() + "/r.trd";
};

TEST_F(UnderARussianLocale, FormattingKeepsThePoint) {
    EXPECT_EQ(StrPrintf("T=%.1lf sec (%d points)", 20.0, 1000), "T=20.0 sec (1000 points)");
    char buf[32];
    EXPECT_EQ(CSnprintf(buf, sizeof buf, "%lf", 166.6666666), 10);
    EXPECT_STREQ(buf, "166.666667");
    EXPECT_EQ(ErrnoText(2), "No such file or directory");

    // The simulated regulator's panel, when it runs inside the GUI process.
    sim::FrontPanel panel(sim::FrontPanel::Model::kSelvo);
    EXPECT_NE(panel.Text(sim::PanelValues{}).find("Ug=1.000"), std::string::npos);
}

TEST_F(UnderARussianLocale, RecordingsAreWrittenAndReadWithThePoint) {
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_TRUE(WriteLiveHeader(f, "COM1", {"A", "B"}, 3));
    // 1e7 takes the printf path of the row formatter, 0.25 the fast one.
    const double row[] = {1e7, -0.25};
    ASSERT_TRUE(WriteLiveRow(f, row, 2));
    std::fclose(f);
    EXPECT_EQ(test::ReadFileBytes(path),
              "#FILE=COM1\r\n#CHAN=2\r\n#NAME=A B \r\n#XN=Time (sec)\r\n#F=166.666667\r\n"
              "#XX=0,0.006000\r\n10000000.000000\t-0.250000\t\r\n");
    // (The recorder's converter writes its header and rows with these same functions.)

    // Every reader of recordings and of their headers takes its numbers from this one.
    double v = 0;
    const char* text = "0.000003";
    EXPECT_EQ(ParseDouble(text, text + 8, &v), text + 8);
    EXPECT_EQ(v, 0.000003);
}

}  // namespace
}  // namespace korvex
