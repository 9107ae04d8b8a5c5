// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <sstream>

#include "app/ErrorCapture.h"
#include "app/Language.h"
#include "app/Single.h"
#include "app/StrPrintf.h"
#include "app/TempDataDir.h"
#include "link/LinkTrace.h"
#include "link/ModBus.h"
#include "recorder/RecorderLink.h"
#include "recorder/RecorderPoll.h"
#include "recorder/RecorderTexts.h"
#include "recorder/RecordingReader.h"
#include "recorder/SectorConverter.h"
#include "recorder/SectorRead.h"
#include "sim/Regulator.h"

namespace korvex {
namespace {

const auto* const g_env = ::testing::AddGlobalTestEnvironment(new test::TempDataDirEnvironment);

RecorderFileEntry Entry(uint16_t sectors, uint16_t flags, uint16_t a = 0, uint16_t b = 0,
                        uint16_t c = 0) {
    uint16_t w[5] = {sectors, flags, a, b, c};
    return DecodeFileEntry(w);
}

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
    RecorderHeader h{1, 3, 1, 2};
    EXPECT_EQ(RecorderStatusLine(h, 4096),
              ru ? "Версия : 0.1 \tФайлов : 3    \tРазмер : 2.000 Mb \tТекущий файл : 3     "
                   "\tЗапись : Вкл (ручн)"
                 : "Version:0.1 \tFiles:3    \tSize : 2.000 Mb \tCurrent File : 3      \tWrite "
                   ": On (manu)");
    h = RecorderHeader{1, 0, 3, 0};
    EXPECT_EQ(RecorderStatusLine(h, 4096), ru ? "Версия : 0.1 \tФайлов : 0    \tЗапись : Вкл (авто)"
                                              : "Version:0.1 \tFiles:0    \tWrite : On (auto)");
    h = RecorderHeader{1, 0, 2, 0};
    EXPECT_EQ(RecorderStatusLine(h, 0), ru ? "Версия : 0.1 \tФайлов : 0    \tЗапись : Откл      "
                                           : "Version:0.1 \tFiles:0    \tWrite : Off      ");
    EXPECT_EQ(RecorderColumnCaption(3), ru ? "F (Гц)" : "F,Hz");
    EXPECT_EQ(RecorderColumnWidthSample(1), ru ? "Запись             " : "Write           ");
}

INSTANTIATE_TEST_SUITE_P(BothLanguages, RecorderTexts, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Russian" : "English"; });

// A sector as the regulator sends it: head words, then `samples` of `nchan` words.
struct Sector {
    uint16_t w[kSectorWords] = {};
    Sector(uint16_t n, uint16_t flags, uint16_t a, uint16_t b, uint16_t c) {
        w[0] = n;
        w[1] = flags;
        w[2] = a;
        w[3] = b;
        w[4] = c;
        w[5] = a;
        w[6] = b;
        w[7] = c;
        w[8] = kSectorFormat;
    }
};

class SectorConverterTest : public ::testing::Test {
protected:
    // 10 channels, DIV 2, status 2, reason 3.
    const uint16_t flags = 2 | 2 << 2 | 1 << 6 | 3 << 8;
    RecorderFileEntry entry = Entry(4, flags, 0xE9C8, 0x7A8F, 0x00D5);
    test::TempDir tmp;
    std::string path = tmp.path() + "/r.trd";
    FILE* out = std::fopen(path.c_str(), "wb");
    ~SectorConverterTest() override {
        if (out) std::fclose(out);
    }
    std::string Written() {
        std::fflush(out);
        return test::ReadFileBytes(path);
    }
};

TEST_F(SectorConverterTest, HeaderFlagsValuesAndTheRootMeanSquare) {
    SectorConverter conv(2, entry);
    Sector s(65535, flags, 0xE9C8, 0x7A8F, 0x00D5);
    uint16_t* x = s.w + 16;
    x[0] = 0x01C5;  // State 5, Write, Prot, RF
    x[1] = 10000;   // Uab 1.0
    x[2] = 0x7FFF;  // Is
    x[3] = 0x8000;  // If
    x[8] = 10000;   // Ubc
    x[9] = 10000;   // Uca
    std::string stamp;
    EXPECT_EQ(conv.Convert(0, s.w, out, &stamp), "");
    EXPECT_EQ(stamp, "2013-05-15     10:15:58:456");
    EXPECT_EQ(conv.samples_per_sector(), 24);
    EXPECT_EQ(conv.Flush(out), "");
    std::string file = Written();
    EXPECT_EQ(file.substr(0, file.find("0.500000")),
              "#FILE=\r\n#INFO=File : 0003_(2013.05.15_10.15.58.456)\r\n"
              "#NAME=State*0.1 Write*0.15 Prot*0.2 RF*0.25 Uab Ubc Uca Us Is If Uf Uexc P Q\r\n"
              "#CHAN=14\r\n#XN=Time (sec)\r\n#XX=0,0.004000\r\n#F=250.000000\r\n");
    EXPECT_NE(file.find("0.500000 0.150000 0.250000 0.350000 1.000000 1.000000 1.000000 "
                        "1.000000 3.276700 -3.276800 0.000000 0.000000 0.000000 0.000000\r\n"),
              std::string::npos);
    // N wraps from 65535 to 0.
    Sector next(0, flags, 0xE9C8, 0x7A8F, 0x00D5);
    EXPECT_EQ(conv.Convert(1, next.w, out, nullptr), "");
    EXPECT_EQ(RecorderFileBaseName(2, entry), "0003_(2013.05.15_10.15.58.456).trd");
}

TEST_F(SectorConverterTest, EveryValidationFailureHasItsMessage) {
    const std::string interrupted = "\nВозможно, запись была прервана.";
    struct Case {
        int sector;  // the sector that fails; those before it pass
        std::function<void(Sector&)> spoil;
        std::string message;
        RecorderFileEntry table;
    } cases[] = {
        {0, [](Sector& s) { s.w[8] = 0xFFFF; },
         "Ошибка: Неизвестный формат (0xFFFF) сектора данных (сектор=0).", entry},
        {3, [](Sector& s) { s.w[8] = 0xFFFF; },
         "Ошибка: Неизвестный формат (0xFFFF) сектора данных (сектор=3)." + interrupted, entry},
        {0, [](Sector& s) { s.w[1] ^= 1 << 2; },
         "Ошибка: DIV_file (сектор=0) отличается от DIV_info.", entry},
        {0, [](Sector& s) { s.w[1] &= uint16_t(~(0xF << 2)); },
         "Ошибка: DIV_file (сектор=0) равен 0.", Entry(4, uint16_t(flags & ~(0xF << 2)))},
        {0, [](Sector& s) { s.w[1] ^= 1 << 7; },
         "Ошибка: NCHAN_file (сектор 0) отличается от NCHAN_info.", entry},
        {0, [](Sector& s) { s.w[3] ^= 1; },
         "Ошибка: TimeBeg_file (сектор 0) отличается от TimeBeg_info.", entry},
        {2, [](Sector& s) { s.w[4] ^= 1; },
         "Ошибка: TimeBeg_file (сектор 2) отличается от TimeBeg_info." + interrupted, entry},
        {1, [](Sector& s) { s.w[1] ^= 1 << 8; },
         "Ошибка: FLAGS_file (сектор 1) отличается от FLAGS_info." + interrupted, entry},
        {2, [](Sector& s) { s.w[0] = 103; },
         "Ошибка последовательности номеров секторов\n(сектор=2: N=103, предыдущий: N=101).",
         entry},
    };
    for (auto& c : cases) {
        SectorConverter conv(0, c.table);
        std::string message;
        int s = 0;
        for (; s <= c.sector; ++s) {
            Sector sector(uint16_t(100 + s), c.table.flags, 0xE9C8, 0x7A8F, 0x00D5);
            if (s == c.sector) c.spoil(sector);
            message = conv.Convert(s, sector.w, out, nullptr);
            if (!message.empty()) break;
        }
        EXPECT_EQ(s, c.sector) << c.message;
        EXPECT_EQ(message, c.message);
    }

    // 14 channels have no layout: the file keeps its first two lines.
    std::fclose(out);
    out = std::fopen(path.c_str(), "wb");
    const uint16_t fourteen = 2 | 2 << 2 | 3 << 6;
    SectorConverter conv(0, Entry(1, fourteen, 0xE9C8, 0x7A8F, 0x00D5));
    Sector sector(0, fourteen, 0xE9C8, 0x7A8F, 0x00D5);
    EXPECT_EQ(conv.Convert(0, sector.w, out, nullptr), "Ошибка: Неизвестный NCHAN (сектор 0).");
    EXPECT_EQ(Written(), "#FILE=\r\n#INFO=File : 0001_(2013.05.15_10.15.58.456)\r\n");
}

// The recorder of the simulated regulator on a real pseudo-terminal, in ModBus mode at
// 230400 baud; no busy time unless a test wants it.
class RecorderLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string err;
        ASSERT_TRUE(sim::StartRegulator(sim, model, &err)) << err;
        model.recorder->faults->busy_ms = 0;
        settings.port_name = sim.port_path();
        settings.av_baud = 230400;
        link = OpenRecorder(settings, &messages);
        ASSERT_NE(link.port, nullptr) << (messages.empty() ? "" : messages[0]);
    }
    void TearDown() override {
        SetLinkTrace(nullptr);
        CloseRecorder(&link, &messages);
    }
    // Counts the ModBus requests the next calls make.
    void CountRequests() {
        requests = 0;
        SetLinkTrace([this](bool tx, const uint8_t*, size_t) { requests += tx; });
    }
    RecorderReadResult Read(int index, const std::atomic<bool>& stop,
                            RecorderReadEvents events = {}) {
        uint16_t w[5];
        model.recorder->EntryWords(index, w);
        return ReadRecording(link.port, index, DecodeFileEntry(w), stop, events);
    }

    sim::SimRegulator sim;
    sim::RegulatorModel model;
    LinkSettings settings;
    std::vector<std::string> messages;
    RecorderLink link;
    std::atomic<int> requests{0};
    std::atomic<bool> no_stop{false};
};

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

TEST_F(RecorderLinkTest, ARecordingInEachLayoutIsReadWhole) {
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

TEST_F(RecorderLinkTest, FailuresAndStopsKeepTheRowsOfTheSectorsBefore) {
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
    std::atomic<bool> stop{false};
    RecorderReadEvents events;
    events.progress = [&](int p) {
        if (p == 60) stop = true;  // the progress of sector 5
    };
    r = Read(0, stop, events);
    EXPECT_TRUE(r.messages.empty());
    EXPECT_TRUE(r.stopped);
    EXPECT_EQ(r.sectors, 6);
    EXPECT_EQ(data_rows(r.path), size_t(6 * rows));
    // A stop before the first sector: an empty file.
    stop = true;
    r = Read(0, stop);
    EXPECT_EQ(r.sectors, 0);
    EXPECT_EQ(test::ReadFileBytes(r.path), "");

    // 14 channels have no layout: the file keeps its first two lines, and the sector's
    // time has been shown all the same.
    sim::SimRecording fourteen = ten;
    fourteen.nchan = 14;
    model.recorder->Add(fourteen);
    stop = false;
    std::vector<std::string> stamps;
    RecorderReadEvents timed;
    timed.sector_time = [&](const std::string& t) { stamps.push_back(t); };
    r = Read(1, stop, timed);
    EXPECT_EQ(r.messages, std::vector<std::string>{"Ошибка: Неизвестный NCHAN (сектор 0)."});
    EXPECT_EQ(stamps.size(), 1u);
    EXPECT_EQ(test::ReadFileBytes(r.path),
              "#FILE=\r\n#INFO=File : 0002_(2026.01.02_03.04.05.006)\r\n");
}

TEST_F(RecorderLinkTest, BusyAnswersAndOverrunsAreRetriedWithinTheirLimits) {
    // Busy answers to the first chunk for 300 ms pass; for 700 ms they stop the read.
    model.recorder->faults->busy_ms = 300;
    uint16_t w[kSectorWords];
    std::string text;
    const uint16_t sector = 2;
    ASSERT_EQ(ModBus_WriteMultipleReg(link.port, 1, kRecorderSectorReg, 1, &sector, &text), 0u);
    EXPECT_EQ(AvOsc_ReadSector(link.port, w, &text), 0u) << text;
    model.recorder->faults->busy_ms = 700;
    ASSERT_EQ(ModBus_WriteMultipleReg(link.port, 1, kRecorderSectorReg, 1, &sector, &text), 0u);
    EXPECT_EQ(AvOsc_ReadSector(link.port, w, &text), kModBusExceptionBase + 6);
    EXPECT_NE(text.find("Exception 6 (SLAVE_BUSY)"), std::string::npos) << text;
    // A busy answer to the second chunk is a failure at once.
    model.recorder->faults->busy_ms = 0;
    model.recorder->faults->busy_second_chunk = 1;
    CountRequests();
    EXPECT_EQ(AvOsc_ReadSector(link.port, w, &text), kModBusExceptionBase + 6);
    EXPECT_EQ(requests, 2);

    // Overruns, through the port's line-status seam: two per chunk pass, a third stops.
    // An attempt whose answer overruns reads the counters three times: when the pending
    // input is discarded before the request, after the answer's first bytes (the overrun
    // shows there), and when the rest of the damaged answer is discarded. A rise seen
    // at a discard is no error, so each overrun takes three of `left`.
    struct Overruns : LineStatusSource {
        bool ReadCounts(intptr_t, LineErrorCounts* out) override {
            if (left > 0) {
                --left;
                ++counts.overrun;
            }
            *out = counts;
            return true;
        }
        LineErrorCounts counts;
        int left = 0;
    } overruns;
    link.port->line_status = &overruns;
    link.port->counts = overruns.counts;
    link.port->counts_known = true;
    overruns.left = 6;
    CountRequests();
    EXPECT_EQ(AvOsc_ReadSector(link.port, w, &text), 0u) << text;
    EXPECT_EQ(requests, 5) << "two repeats of the first chunk, then the other two";
    overruns.left = 8;
    EXPECT_EQ(AvOsc_ReadSector(link.port, w, &text), 35u);
    EXPECT_EQ(text, "Слишком много попыток считывания сектора (OVER)");
    link.port->line_status = &KernelLineStatus();
    link.port->counts_known = false;
}

TEST_F(RecorderLinkTest, ThePollMakesOnlyTheExchangesItNeeds) {
    RecorderPoller poller(link.port);
    CountRequests();
    RecorderPollResult r = poller.Poll();
    EXPECT_EQ(requests, 1 + 1 + 4) << "header, size, the whole table of 4";
    EXPECT_EQ(r.rows_after, 4);
    EXPECT_EQ(r.redraw, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_TRUE(r.status_changed);
    EXPECT_TRUE(r.write_visibility_changed && r.write_visible);
    CountRequests();
    r = poller.Poll();
    EXPECT_EQ(requests, 1) << "nothing changed: the header alone";
    EXPECT_TRUE(r.redraw.empty());
    EXPECT_FALSE(r.status_changed);

    // Manual recording on: a growing entry of status 1, the current one.
    std::string text;
    ASSERT_EQ(ModBus_WriteSingleReg(link.port, 1, kRecorderSwitchReg, 1, &text), 0u);
    r = poller.Poll();
    EXPECT_EQ(r.rows_after, 5);
    EXPECT_TRUE(r.write_state_changed && r.write_checked && r.write_enabled);
    CountRequests();
    r = poller.Poll();
    EXPECT_EQ(requests, 1 + 1) << "the header and the entry being recorded";
    EXPECT_EQ(r.redraw, std::vector<int>{4});
    ASSERT_EQ(ModBus_WriteSingleReg(link.port, 1, kRecorderSwitchReg, 0, &text), 0u);
    r = poller.Poll();
    EXPECT_EQ(r.table[4].status(), 2);
    EXPECT_TRUE(r.write_state_changed && !r.write_checked);
    CountRequests();
    poller.Poll();
    EXPECT_EQ(requests, 1);

    // An automatic recording disables the box.
    model.recorder->StartAutomatic(9, 60);
    r = poller.Poll();
    EXPECT_TRUE(r.write_state_changed && r.write_checked && !r.write_enabled);
}

TEST_F(RecorderLinkTest, RowsComeAndGoAtTheEndAndAFullTableIsReadOnce) {
    RecorderPoller poller(link.port);
    for (int i = 0; i < 1; ++i) {
        sim::SimRecording extra;
        extra.sectors = 3;
        model.recorder->Add(extra);
    }
    RecorderPollResult r = poller.Poll();
    ASSERT_EQ(r.rows_after, 5);
    model.recorder->faults->file_count = 3;
    r = poller.Poll();
    EXPECT_EQ(r.rows_before, 5);
    EXPECT_EQ(r.rows_after, 3);
    EXPECT_EQ(r.redraw, (std::vector<int>{0, 1, 2})) << "every remaining row";
    model.recorder->faults->file_count = 0;
    r = poller.Poll();
    EXPECT_EQ(r.rows_after, 0);
    EXPECT_TRUE(r.table_empty);
    EXPECT_FALSE(r.list_enabled);
    EXPECT_TRUE(r.write_visibility_changed && !r.write_visible);
    model.recorder->faults->file_count = -1;
    CountRequests();
    r = poller.Poll();
    EXPECT_EQ(requests, 1 + 1 + 5) << "a new table is read in full";

    // 600 files: the message once, 512 rows.
    model.recorder->faults->file_count = 600;
    RecorderPoller big(link.port);
    r = big.Poll();
    EXPECT_EQ(r.messages, std::vector<std::string>{"Слишком много файлов!"});
    EXPECT_EQ(r.rows_after, 512);
    EXPECT_FALSE(r.close);
    r = big.Poll();
    EXPECT_TRUE(r.messages.empty());

    // Versions 0 and 2 close the window with their texts.
    model.recorder->faults->version = 0;
    r = poller.Poll();
    EXPECT_TRUE(r.close);
    EXPECT_EQ(r.link_status, 0u);
    EXPECT_EQ(r.messages,
              std::vector<std::string>{"Эта система не имеет\nаварийного осциллографа!"});
    model.recorder->faults->version = 2;
    r = poller.Poll();
    EXPECT_EQ(r.messages,
              std::vector<std::string>{"Версия аварийного осциллографа\nне поддерживается!"});
    model.recorder->faults->version = 1;
    // A failed exchange closes it with the ModBus text and a link status.
    model.modbus_faults->silent = 1;
    r = poller.Poll();
    EXPECT_TRUE(r.close);
    EXPECT_EQ(r.link_status, kRS232ShortReceive);
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_EQ(r.messages[0].rfind("ModBus_ReadHldReg(Addr=1, Reg=32768, Num=4):\n", 0), 0u);
}

TEST(RecorderEntry, TheModeStartsOnlyWithARecorder) {
    sim::SimRegulator sim;
    sim::RegulatorModel model;
    std::string err;
    ASSERT_TRUE(sim::StartRegulator(sim, model, &err)) << err;
    LinkSettings settings;
    settings.port_name = sim.port_path();
    settings.av_baud = 57600;
    std::vector<std::string> messages;
    RecorderLink link = OpenRecorder(settings, &messages);
    EXPECT_EQ(link.port, nullptr);
    EXPECT_EQ(messages, std::vector<std::string>{"Unsupported Osc.AvSpeed"});
    EXPECT_TRUE(sim.Received().empty()) << "the port untouched";

    // Version 0: the message, and the regulator back in its normal mode.
    model.recorder->faults->version = 0;
    settings.av_baud = 115200;
    messages.clear();
    link = OpenRecorder(settings, &messages);
    EXPECT_EQ(link.port, nullptr);
    EXPECT_EQ(messages, std::vector<std::string>{"Система не имеет аварийного осциллографа!"});
    auto received = sim.Received();
    ASSERT_GE(received.size(), 8u);
    EXPECT_EQ(std::vector<uint8_t>(received.begin(), received.begin() + 8),
              (std::vector<uint8_t>{0xFF, 0xFE, 0xFC, 0x00, 0x00, 0x02, 0x80, 0xF5}))
        << "key 640";
    for (int i = 0; i < 100 && sim.current_mode() != "normal"; ++i) usleep(2000);
    EXPECT_EQ(sim.current_mode(), "normal");
}

}  // namespace
}  // namespace korvex
