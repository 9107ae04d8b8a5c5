// SPDX-License-Identifier: GPL-3.0-or-later
// korvex-cli export: a recording or a range as CSV or as a COMTRADE record.
#include "cli/CliFixture.h"

class ExportCommandTest : public ::testing::Test {
protected:
    void SetUp() override { WriteFileBytes(file, TwoChannelRecording()); }
    Result Export(const std::string& path, const std::string& args) {
        return RunCommand("cd " + tmp.path() + " && " + kCli + " export " + path + " " + args);
    }
    TempDir tmp;
    const std::string file = tmp.path() + "/r.trd", csv = tmp.path() + "/r.csv";
    const std::string range = "Time (s),Ug,If\r\n1.5,9.5,-3\r\n1.51,1,3\r\n1.52,1,-3\r\n";
};

TEST_F(ExportCommandTest, CsvComtradeAndStandardOutput) {
    Result r = Export(file, "--format csv --from 1.5 --to 1.52");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, csv + "\n3 rows\n");
    EXPECT_EQ(ReadFileBytes(csv), range);
    r = Export(file, "--format csv");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("\n'" + csv + "' already exists\n"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFileBytes(csv), range);

    // "-o -": the same rows on standard output, and no file (none named "-" either).
    std::filesystem::remove(csv);
    r = Export("r.trd", "--from 1.5 -o - --to 1.52 --format csv");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, range);
    EXPECT_EQ(r.err, "Note: the last 3 bytes are a row still being written and are left out\n");
    EXPECT_FALSE(std::filesystem::exists(tmp.path() + "/-"));
    EXPECT_FALSE(std::filesystem::exists(csv));

    // COMTRADE: two files.
    r = Export(file, "--format comtrade -o " + tmp.path() + "/c --overwrite");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, tmp.path() + "/c.cfg\n" + tmp.path() + "/c.dat\n300 rows\n");
    EXPECT_EQ(ReadFileBytes(tmp.path() + "/c.dat").size(), 300u * 12);
    // The recording itself is never replaced, not even as the record's .dat.
    const std::string recording = ReadFileBytes(file), dat = tmp.path() + "/rec.dat";
    WriteFileBytes(dat, recording);
    r = Export(dat, "--format comtrade --overwrite");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("'" + dat + "' is the recording being exported: it is not replaced\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(ReadFileBytes(dat), recording);
    EXPECT_FALSE(std::filesystem::exists(tmp.path() + "/rec.cfg"));
}
