// SPDX-License-Identifier: GPL-3.0-or-later
// korvex-cli view: a recording read as the viewer window reads it.
#include "cli/CliFixture.h"

class ViewCommandTest : public ::testing::Test {
protected:
    // The recording `name` in a directory of its own, named after "--" from there.
    Result View(const std::string& content, const std::string& name = "r.trd") {
        WriteFileBytes(tmp.path() + "/" + name, content);
        return RunCommand("cd " + tmp.path() + " && " + kCli + " view -- " + name);
    }
    TempDir tmp;
};

TEST_F(ViewCommandTest, ShowsWhatTheViewerWindowShows) {
    std::string content =
        "#FILE=COM1\r\n#CHAN=3\r\n#NAME=Ua If State \r\n#XN=Time (sec)\r\n#F=50.000000\r\n"
        "#XX=0,0.020000\r\n";
    for (int r = 0; r < 10; ++r)
        content += std::to_string(r) + ".250000\t-1.000000\t0.000000\t\r\n";
    content.insert(content.size() - 30, "#ERRSEQ\r\n");
    content += "#ERRSEQ\r\n";
    Result r = View(content);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "File: r.trd ,  3 channels\nSource: COM1\n"
              "Time=00:00:00 , Fsam=50.00 Hz , Samples=0.010 K , File Length=0.000 MB\n"
              "Seq. Errors: 2\n"
              "Ua           9.250\nIf           -1.000\nState        0.000\n");
}

TEST_F(ViewCommandTest, TwentyChannelsAndZeroRate) {
    std::string names, row;
    for (int c = 0; c < 20; ++c) {
        names += "c" + std::to_string(c) + " ";
        row += std::to_string(c) + "\t";
    }
    Result r = View("#CHAN=20\n#NAME=" + names + "\n#F=0\n" + row + "\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(",  15 (20) channels\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Fsam=1.00 Hz , Samples=0.001 K"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("c14          14.000\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("c15"), std::string::npos) << r.out;
}

TEST_F(ViewCommandTest, ReaderMessagesGoToStandardError) {
    // (Which header is refused with which message is the reader's own tests.)
    Result r = View("#FILE=COM1\r\n#CHAN=3\r\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Undefined NumChan & Name[]\n");
    r = RunCommand(kCli + " view " + tmp.path() + "/missing.trd");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Open File '" + tmp.path() + "/missing.trd' error\n");
}

TEST_F(ViewCommandTest, ADashNameOpensAfterDashesAndItsLastRowCounts) {
    Result r = View("#CHAN=1\r\n#NAME=U\r\n1.5\r\n2.5", "-r.trd");
    EXPECT_EQ(r.status, 0) << r.err;
    // A finished recording is read to its last byte, last row included.
    EXPECT_NE(r.out.find("Samples=0.002 K"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("U            2.500"), std::string::npos) << r.out;
}
