// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/ComtradeReader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "app/ErrorCapture.h"
#include "app/StrPrintf.h"
#include "files/ComtradeExport.h"
#include "files/RecordingData.h"

namespace korvex {
namespace {

// The records tests/data/make_comtrade.py makes from its formulas.
const std::string kDir = KORVEX_TEST_DATA "/comtrade/";

std::string Join(const std::vector<std::string>& v) {
    std::string s;
    for (size_t i = 0; i < v.size(); ++i) s += (i ? "," : "") + v[i];
    return s;
}

// Names, units, the first status channel, rows, step, start (with its microseconds),
// trigger, time and local codes.
std::string Summary(const RecordingData& d) {
    const RecordingInfo& i = d.info();
    const double s = std::floor(i.start_seconds);
    return Join(i.names) + "|" + Join(i.units) +
           StrPrintf("|%d|%zu|%g|", i.status_from, d.rows(), d.step()) +
           FormatClock(s).substr(0, 19) +
           StrPrintf("+%.6f|%.6f|", i.start_seconds - s, i.trigger_seconds) + i.time_code + "," +
           i.local_code;
}

TEST(ComtradeReaderTest, RecordsOfEachRevisionAndType) {
    using Side = ComtradeOptions::Side;
    const std::string s17 = "S1,S2,S3,S4,S5,S6,S7,S8,S9,S10,S11,S12,S13,S14,S15,S16,S17|V,A" +
                            std::string(17, ',') + "|2|100|0.0005|2024-02-01 23:59:59+0.999000|";
    const struct {
        const char* file;
        Side side;
        std::string summary;
        std::vector<double> values;  // channel, row, value exactly as the formula gives it
    } cases[] = {
        // 99999 at sample 7 repeats sample 6; the status bit turns on at sample 20.
        {"r1991_ascii.cfg",
         Side::AsRecorded,
         "Ua,If,Brk|kV,A,|2|40|0.001|1997-03-15 10:20:30+0.123456|0.010000|,",
         {0, 5, 0.01 * 10000, 0, 7, 0.01 * 9511, 1, 9, 0.5 * 2 - 1, 1, 10, 0.5 * 10 - 1, 2, 19, 0,
          2, 20, 1}},
        // Status k (k < 16) is bit k of the sample number; the 17th is in the second word.
        {"r1999_binary.cfg",
         Side::AsRecorded,
         "Ua,Ib," + s17 + "0.001500|,",
         {0,  3,  0.005 * 6180,
          0,  10, 0.005 * 20000,
          1,  60, 0.001 * 100 + 0.25,
          2,  5,  1,
          3,  5,  0,
          4,  5,  1,
          18, 49, 0,
          18, 50, 1}},
        // Ua is given on the S side (110 kV / 100 V), Ib on the P side (1000 A / 1 A).
        {"r1999_binary.dat",
         Side::Primary,
         "Ua,Ib," + s17 + "0.001500|,",
         {0, 10, 0.005 * 20000 * 1100, 1, 60, 0.001 * 100 + 0.25}},
        {"r1999_binary.cfg",
         Side::Secondary,
         "Ua,Ib," + s17 + "0.001500|,",
         {0, 10, 0.005 * 20000, 1, 60, (0.1 + 0.25) * 0.001}},
        // An empty ch_id: "A2" and the phase.
        {"r2013_binary32.cfg",
         Side::AsRecorded,
         "U,A2C,Trip|kV,A,|2|80|0.00025|2024-02-29 12:00:00+0.000000|0.005000|+5h30,-3",
         {0, 4, 0.001 * 70034, 1, 0, 2 * -40 + 1, 1, 50, 2 * 10 + 1, 2, 29, 0, 2, 30, 1, 2, 60, 0}},
        {"r2013_float32.DAT",
         Side::AsRecorded,
         "U,A2C,Trip|kV,A,|2|80|0.00025|2024-02-29 12:00:00+0.000000|0.005000|-5h30,x",
         {0, 4, 0.001 * 70034, 1, 50, 2 * 10 + 1, 2, 59, 1}},
        // 1 ms up to sample 10, then 2 ms: row 10 holds sample 9 until sample 10 at 11 ms.
        {"two_rates.cfg",
         Side::AsRecorded,
         "X|V|-1|20|0.001|2020-01-01 00:00:00+0.000000|0.000000|,",
         {0, 9, 90, 0, 10, 90, 0, 11, 100, 0, 12, 100, 0, 13, 110, 0, 19, 140}},
        // Stamps 0, 250, 500, 1000, 1250, 1500 µs: a step of 250 µs, row 3 holding sample 2.
        {"stamps.cfg",
         Side::AsRecorded,
         "X,B|V,|1|7|0.00025|2020-01-01 00:00:00+0.000000|0.000000|,",
         {0, 2, 3, 0, 3, 3, 0, 4, 4, 0, 6, 6, 1, 3, 0, 1, 4, 1}},
    };
    for (const auto& c : cases) {
        RecordingData d;
        std::string err;
        ComtradeOptions options;
        options.side = c.side;
        ASSERT_TRUE(ReadComtrade(kDir + c.file, &d, &err, options)) << c.file << ": " << err;
        EXPECT_EQ(Summary(d), c.summary) << c.file;
        for (size_t k = 0; k + 2 < c.values.size(); k += 3)
            EXPECT_DOUBLE_EQ(d.value(int(c.values[k]), size_t(c.values[k + 1])), c.values[k + 2])
                << c.file << " channel " << c.values[k] << " row " << c.values[k + 1];
    }
}

// The writer's records come back value for value: analog values within half the
// factor a of the writer's quantisation, the flags as 0 or 1, the start time, the names.
TEST(ComtradeReaderTest, ExportedRecordsReadBack) {
    test::TempDir tmp;
    std::string text =
        "#FILE=\r\n#INFO=File : 0002_(2026.11.25_03.41.55.020)\r\n"
        "#NAME=State*0.1 Write*0.15 Prot*0.2 RF*0.25 Us If\r\n#CHAN=6\r\n#XX=0,0.004000\r\n";
    for (int r = 0; r < 300; ++r)
        text += StrPrintf("%f %f %f 0 %f %f\r\n", r >= 100 ? 0.3 : 0.1, r >= 50 ? 0.15 : 0.0,
                          r % 7 ? 0.0 : 0.2, 1 + 0.25 * std::sin(r * 0.05), -1e5 + r * 1234.5);
    test::WriteFileBytes(tmp.path() + "/r.trd", text);
    RecordingData data;
    ASSERT_TRUE(data.Load(tmp.path() + "/r.trd"));
    for (bool binary : {true, false}) {
        std::string base = tmp.path() + (binary ? "/bin" : "/asc");
        ASSERT_TRUE(ExportComtrade(data, 0, data.rows(), base, binary, false, nullptr));
        ComtradePlan plan = PlanComtrade(data, 0, data.rows(), binary);
        RecordingData back;
        std::string err;
        ASSERT_TRUE(ReadComtrade(base + ".dat", &back, &err)) << err;
        ASSERT_EQ(back.rows(), data.rows());
        ASSERT_EQ(back.channels(), 6);
        EXPECT_EQ(Join(back.info().names), "State*0.1,Us,If,Write*0.15,Prot*0.2,RF*0.25");
        EXPECT_EQ(back.info().file_value, plan.station);
        EXPECT_DOUBLE_EQ(back.step(), 0.004);
        EXPECT_NEAR(back.info().start_seconds, plan.first_time, 1e-6);
        for (size_t r = 0; r < data.rows(); ++r) {
            for (size_t k = 0; k < plan.analog.size(); ++k)
                ASSERT_LE(std::fabs(back.value(int(k), r) - data.value(plan.analog[k].column, r)),
                          plan.analog[k].a * 0.5000001)
                    << r << " " << k;
            for (size_t k = 0; k < plan.status.size(); ++k)
                ASSERT_EQ(back.value(int(3 + k), r),
                          data.value(plan.status[k].column, r) != 0 ? 1.0 : 0.0);
        }
    }
}

TEST(ComtradeReaderTest, BrokenRecordsAreRefusedWithTheirReason) {
    const std::pair<const char*, const char*> cases[] = {
        {"none.cfg", "Open File '%none.cfg' error"},
        {"missing_dat.cfg", "Open File '%missing_dat.dat' error"},
        {"short_dat.cfg", "'%short_dat.dat' holds 7 samples, the configuration announces 10"},
        {"cut_short.dat", "'%cut_short.dat': sample 8 is cut short: 4 of its 10 bytes"},
        {"bad_counts.cfg",
         "'%bad_counts.cfg' line 2: the number of channels 3 is not 2 analog + 2 status"},
        {"bad_rate.cfg",
         "'%bad_rate.cfg' line 6: the sample rate 1 '-1000' is not a positive "
         "number"},
        {"bad_endsamp.cfg",
         "'%bad_endsamp.cfg' line 7: the last sample of rate 2 '10' is not "
         "greater than the one before, 10"},
        {"bad_type.cfg",
         "'%bad_type.cfg' line 9: the file type 'BINARY16' is not ASCII, BINARY, "
         "BINARY32 or FLOAT32"},
        {"bad_date.cfg",
         "'%bad_date.cfg' line 7: the start date and time "
         "'31/02/2020,00:00:00.000000' is not dd/mm/yyyy,hh:mm:ss.ssssss"},
        {"bad_analog.cfg",
         "'%bad_analog.cfg' line 3: the multiplier a of analog channel 1 'one' is not a number"},
        {"few_fields.cfg", "'%few_fields.dat' line 2: the row has 2 fields, 3 are needed"},
        {"bad_value.cfg", "'%bad_value.dat' line 3: the value '5x' of channel 'X' is not a number"},
    };
    for (const auto& [file, message] : cases) {
        RecordingData d;
        std::string err, expected = message;
        expected.replace(expected.find('%'), 1, kDir);
        EXPECT_FALSE(ReadComtrade(kDir + file, &d, &err));
        EXPECT_EQ(err, expected);
        EXPECT_EQ(d.rows(), 0u);
    }
    // Without a buffer the message goes to the sink.
    test::ErrorCapture capture;
    RecordingData d;
    EXPECT_FALSE(ReadComtrade(kDir + "missing_dat", &d, nullptr));
    EXPECT_EQ(capture.texts(),
              std::vector<std::string>{"Open File '" + kDir + "missing_dat.dat' error"});
}

}  // namespace
}  // namespace korvex
