// SPDX-License-Identifier: GPL-3.0-or-later
// korvex-sim as a user runs it, and the port a killed korvex-cli leaves behind.
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
        std::string err;
        RS232Port* p = RS232_Open(sim.port_path(), modbus ? 115200 : 9600, modbus ? kParityEven : 0,
                                  0, 100, 0, &err);
        EXPECT_EQ(p, nullptr) << "still held while the regulator streams or speaks ModBus";
        RS232_Close(p);
        ASSERT_TRUE(BackInNormalMode(500, 10000));
        Result r = Cli("modbus", "read-hold 0 1");
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "0 = 5 (0x0005)\n");
        ASSERT_TRUE(BackInNormalMode());
    }
}

TEST(SimProgram, PrintsItsPortFirstAndLinksIt) {
    TempDir tmp;
    const std::string link = tmp.path() + "/regulator", out = tmp.path() + "/out";
    pid_t pid = Start({"--link", link, "--diary", "input-variant", "--diary", "short-value=1"}, out,
                      "", kSim);
    struct stat st {};
    for (int i = 0; i < 500 && lstat(link.c_str(), &st) != 0; ++i) usleep(2000);
    ASSERT_TRUE(S_ISLNK(st.st_mode));
    std::string first = ReadFileBytes(out);
    ASSERT_EQ(first.rfind("PORT /dev/pts/", 0), 0u) << first;
    std::string port = first.substr(5, first.find('\n') - 5);
    char target[256] = {};
    ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(port, target);

    std::string err;
    RS232Port* p = RS232_Open(link, 9600, 0, 0, 100, 0, &err);
    EXPECT_NE(p, nullptr) << err;
    RS232_Close(p);
    // Its options reach the model: one value reply spoilt, then the diaries come from the
    // input registers.
    TempDir data;
    Result r = RunCommand(kCli + " diary --port " + link, "KORVEX_DATA_DIR=" + data.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Bad Length (Read Param Value)\n");
    r = RunCommand(kCli + " diary --print --port " + link, "KORVEX_DATA_DIR=" + data.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("********** Дневник-2 (40 сообщ) **********\n"), std::string::npos);
    EXPECT_EQ(RunCommand(kSim + " --diary set-count").status, 2);

    EXPECT_EQ(StopWith(pid, SIGTERM), 0);
    EXPECT_NE(lstat(link.c_str(), &st), 0) << "the link is removed at exit";
}
