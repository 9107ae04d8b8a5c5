// SPDX-License-Identifier: GPL-3.0-or-later
// korvex-cli osc: the oscilloscope stream recorded without a window.
#include "cli/CliFixture.h"

using OscCommandTest = SimCliTest;

TEST_F(OscCommandTest, RecordsStopsAndKeepsEveryCompleteRowOnAnError) {
    Result r = Cli("osc", "--rate 100 --seconds 0.5");
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string path = FirstLine(r.out);
    EXPECT_NE(RunCommand(kCli + " view " + path).out.find("Fsam=100.00 Hz"), std::string::npos);

    // Ctrl-C and a closed terminal (SIGHUP) stop as Exit does: the stop byte, a complete
    // last row, the file closed, its path printed.
    for (int sig : {SIGINT, SIGHUP}) {
        ASSERT_TRUE(BackInNormalMode());
        EXPECT_EQ(StopWith(StartOsc(data.path() + "/out", 20), sig), 0) << sig;
        const std::string second = FirstLine(ReadFileBytes(data.path() + "/out"));
        EXPECT_TRUE(ReadFileBytes(second).ends_with("\t\r\n")) << second;
        EXPECT_NE(second, path) << "a new file, never the old one overwritten";
    }
    ASSERT_TRUE(BackInNormalMode()) << "the regulator got its stop byte";
    model.stream_faults->nan = 1;
    EXPECT_EQ(Cli("osc", "--seconds 5").StatusAndErr(), "1|Too big value for channel 'Uf'\n");

    // An error number in a message is explained on a line of its own.
    EXPECT_EQ(
        RunCommand(kCli + " osc --port /dev/ttyKorvexNone --seconds 1").StatusAndErr(),
        "1|RS232_Open(): Open port /dev/ttyKorvexNone : error 2\nNo such file or directory\n");

    // The file may not grow beyond 8 KiB: the stream stops with the writer's message. (The
    // recording then ends with its last complete row: RecordingWriterTest.)
    ASSERT_TRUE(BackInNormalMode());
    EXPECT_EQ(RunCommand("ulimit -f 8; " + kCli + " osc --port " + sim.port_path() +
                         " --rate 166 --seconds 20")
                  .StatusAndErr(),
              "1|Write File error: File too large\n");
}
