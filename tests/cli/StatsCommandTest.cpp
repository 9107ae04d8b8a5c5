// SPDX-License-Identifier: GPL-3.0-or-later
// korvex-cli stats: each channel's extremes, mean and RMS over a recording or a range.
#include "cli/CliFixture.h"

TEST(StatsCommand, AWholeFileARangeAndARangeBeyondTheEnd) {
    TempDir tmp;
    const std::string file = tmp.path() + "/r.trd";
    WriteFileBytes(file, TwoChannelRecording());
    Result r = RunCommand(kCli + " stats " + file);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "Note: the last 3 bytes are a row still being written and are left out\n");
    EXPECT_EQ(r.out, "File: " + file +
                         "\nRows: 300, 0.010000 s apart, 2.990000 s in all\n"
                         "Channel            Min         at (s)            Max         at (s)      "
                         "     Mean            RMS\n"
                         "Ug           -2.000000       0.400000       9.500000       1.500000      "
                         " 1.018333       1.143460\n"
                         "If           -3.000000       0.000000       3.000000       0.010000      "
                         " 0.000000       3.000000\n");
    // Options may follow the file.
    r = RunCommand(kCli + " stats --from 0.5 " + file + " --to 1");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Range: 0.500000 s to 1.000000 s, rows 50 to 100\n"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\nUg            1.000000       0.500000       1.000000       0.500000"),
              std::string::npos);
    r = RunCommand(kCli + " stats --from 5 " + file);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "No rows between 5.000000 s and 2.990000 s (the recording ends at 2.990000 s)\n");
}
