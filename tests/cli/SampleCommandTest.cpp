// SPDX-License-Identifier: GPL-3.0-or-later
// korvex-cli sample: a synthetic live recording in the data directory.
#include "cli/CliFixture.h"

TEST(SampleCommand, WritesIntoTheDataDirectoryAndReadsBack) {
    TempDir tmp;
    Result w = RunCommand(kCli + " sample --rows 25 --rate 166", "KORVEX_DATA_DIR=" + tmp.path());
    ASSERT_EQ(w.status, 0) << w.err;
    std::string path = w.out.substr(0, w.out.size() - 1);
    EXPECT_EQ(path.rfind(tmp.path() + "/", 0), 0u) << path;
    EXPECT_EQ(path.substr(path.size() - 8), "_osc.trd");
    Result v = RunCommand(kCli + " view " + path);
    EXPECT_EQ(v.status, 0) << v.err;
    EXPECT_NE(v.out.find("Fsam=166.67 Hz , Samples=0.025 K"), std::string::npos) << v.out;
}
