// SPDX-License-Identifier: GPL-3.0-or-later
#include "recorder/SectorConverter.h"

#include <gtest/gtest.h>

#include <functional>

#include "recorder/SimulatedRecorder.h"

namespace korvex {
namespace {

using test::Entry;

// A sector as the regulator sends it: head words (TimeBeg of 2013-05-15 10:15:58.456
// twice), then its samples of NCHAN words each.
struct Sector {
    uint16_t w[kSectorWords];
    Sector(uint16_t n, uint16_t flags)
        : w{n, flags, 0xE9C8, 0x7A8F, 0x00D5, 0xE9C8, 0x7A8F, 0x00D5, kSectorFormat} {}
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

TEST_F(SectorConverterTest, EachLayoutsHeaderFlagsValuesAndRootMeanSquares) {
    // The same first sample in each layout: State 5, Write, Prot and RF; Uab 1.0, Is (or
    // Ia) at the top of the range, If at the bottom, Ubc and Uca 2.0; Ib 1.1 and Ic 1.2.
    struct Layout {
        uint16_t code_and_div;  // NCHAN code << 6 | DIV << 2
        std::string names, chan_and_rate, row;
    } layouts[] = {
        {0 << 6 | 10 << 2, "Us Is If Uf Uexc P Q",
         "11\r\n#XN=Time (sec)\r\n#XX=0,0.020000\r\n#F=50.000000",
         "1.000000 3.276700 -3.276800 0.400000 0.500000 0.600000 0.700000"},
        {1 << 6 | 2 << 2, "Uab Ubc Uca Us Is If Uf Uexc P Q",
         "14\r\n#XN=Time (sec)\r\n#XX=0,0.004000\r\n#F=250.000000",
         "1.000000 2.000000 2.000000 1.732051 3.276700 -3.276800 0.400000 0.500000 0.600000 "
         "0.700000"},
        {2 << 6 | 1 << 2, "Uab Ubc Uca Us Ia Ib Ic Is If Uf Uexc P Q",
         "17\r\n#XN=Time (sec)\r\n#XX=0,0.002000\r\n#F=500.000000",
         "1.000000 2.000000 2.000000 1.732051 3.276700 1.100000 1.200000 2.112405 -3.276800 "
         "0.400000 0.500000 0.600000 0.700000"},
    };
    for (const auto& l : layouts) {
        const uint16_t f = uint16_t(l.code_and_div | 2 | 3 << 8);
        const RecorderFileEntry e = Entry(4, f, 0xE9C8, 0x7A8F, 0x00D5);
        SectorConverter conv(2, e);
        Sector s(65535, f);
        const uint16_t x[] = {0x01C5, 10000, 0x7FFF, 0x8000, 4000,  5000,
                              6000,   7000,  20000,  20000,  11000, 12000};
        std::copy(x, x + e.nchan(), s.w + 16);
        out = std::freopen(path.c_str(), "wb", out);
        EXPECT_EQ(conv.Convert(0, s.w, out, nullptr), "");
        // N wraps from 65535 to 0.
        EXPECT_EQ(conv.Convert(1, Sector(0, f).w, out, nullptr), "");
        EXPECT_EQ(conv.Flush(out), "");
        const std::string expect =
            "#FILE=\r\n#INFO=File : 0003_(2013.05.15_10.15.58.456)\r\n#NAME=State*0.1 "
            "Write*0.15 Prot*0.2 RF*0.25 " +
            l.names + "\r\n#CHAN=" + l.chan_and_rate + "\r\n0.500000 0.150000 0.250000 0.350000 " +
            l.row + "\r\n";
        EXPECT_EQ(Written().substr(0, expect.size()), expect);
    }
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
            Sector sector(uint16_t(100 + s), c.table.flags);
            if (s == c.sector) c.spoil(sector);
            message = conv.Convert(s, sector.w, out, nullptr);
            if (!message.empty()) break;
        }
        EXPECT_EQ(s, c.sector) << c.message;
        EXPECT_EQ(message, c.message);
    }

    // 14 channels have no layout: the file keeps its first two lines, and the sector's
    // time has been shown all the same.
    out = std::freopen(path.c_str(), "wb", out);
    const uint16_t fourteen = 2 | 2 << 2 | 3 << 6;
    SectorConverter conv(0, Entry(1, fourteen, 0xE9C8, 0x7A8F, 0x00D5));
    std::string stamp;
    EXPECT_EQ(conv.Convert(0, Sector(0, fourteen).w, out, &stamp),
              "Ошибка: Неизвестный NCHAN (сектор 0).");
    EXPECT_EQ(stamp, "2013-05-15     10:15:58:456");
    EXPECT_EQ(Written(), "#FILE=\r\n#INFO=File : 0001_(2013.05.15_10.15.58.456)\r\n");
}

}  // namespace
}  // namespace korvex
