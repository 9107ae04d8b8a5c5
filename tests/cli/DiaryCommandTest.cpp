// SPDX-License-Identifier: GPL-3.0-or-later
// korvex-cli diary: the regulator's diaries and parameter sets in a report.
#include "cli/CliFixture.h"

using DiaryCommandTest = SimCliTest;

TEST_F(DiaryCommandTest, WritesTheReportAndPrintsItDecoded) {
    Result r = Cli("diary", "--print");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("********** Дневник-2 (40 сообщ) **********\n"), std::string::npos)
        << r.out.substr(0, 300);
    std::string path = r.out.substr(r.out.rfind('\n', r.out.size() - 2) + 1);
    path.pop_back();
    EXPECT_NE(path.find("KORVEX(1).info.txt"), std::string::npos) << path;
    std::string bytes = ReadFileBytes(path);
    EXPECT_NE(bytes.find("\xC4\xED\xE5\xE2\xED\xE8\xEA-2"), std::string::npos) << "CP1251 on disk";
    EXPECT_NE(bytes.find("\r\n"), std::string::npos);

    // A failing regulator: the message, no report shown, exit status 1.
    model.parameters->faults->set_count = 9;
    r = Cli("diary", "");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Error 5\n");
}
