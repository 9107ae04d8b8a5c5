// SPDX-License-Identifier: GPL-3.0-or-later
// korvex-sim as a user runs it, korvex-cli diary against it, and the port a killed
// korvex-cli leaves behind.
#include <sys/stat.h>

#include "cli/CliFixture.h"

using SimProgramTest = SimCliTest;

TEST_F(SimProgramTest, ThePortIsFreeAgainAfterAClientWasKilled) {
    // A client killed without closing the port leaves the tty's exclusive flag behind;
    // once the regulator's keep-alive watchdog takes it back to its normal mode (3 s
    // streaming, 1 s here in ModBus mode), the port opens again, as a real regulator's does
    // after a cable was pulled.
    model.modbus_options->watchdog_ms = 1000;
    for (bool modbus : {false, true}) {
        const std::string out = data.path() + (modbus ? "/modbus-out" : "/osc-out");
        pid_t pid = modbus ? Start(HundredReads(), out) : StartOsc(out, 10);
        for (int i = 0; modbus && i < 1000 && ReadFileBytes(out).empty(); ++i) usleep(2000);
        StopWith(pid, SIGKILL);
        EXPECT_EQ(sim.current_mode(), modbus ? "modbus" : "stream");
        ASSERT_TRUE(BackInNormalMode(5000));
        const Result r = Cli("modbus", "read-hold 0 1");
        EXPECT_EQ(r.out + r.StatusAndErr(), "0 = 5 (0x0005)\n0|");
        ASSERT_TRUE(BackInNormalMode());
    }
}

TEST(SimProgram, PrintsItsPortFirstAndLinksIt) {
    TempDir tmp;
    const std::string link = tmp.path() + "/regulator", out = tmp.path() + "/out";
    pid_t pid =
        Start(kSim + " --link " + link + " --diary input-variant --diary short-value=1", out);
    struct stat st {};
    for (int i = 0; i < 500 && lstat(link.c_str(), &st) != 0; ++i) usleep(2000);
    ASSERT_TRUE(S_ISLNK(st.st_mode));
    const std::string first = FirstLine(ReadFileBytes(out));
    EXPECT_TRUE(first.starts_with("PORT /dev/pts/")) << first;
    EXPECT_EQ(first, "PORT " + std::filesystem::read_symlink(link).string());

    // Its options reach the model: one value reply spoilt, then the diaries come from the
    // input registers.
    TempDir data;
    const std::string diary =
        "KORVEX_DATA_DIR=" + data.path() + " " + kCli + " diary --port " + link;
    EXPECT_EQ(RunCommand(diary).StatusAndErr(), "1|Bad Length (Read Param Value)\n");
    // The report printed decoded, then its path. (The report's bytes, CP1251 on disk, and a
    // failing regulator's texts: DiaryTest.)
    Result r = RunCommand(diary + " --print");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("********** Дневник-2 (40 сообщ) **********\n"), std::string::npos);
    const std::string report = FirstLine(r.out.substr(r.out.rfind('\n', r.out.size() - 2) + 1));
    EXPECT_TRUE(report.ends_with(").info.txt") && !ReadFileBytes(report).empty()) << report;
    EXPECT_EQ(RunCommand(kSim + " --diary set-count").status, 2);

    EXPECT_EQ(StopWith(pid, SIGTERM), 0);
    EXPECT_NE(lstat(link.c_str(), &st), 0) << "the link is removed at exit";
}
