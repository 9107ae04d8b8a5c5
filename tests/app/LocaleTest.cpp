// SPDX-License-Identifier: GPL-3.0-or-later
// Numbers in files and fixed texts never follow the process locale. The GUI toolkit
// takes the user's locale (a Russian one writes "0,5"), so every number the program
// formats or reads is checked here under such a locale.
#include <gtest/gtest.h>
#include <locale.h>

#include <cstdio>

#include "app/ErrorCapture.h"
#include "app/StrPrintf.h"
#include "files/NumberParse.h"
#include "files/RecordingFollower.h"
#include "files/RecordingHeader.h"
#include "files/RecordingWriter.h"
#include "recorder/SectorConverter.h"
#include "sim/FrontPanel.h"
#include "sim/RecorderMemory.h"

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
    EXPECT_EQ(StrPrintf("Samples=%.3lf K", 0.183), "Samples=0.183 K");
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

    // A recorder sector converted: its header and space-separated rows keep the point.
    sim::RecorderMemory memory;
    uint16_t entry[5], words[kSectorWords];
    memory.EntryWords(0, entry);
    memory.SectorWords(0, 0, words);
    SectorConverter converter(0, DecodeFileEntry(entry));
    std::string sector_path = tmp.path() + "/s.trd";
    FILE* out = std::fopen(sector_path.c_str(), "wb");
    EXPECT_EQ(converter.Convert(0, words, out, nullptr), "");
    EXPECT_EQ(converter.Flush(out), "");
    std::fclose(out);
    std::string sector = test::ReadFileBytes(sector_path);
    EXPECT_NE(sector.find("\r\n#XX=0,0.002000\r\n#F=500.000000\r\n"), std::string::npos);
    std::string rows = sector.substr(sector.find("#F=") + 16);
    EXPECT_EQ(rows.find(','), std::string::npos) << rows.substr(0, 200);
    EXPECT_NE(rows.find("0.000000 "), std::string::npos) << rows.substr(0, 200);

    struct Sink : RowSink {
        void OnRow(const double* v, int n) override { rows.emplace_back(v, v + n); }
        void OnSampleRate(double r) override { rate = r; }
        std::vector<std::vector<double>> rows;
        double rate = 0;
    } sink;
    RecordingHeader h;
    uint64_t consumed = 0;
    ASSERT_EQ(ReadRecordingHeader(path, &h, &consumed), 0);
    RecordingFollower follower;
    follower.Open(path, 0, h.shown);
    follower.Poll(sink);
    EXPECT_EQ(sink.rate, 166.666667);
    ASSERT_EQ(sink.rows.size(), 1u);
    EXPECT_EQ(sink.rows[0], (std::vector<double>{1e7, -0.25}));

    double v = 0;
    const char* text = "0.000003";
    EXPECT_EQ(ParseDouble(text, text + 8, &v), text + 8);
    EXPECT_EQ(v, 0.000003);
}

}  // namespace
}  // namespace korvex
