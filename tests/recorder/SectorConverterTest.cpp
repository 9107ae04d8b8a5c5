// SPDX-License-Identifier: GPL-3.0-or-later
#include "recorder/SectorConverter.h"

#include <gtest/gtest.h>

#include <functional>

#include "recorder/SimulatedRecorder.h"

namespace korvex {
namespace {

using test::Entry;

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

}  // namespace
}  // namespace korvex
