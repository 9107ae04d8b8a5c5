// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "app/ErrorCapture.h"
#include "app/StrPrintf.h"
#include "files/ComtradeExport.h"
#include "files/CsvExport.h"
#include "files/RecordingData.h"

namespace korvex {
namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find("\r\n", at);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> f;
    std::stringstream s(line);
    for (std::string x; std::getline(s, x, ',');) f.push_back(x);
    if (!line.empty() && line.back() == ',') f.emplace_back();
    return f;
}

// A recorder file: flags, measured values with a known range, a clock at its start.
class ExportTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string file =
            "#FILE=\r\n#INFO=File : 0002_(2026.11.25_03.41.55.020)\r\n"
            "#NAME=State*0.1 Write*0.15 Prot*0.2 RF*0.25 Us If\r\n#CHAN=6\r\n"
            "#XN=Time (sec)\r\n#XX=0,0.004000\r\n#F=250.000000\r\n";
        for (int r = 0; r < 500; ++r) {
            bool fault = r >= 200 && r < 300;
            file += StrPrintf("%f %f %f %f %f %f\r\n", fault ? 0.3 : 0.1, r >= 100 ? 0.15 : 0.0,
                              fault ? 0.25 : 0.0, r == 250 ? 0.35 : 0.0,
                              1.0 + 0.25 * std::sin(r * 0.05), fault ? 3.0 : 1.5 - r * 1e-4);
        }
        test::WriteFileBytes(src, file);
        ASSERT_TRUE(data.Load(src));
    }
    test::TempDir tmp;
    std::string src = tmp.path() + "/0002.trd";
    RecordingData data;
};

TEST_F(ExportTest, CsvReadsBackExactly) {
    std::string out = tmp.path() + "/x.csv";
    ASSERT_TRUE(ExportCsv(data, 0, data.rows(), out, false, nullptr));
    auto lines = Lines(test::ReadFileBytes(out));
    ASSERT_EQ(lines.size(), 501u);
    EXPECT_EQ(lines[0], "Time (s),State*0.1,Write*0.15,Prot*0.2,RF*0.25,Us,If");
    EXPECT_EQ(lines[1].substr(0, 10), "0,0.1,0,0,");
    EXPECT_EQ(Fields(lines[251])[0], "1");  // 250 × 0.004 s
    EXPECT_EQ(Fields(lines[4])[0], "0.012");
    for (size_t r = 0; r < data.rows(); ++r) {
        auto f = Fields(lines[r + 1]);
        ASSERT_EQ(f.size(), 7u);
        for (int c = 0; c < 6; ++c)
            ASSERT_EQ(std::strtod(f[size_t(c) + 1].c_str(), nullptr), data.value(c, r)) << r;
    }
    // A range, and a file that exists is kept.
    ASSERT_TRUE(ExportCsv(data, 100, 103, tmp.path() + "/r.csv", false, nullptr));
    auto range = Lines(test::ReadFileBytes(tmp.path() + "/r.csv"));
    ASSERT_EQ(range.size(), 4u);
    EXPECT_EQ(Fields(range[1])[0], "0.4");
    std::string err;
    EXPECT_FALSE(ExportCsv(data, 0, 1, out, false, &err));
    EXPECT_EQ(err, "'" + out + "' already exists");
    EXPECT_EQ(Lines(test::ReadFileBytes(out)).size(), 501u);
#ifndef _WIN32  // a directory no one may write into, as POSIX permissions make it
    std::string dir = tmp.path() + "/ro";
    mkdir(dir.c_str(), 0555);
    if (geteuid() != 0) {  // root writes anywhere
        EXPECT_FALSE(ExportCsv(data, 0, 1, dir + "/x.csv", false, &err));
        EXPECT_EQ(err, "Create File '" + dir + "/x.csv' error: error 13");
    }
#endif
}

TEST_F(ExportTest, ComtradeConfigurationLines) {
    ASSERT_TRUE(
        ExportComtrade(data, 0, data.rows(), tmp.path() + "/rec.cfg", false, false, nullptr));
    auto cfg = Lines(test::ReadFileBytes(tmp.path() + "/rec.cfg"));
    ASSERT_EQ(cfg.size(), 15u);
    EXPECT_EQ(cfg[0], "File : 0002_(2026.11.25_03.41.55.020),Korvex,1999");
    EXPECT_EQ(cfg[1], "6,3A,3D");  // State, Us, If; Write, Prot, RF
    auto a1 = Fields(cfg[2]);
    ASSERT_EQ(a1.size(), 13u);
    EXPECT_EQ(a1[0], "1");
    EXPECT_EQ(a1[1], "State*0.1");
    EXPECT_EQ(a1[4], "NA");
    EXPECT_EQ(cfg[3].substr(0, 9), "2,Us,,,pu");
    EXPECT_EQ(a1[7] + "," + a1[8] + "," + a1[9] + "," + a1[10] + "," + a1[11] + "," + a1[12],
              "0,-32767,32767,1,1,P");
    EXPECT_EQ(std::vector<std::string>(cfg.begin() + 5, cfg.end()),
              (std::vector<std::string>{"1,Write*0.15,,,0", "2,Prot*0.2,,,0", "3,RF*0.25,,,0", "50",
                                        "1", "250,500", "25/11/2026,03:41:55.020000",
                                        "25/11/2026,03:41:55.020000", "ASCII", "1"}));
    // A range starts later; the .dat goes with the .cfg, and neither replaces a record.
    ASSERT_TRUE(ExportComtrade(data, 250, 260, tmp.path() + "/part", true, false, nullptr));
    auto part = Lines(test::ReadFileBytes(tmp.path() + "/part.cfg"));
    EXPECT_EQ(part[10], "250,10");
    EXPECT_EQ(part[11], "25/11/2026,03:41:56.020000");
    EXPECT_EQ(part[13], "BINARY");
    // A header whose rate contradicts its time step: the step tells the time.
    test::WriteFileBytes(tmp.path() + "/odd.trd",
                         "#CHAN=1\r\n#NAME=U\r\n#F=0\r\n#XX=0,0.002000\r\n1\r\n2\r\n");
    RecordingData odd;
    ASSERT_TRUE(odd.Load(tmp.path() + "/odd.trd"));
    EXPECT_EQ(Lines(ComtradeConfigText(PlanComtrade(odd, 0, 2, true)))[5], "500,2");
    std::string err;
    test::WriteFileBytes(tmp.path() + "/taken.dat", "x");
    EXPECT_FALSE(ExportComtrade(data, 0, 10, tmp.path() + "/taken", true, false, &err));
    EXPECT_EQ(err, "'" + tmp.path() + "/taken.dat' already exists");
    struct stat st {};
    EXPECT_NE(stat((tmp.path() + "/taken.cfg").c_str(), &st), 0);
}

// Ranges that a factor cannot be made of naively: one too narrow to divide (0 and the
// smallest double), one whose width overflows (±1.7e308). Both get a finite, non-zero
// factor and samples within ±32767, in both file types.
TEST_F(ExportTest, ComtradeDegenerateRanges) {
    test::WriteFileBytes(tmp.path() + "/range.trd",
                         "#INFO=File : 0001_(2026.01.02_03.04.05.006)\r\n#CHAN=2\r\n"
                         "#NAME=Tiny Huge\r\n#XX=0,0.01\r\n0 -1.7e308\r\n"
                         "4.9406564584124654e-324 1.7e308\r\n");  // the smallest double
    RecordingData d;
    ASSERT_TRUE(d.Load(tmp.path() + "/range.trd"));
    for (bool binary : {false, true}) {
        std::string base = tmp.path() + (binary ? "/bin" : "/asc");
        ASSERT_TRUE(ExportComtrade(d, 0, 2, base, binary, false, nullptr));
        auto cfg = Lines(test::ReadFileBytes(base + ".cfg"));
        ASSERT_EQ(cfg.size(), 11u);
        EXPECT_EQ(cfg[1], "2,2A,0D");
        EXPECT_EQ(cfg[2], "1,Tiny,,,NA,2.2250738585072014e-308,0,0,-32767,32767,1,1,P");
        EXPECT_EQ(cfg[3], "2,Huge,,,NA,5.1881466109195223e+303,0,0,-32767,32767,1,1,P");
        EXPECT_EQ(cfg[6], "100,2");
        EXPECT_EQ(cfg[7], "02/01/2026,03:04:05.006000");
        std::string dat = test::ReadFileBytes(base + ".dat");
        if (binary) {
            EXPECT_EQ(dat, std::string("\x01\0\0\0\0\0\0\0\0\0\x01\x80"
                                       "\x02\0\0\0\x10\x27\0\0\0\0\xFF\x7F",
                                       24));
        } else {
            EXPECT_EQ(dat, "1,0,0,-32767\r\n2,10000,0,32767\r\n");
        }
    }
}

// Time steps whose rate or dates COMTRADE cannot hold are refused before any file is
// made; the .cfg text of such a plan still has a four-digit year.
TEST_F(ExportTest, ComtradeDegenerateTimeSteps) {
    struct Case {
        const char* header;
        const char* step;
    } cases[] = {{"#XX=0,1e300", "1e+300"},
                 {"#F=1e-300", "9.999999999999999e+299"},
                 {"#XX=0,1e-320", "1e-320"}};
    for (const auto& c : cases) {
        std::string file = tmp.path() + "/step.trd";
        test::WriteFileBytes(file,
                             std::string("#CHAN=1\r\n#NAME=U\r\n") + c.header + "\r\n1\r\n2\r\n");
        RecordingData d;
        ASSERT_TRUE(d.Load(file)) << c.header;
        for (bool binary : {false, true}) {
            std::string err;
            EXPECT_FALSE(ExportComtrade(d, 0, 2, tmp.path() + "/step", binary, false, &err));
            EXPECT_EQ(err, std::string("The time step of ") + c.step +
                               " s cannot be written to COMTRADE: the sample rate or the dates "
                               "are out of range");
            EXPECT_FALSE(std::filesystem::exists(tmp.path() + "/step.cfg"));
            EXPECT_FALSE(std::filesystem::exists(tmp.path() + "/step.dat"));
        }
        if (&c == &cases[0]) {  // its first row lies 1e300 s before the file's time stamp
            EXPECT_EQ(Lines(ComtradeConfigText(PlanComtrade(d, 0, 2, true)))[6],
                      "01/01/0001,00:00:00.000000");
        }
    }
}

// An export never replaces the recording it reads, under whatever name it is given, even
// with `overwrite`; nothing is left behind.
TEST_F(ExportTest, TheRecordingItselfIsNeverReplaced) {
    const std::string original = test::ReadFileBytes(src);
    std::string err;
    std::string same = tmp.path() + "/./0002.trd";
    EXPECT_FALSE(ExportCsv(data, 0, data.rows(), same, true, &err));
    EXPECT_EQ(err, "'" + same + "' is the recording being exported: it is not replaced");
    // "rec.dat" exported to the record "rec": its .dat would be the recording.
    test::WriteFileBytes(tmp.path() + "/rec.dat", original);
    RecordingData rec;
    ASSERT_TRUE(rec.Load(tmp.path() + "/rec.dat"));
    for (bool binary : {true, false}) {
        EXPECT_FALSE(ExportComtrade(rec, 0, rec.rows(), tmp.path() + "/rec", binary, true, &err));
        EXPECT_EQ(err, "'" + tmp.path() +
                           "/rec.dat' is the recording being exported: it is not "
                           "replaced");
    }
    EXPECT_EQ(test::ReadFileBytes(src), original);
    EXPECT_EQ(test::ReadFileBytes(tmp.path() + "/rec.dat"), original);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tmp.path()),
                            std::filesystem::directory_iterator()),
              2)
        << "no .cfg, no temporary";
    // Another file of the same content is replaced as asked.
    test::WriteFileBytes(tmp.path() + "/copy.csv", original);
    EXPECT_TRUE(ExportCsv(data, 0, 1, tmp.path() + "/copy.csv", true, &err)) << err;
}

// The samples come back within the quantisation the .cfg states, in both file types, and
// the flags as 0 or 1.
TEST_F(ExportTest, ComtradeSamplesBackWithinTheStatedError) {
    for (bool binary : {false, true}) {
        std::string base = tmp.path() + (binary ? "/b" : "/a");
        ASSERT_TRUE(ExportComtrade(data, 0, data.rows(), base, binary, false, nullptr));
        auto cfg = Lines(test::ReadFileBytes(base + ".cfg"));
        std::vector<double> a, b;
        for (int k = 0; k < 3; ++k) {
            auto f = Fields(cfg[size_t(2 + k)]);
            a.push_back(std::strtod(f[5].c_str(), nullptr));
            b.push_back(std::strtod(f[6].c_str(), nullptr));
        }
        const int analog_col[3] = {0, 4, 5}, status_col[3] = {1, 2, 3};
        std::string dat = test::ReadFileBytes(base + ".dat");
        auto lines = Lines(dat);
        if (binary) {
            ASSERT_EQ(dat.size(), 500u * (4 + 4 + 3 * 2 + 2));
        }
        for (size_t r = 0; r < 500; ++r) {
            long number, stamp;
            std::vector<long> s(3), flag(3);
            if (binary) {
                const auto* p = reinterpret_cast<const unsigned char*>(dat.data()) + r * 16;
                auto u16 = [&](int at) { return long(p[at] | (p[at + 1] << 8)); };
                number = u16(0) | (u16(2) << 16);
                stamp = u16(4) | (u16(6) << 16);
                for (int k = 0; k < 3; ++k) s[size_t(k)] = int16_t(u16(8 + 2 * k));
                for (int k = 0; k < 3; ++k) flag[size_t(k)] = (u16(14) >> k) & 1;
            } else {
                auto f = Fields(lines[r]);
                ASSERT_EQ(f.size(), 8u);
                number = std::atol(f[0].c_str());
                stamp = std::atol(f[1].c_str());
                for (int k = 0; k < 3; ++k) s[size_t(k)] = std::atol(f[size_t(2 + k)].c_str());
                for (int k = 0; k < 3; ++k) flag[size_t(k)] = std::atol(f[size_t(5 + k)].c_str());
            }
            ASSERT_EQ(number, long(r + 1));
            ASSERT_EQ(stamp, long(r * 4000));  // µs
            for (int k = 0; k < 3; ++k) {
                const double* col = data.column(analog_col[k]);
                double range =
                    *std::max_element(col, col + 500) - *std::min_element(col, col + 500);
                ASSERT_LE(std::fabs(a[size_t(k)] * double(s[size_t(k)]) + b[size_t(k)] - col[r]),
                          range / 30000)
                    << r << " " << k;
                ASSERT_LE(std::labs(s[size_t(k)]), 32767);
            }
            for (int k = 0; k < 3; ++k)
                ASSERT_EQ(flag[size_t(k)], data.value(status_col[k], r) != 0 ? 1 : 0)
                    << r << " " << k;
        }
    }
}

}  // namespace
}  // namespace korvex
