// SPDX-License-Identifier: GPL-3.0-or-later
// korvex-cli view, stats, export and sample: a recording read as the viewer window reads it,
// each channel's extremes, mean and RMS, the recording or a range as CSV or COMTRADE, and a
// synthetic live recording in the data directory.
#include "cli/CliFixture.h"

// A directory of its own holding r.trd, TwoChannelRecording(); the commands run from there.
class RecordingCommands : public ::testing::Test {
protected:
    void SetUp() override { WriteFileBytes(file, TwoChannelRecording()); }
    Result Run(const std::string& args) {
        return RunCommand("cd " + tmp.path() + " && " + kCli + " " + args);
    }
    // The recording `content` as `name`, named after "--".
    Result View(const std::string& content, const std::string& name = "r.trd") {
        WriteFileBytes(tmp.path() + "/" + name, content);
        return Run("view -- " + name);
    }
    TempDir tmp;
    const std::string file = tmp.path() + "/r.trd", csv = tmp.path() + "/r.csv";
    const std::string note =
        "Note: the last 3 bytes are a row still being written and are left out\n";
};

TEST_F(RecordingCommands, ViewShowsWhatTheViewerWindowShows) {
    std::string content =
        "#FILE=COM1\r\n#CHAN=3\r\n#NAME=Ua If State \r\n#XN=Time (sec)\r\n#F=50.000000\r\n"
        "#XX=0,0.020000\r\n";
    for (int r = 0; r < 10; ++r)
        content += std::to_string(r) + ".250000\t-1.000000\t0.000000\t\r\n";
    content.insert(content.size() - 30, "#ERRSEQ\r\n");
    content += "#ERRSEQ\r\n";
    Result r = View(content);
    EXPECT_EQ(r.StatusAndErr() + r.out,
              "0|File: r.trd ,  3 channels\nSource: COM1\n"
              "Time=00:00:00 , Fsam=50.00 Hz , Samples=0.010 K , File Length=0.000 MB\n"
              "Seq. Errors: 2\n"
              "Ua           9.250\nIf           -1.000\nState        0.000\n");

    // Of twenty channels the first 15 are shown; a rate of 0 is read as 1 Hz.
    std::string names, row;
    for (int c = 0; c < 20; ++c) {
        names += "c" + std::to_string(c) + " ";
        row += std::to_string(c) + "\t";
    }
    r = View("#CHAN=20\n#NAME=" + names + "\n#F=0\n" + row + "\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(",  15 (20) channels\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Fsam=1.00 Hz , Samples=0.001 K"), std::string::npos) << r.out;
    EXPECT_TRUE(r.out.ends_with("c14          14.000\n")) << r.out;

    // A name after "--" may begin with a dash; a finished recording is read to its last
    // byte, last row included.
    r = View("#CHAN=1\r\n#NAME=U\r\n1.5\r\n2.5", "-r.trd");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Samples=0.002 K"), std::string::npos) << r.out;
    EXPECT_TRUE(r.out.ends_with("\nU            2.500\n")) << r.out;

    // A reader's message goes to standard error alone, with exit status 1. (Which header is
    // refused with which message, and a missing file: RecordingReaderTest.)
    r = View("#FILE=COM1\r\n#CHAN=3\r\n");
    EXPECT_EQ(r.out + r.StatusAndErr(), "1|Undefined NumChan & Name[]\n");
}

TEST_F(RecordingCommands, StatsOfAWholeFileARangeAndARangeBeyondTheEnd) {
    Result r = Run("stats r.trd");
    EXPECT_EQ(r.StatusAndErr(), "0|" + note);
    EXPECT_EQ(r.out,
              "File: r.trd\nRows: 300, 0.010000 s apart, 2.990000 s in all\n"
              "Channel            Min         at (s)            Max         at (s)           Mean"
              "            RMS\n"
              "Ug           -2.000000       0.400000       9.500000       1.500000       1.018333"
              "       1.143460\n"
              "If           -3.000000       0.000000       3.000000       0.010000       0.000000"
              "       3.000000\n");
    // Options may follow the file. (Which rows a range holds: RowsBetweenTest.)
    EXPECT_NE(Run("stats --from 0.5 r.trd --to 1")
                  .out.find("Range: 0.500000 s to 1.000000 s, rows 50 to 100\n"),
              std::string::npos);
    EXPECT_EQ(Run("stats --from 5 r.trd").StatusAndErr(),
              "1|No rows between 5.000000 s and 2.990000 s (the recording ends at 2.990000 s)\n");
}

TEST_F(RecordingCommands, ExportCsvComtradeAndStandardOutput) {
    const std::string range = "Time (s),Ug,If\r\n1.5,9.5,-3\r\n1.51,1,3\r\n1.52,1,-3\r\n";
    Result r = Run("export " + file + " --format csv --from 1.5 --to 1.52");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, csv + "\n3 rows\n");
    EXPECT_EQ(ReadFileBytes(csv), range);
    r = Run("export " + file + " --format csv");
    EXPECT_TRUE(r.status == 1 && r.err.ends_with("\n'" + csv + "' already exists\n")) << r.err;
    EXPECT_EQ(ReadFileBytes(csv), range);

    // "-o -": the same rows on standard output, and no file (none named "-" either).
    std::filesystem::remove(csv);
    r = Run("export r.trd --from 1.5 -o - --to 1.52 --format csv");
    EXPECT_EQ(r.out + r.StatusAndErr(), range + "0|" + note);
    EXPECT_FALSE(std::filesystem::exists(tmp.path() + "/-") || std::filesystem::exists(csv));
    EXPECT_EQ(Run("export r.trd --decimal-comma --to 1.51 --from 1.5 -o - --format csv").out,
              "Time (s);Ug;If\r\n1,5;9,5;-3\r\n1,51;1;3\r\n");

    // COMTRADE: two files. (Their bytes, and the recording never replaced by its own .dat:
    // ExportTest in tests/files/RecordingDataTest.cpp.)
    r = Run("export " + file + " --format comtrade -o " + tmp.path() + "/c --overwrite");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, tmp.path() + "/c.cfg\n" + tmp.path() + "/c.dat\n300 rows\n");
    // The record read back headless, as a recording is: the same rows, and values within
    // the record's 16-bit steps (the extremes exact).
    r = Run("export " + tmp.path() + "/c.cfg --format csv --from 1.5 --to 1.52 -o -");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.out.starts_with(range.substr(0, range.find("1.51")) + "1.51,1.00003")) << r.out;
    auto second_line = [&](const std::string& args) {
        std::string out = Run(args).out;
        return FirstLine(out.substr(out.find('\n') + 1));
    };
    EXPECT_EQ(second_line("stats " + tmp.path() + "/c.cfg"), second_line("stats " + file));
}

TEST(SampleCommand, WritesIntoTheDataDirectoryAndReadsBack) {
    TempDir tmp;
    Result w = RunCommand(kCli + " sample --rows 25 --rate 166", "KORVEX_DATA_DIR=" + tmp.path());
    ASSERT_EQ(w.status, 0) << w.err;
    const std::string path = FirstLine(w.out);
    EXPECT_TRUE(path.starts_with(tmp.path() + "/") && path.ends_with("_osc.trd")) << path;
    EXPECT_NE(RunCommand(kCli + " view " + path).out.find("Fsam=166.67 Hz , Samples=0.025 K"),
              std::string::npos);
}
