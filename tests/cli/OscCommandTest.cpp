// SPDX-License-Identifier: GPL-3.0-or-later
// korvex-cli osc: the oscilloscope stream recorded without a window.
#include <regex>
#include <sstream>

#include "cli/CliFixture.h"

using OscCommandTest = SimCliTest;

TEST_F(OscCommandTest, RecordsStopsAndKeepsEveryCompleteRowOnAnError) {
    Result r = Cli("osc", "--rate 100 --seconds 0.5");
    EXPECT_EQ(r.status, 0) << r.err;
    std::string path = r.out.substr(0, r.out.find('\n'));
    Result v = RunCommand(kCli + " view " + path);
    EXPECT_NE(v.out.find("Fsam=100.00 Hz"), std::string::npos) << v.out;

    // Ctrl-C and a closed terminal (SIGHUP) stop as Exit does: the stop byte, a complete
    // last row, the file closed, its path printed.
    for (int sig : {SIGINT, SIGHUP}) {
        ASSERT_TRUE(BackInNormalMode());
        const std::string out = data.path() + "/out";
        EXPECT_EQ(StopWith(StartOsc(out, 20), sig), 0) << sig;
        std::string second = ReadFileBytes(out);
        second = second.substr(0, second.find('\n'));
        std::string rec = ReadFileBytes(second);
        ASSERT_GT(rec.size(), 3u) << second;
        EXPECT_EQ(rec.substr(rec.size() - 3), "\t\r\n");
        EXPECT_NE(second, path) << "a new file, never the old one overwritten";
    }
    ASSERT_TRUE(BackInNormalMode()) << "the regulator got its stop byte";
    model.stream_faults->nan = 1;
    r = Cli("osc", "--seconds 5");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Too big value for channel 'Uf'\n");

    // An error number in a message is explained on a line of its own.
    r = RunCommand(kCli + " osc --port /dev/ttyKorvexNone --seconds 1");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "RS232_Open(): Open port /dev/ttyKorvexNone : error 2\nNo such file or directory\n");

    // The file may not grow beyond 8 KiB: the stream stops with the writer's message, and
    // the recording ends with a complete row, the half row cut away.
    ASSERT_TRUE(BackInNormalMode());
    r = RunCommand("ulimit -f 8; " + kCli + " osc --port " + sim.port_path() +
                   " --rate 166 --seconds 20");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Write File error: File too large\n");
    path = r.out.substr(0, r.out.find('\n'));
    std::string rec = ReadFileBytes(path);
    ASSERT_GT(rec.size(), 1000u) << path;
    EXPECT_LE(rec.size(), 8192u);
    EXPECT_EQ(rec.substr(rec.size() - 3), "\t\r\n");
    size_t header_end = rec.find("#XX=0,0.006000\r\n") + 16;
    ASSERT_LT(header_end, rec.size());
    std::regex row("(-?[0-9]+\\.[0-9]{6}\t){12}\r");
    std::istringstream rows(rec.substr(header_end));
    for (std::string line; std::getline(rows, line);)
        EXPECT_TRUE(std::regex_match(line, row)) << "a whole row of 12 values: " << line;
}
