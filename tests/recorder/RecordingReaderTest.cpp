// SPDX-License-Identifier: GPL-3.0-or-later
#include "recorder/RecordingReader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "app/Single.h"
#include "app/StrPrintf.h"
#include "recorder/SimulatedRecorder.h"

namespace korvex {
namespace {

using ReadRecordingTest = test::SimulatedRecorder;

// The rows a sector must give, computed here from the sector's words with printf: the
// four flag columns, the values of the layout and the root mean squares.
std::vector<std::string> ExpectedRows(const uint16_t* w, int nchan) {
    std::vector<std::string> rows;
    auto val = [&](const uint16_t* x, int c) { return ToSingle(int16_t(x[c]) * 0.0001); };
    auto rms = [](float a, float b, float c) {
        float m = ToSingle((double(a) * a + double(b) * b + double(c) * c) / 3);
        return ToSingle(std::sqrt(double(m)));
    };
    for (int k = 0; k < kSectorDataWords / nchan; ++k) {
        const uint16_t* x = w + 16 + k * nchan;
        std::vector<double> v = {(x[0] & 15) * 0.1, ((x[0] >> 8) & 1) * 0.15,
                                 ((x[0] >> 6) & 1) * 0.25, ((x[0] >> 7) & 1) * 0.35};
        if (nchan == 8) {
            for (int c = 1; c <= 7; ++c) v.push_back(val(x, c));
        } else {
            v.insert(v.end(), {val(x, 1), val(x, 8), val(x, 9),
                               rms(val(x, 1), val(x, 8), val(x, 9)), val(x, 2)});
            if (nchan == 12)
                v.insert(v.end(), {val(x, 10), val(x, 11), rms(val(x, 2), val(x, 10), val(x, 11))});
            for (int c = 3; c <= 7; ++c) v.push_back(val(x, c));
        }
        std::string row;
        char num[64];
        for (size_t i = 0; i < v.size(); ++i) {
            std::snprintf(num, sizeof num, i ? " %f" : "%f", v[i]);
            row += num;
        }
        rows.push_back(row + "\r");
    }
    return rows;
}

TEST_F(ReadRecordingTest, ARecordingInEachLayoutIsReadWhole) {
    // The simulated recorder: 12 channels at 500 Hz whose N wraps from 65535 to 0, 10
    // channels at 250 Hz, 8 channels at 50 Hz.
    for (int index : {0, 1, 2}) {
        sim::SimRecording rec = model.recorder->recording(index);
        std::vector<int> percents;
        RecorderReadEvents events;
        events.progress = [&](int p) { percents.push_back(p); };
        RecorderReadResult r = Read(index, no_stop, events);
        EXPECT_TRUE(r.messages.empty()) << r.messages[0];
        EXPECT_EQ(r.sectors, rec.sectors);
        EXPECT_EQ(percents.back(), 100);
        std::istringstream file(test::ReadFileBytes(r.path));
        std::string line;
        // The header, line for line, as other programs read it.
        const std::string flags = "#NAME=State*0.1 Write*0.15 Prot*0.2 RF*0.25 ";
        const std::string names = rec.nchan == 8    ? "Us Is If Uf Uexc P Q"
                                  : rec.nchan == 10 ? "Uab Ubc Uca Us Is If Uf Uexc P Q"
                                                    : "Uab Ubc Uca Us Ia Ib Ic Is If Uf Uexc P Q";
        const RecorderTime& t = rec.start;
        const std::vector<std::string> header = {
            "#FILE=\r",
            StrPrintf("#INFO=File : %4.4d_(%4.4d.%2.2d.%2.2d_%2.2d.%2.2d.%2.2d.%3.3d)\r", index + 1,
                      t.year, t.month, t.day, t.hour, t.minute, t.second, t.millisecond),
            flags + names + "\r",
            StrPrintf("#CHAN=%d\r", rec.nchan == 8    ? 11
                                    : rec.nchan == 10 ? 14
                                                      : 17),
            "#XN=Time (sec)\r",
            StrPrintf("#XX=0,%f\r", rec.div * 0.002),
            StrPrintf("#F=%f\r", 500.0 / rec.div)};
        for (const auto& expect : header) {
            std::getline(file, line);
            EXPECT_EQ(line, expect) << "recording " << index;
        }
        uint16_t w[kSectorWords];
        int rows = 0;
        for (int s = 0; s < rec.sectors; ++s) {
            model.recorder->SectorWords(index, s, w);
            for (const auto& expect : ExpectedRows(w, rec.nchan)) {
                ASSERT_TRUE(std::getline(file, line));
                ASSERT_EQ(line, expect) << "recording " << index << " sector " << s;
                ++rows;
            }
        }
        EXPECT_FALSE(std::getline(file, line)) << "nothing after the last row";
        EXPECT_EQ(rows, rec.sectors * (kSectorDataWords / rec.nchan));
    }
}

TEST_F(ReadRecordingTest, FailuresAndStopsKeepTheRowsOfTheSectorsBefore) {
    const int rows = kSectorDataWords / model.recorder->recording(1).nchan;
    auto data_rows = [](const std::string& path) {
        std::string f = test::ReadFileBytes(path);
        size_t n = 0;
        for (size_t p = f.find("#F=");
             p != std::string::npos && (p = f.find('\n', p)) != std::string::npos; ++p)
            ++n;
        return n ? n - 1 : 0;
    };
    // A bad format word in sector 0: the message alone, nothing converted, an empty file.
    model.recorder->faults->bad_format_sector = 0;
    RecorderReadResult r = Read(1, no_stop);
    EXPECT_EQ(r.messages, std::vector<std::string>{
                              "Ошибка: Неизвестный формат (0xFFFF) сектора данных (сектор=0)."});
    EXPECT_EQ(r.sectors, 0);
    EXPECT_EQ(test::ReadFileBytes(r.path), "");
    // ... in sector 3: the rows of sectors 0-2, the message with its appended line.
    model.recorder->faults->bad_format_sector = 3;
    r = Read(1, no_stop);
    EXPECT_EQ(r.sectors, 3);
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_NE(r.messages[0].find("(сектор=3).\nВозможно, запись была прервана."),
              std::string::npos);
    EXPECT_EQ(data_rows(r.path), size_t(3 * rows));
    model.recorder->faults->bad_format_sector = -1;
    // A sequence gap at sector 4.
    model.recorder->faults->sequence_gap_sector = 4;
    r = Read(1, no_stop);
    EXPECT_EQ(r.sectors, 4);
    EXPECT_EQ(r.messages, std::vector<std::string>{
                              "Ошибка последовательности номеров секторов\n(сектор=4: N=1205, "
                              "предыдущий: N=1203)."});
    model.recorder->faults->sequence_gap_sector = -1;

    // Stop asked during sector 5 of 10: sector 5 finishes, no message.
    model.recorder->Clear();
    sim::SimRecording ten;
    ten.sectors = 10;
    ten.start = {2026, 1, 2, 3, 4, 5, 6};
    model.recorder->Add(ten);
    StopToken stop;
    RecorderReadEvents events;
    events.progress = [&](int p) {
        if (p == 60) stop.RequestStop();  // the progress of sector 5
    };
    r = Read(0, stop, events);
    EXPECT_TRUE(r.messages.empty());
    EXPECT_TRUE(r.stopped);
    EXPECT_EQ(r.sectors, 6);
    EXPECT_EQ(data_rows(r.path), size_t(6 * rows));
    // A stop before the first sector: an empty file.
    stop.RequestStop();
    r = Read(0, stop);
    EXPECT_EQ(r.sectors, 0);
    EXPECT_EQ(test::ReadFileBytes(r.path), "");

    // 14 channels have no layout: the file keeps its first two lines, and the sector's
    // time has been shown all the same.
    sim::SimRecording fourteen = ten;
    fourteen.nchan = 14;
    model.recorder->Add(fourteen);
    stop.Reset();
    std::vector<std::string> stamps;
    RecorderReadEvents timed;
    timed.sector_time = [&](const std::string& t) { stamps.push_back(t); };
    r = Read(1, stop, timed);
    EXPECT_EQ(r.messages, std::vector<std::string>{"Ошибка: Неизвестный NCHAN (сектор 0)."});
    EXPECT_EQ(stamps.size(), 1u);
    EXPECT_EQ(test::ReadFileBytes(r.path),
              "#FILE=\r\n#INFO=File : 0002_(2026.01.02_03.04.05.006)\r\n");
}

}  // namespace
}  // namespace korvex
