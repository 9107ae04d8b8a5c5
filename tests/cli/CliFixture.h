// SPDX-License-Identifier: GPL-3.0-or-later
// korvex-cli and korvex-sim as a user runs them: processes started through the shell or
// fork, their exit status and output, and a simulated regulator to run them against.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "app/ErrorCapture.h"
#include "link/PtyPeer.h"
#include "link/RS232Port.h"
#include "sim/Regulator.h"

namespace korvex::test {

struct Result {
    int status;
    std::string out, err;
    // "STATUS|STDERR": both in one comparison.
    std::string StatusAndErr() const { return std::to_string(status) + "|" + err; }
};

// korvex-cli as the tests run it: in English whatever the locale they run under (CI runs
// them under a Russian one too); ArgsTest tests the choice itself.
inline const std::string kCliPath = KORVEX_CLI_PATH;
inline const std::string kCli = kCliPath + " --lang en";
inline const std::string kSim = KORVEX_SIM_PATH;

// The exit message (CAN 0x690: 23 07 00 to address 0) as it goes over the wire.
inline const std::vector<uint8_t> kExitMessage = {0x00, 0x41, 0x36, 0x90, 0x23,
                                                  0x07, 0x00, 0x02, 0xEF};

inline std::string FirstLine(const std::string& s) {
    return s.substr(0, s.find('\n'));
}

// A shell command line with `env` (assignments) before it; its exit status and output.
inline Result RunCommand(const std::string& args, const std::string& env = "") {
    TempDir tmp;
    const int rc = std::system(
        (env + " " + args + " >" + tmp.path() + "/out 2>" + tmp.path() + "/err").c_str());
    return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, ReadFileBytes(tmp.path() + "/out"),
            ReadFileBytes(tmp.path() + "/err")};
}

// A command line started as a user starts it and left running: the shell gives way to
// the program (exec), so that signals reach it; its standard output goes to `out`, its
// standard error to `err` when given.
inline pid_t Start(const std::string& command, const std::string& out,
                   const std::string& err = "") {
    const std::string line = "exec " + command + " >" + out + (err.empty() ? "" : " 2>" + err);
    pid_t pid = fork();
    if (pid == 0) {
        execl("/bin/sh", "sh", "-c", line.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

// Sends `sig` and waits: the exit status, or -1 when the program did not exit by itself.
inline int StopWith(pid_t pid, int sig) {
    kill(pid, sig);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A simulated regulator on a pseudo-terminal for each test, and a data directory that
// every program the test starts writes into (KORVEX_DATA_DIR).
class SimCliTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("KORVEX_DATA_DIR", data.path().c_str(), 1);
        std::string err;
        ASSERT_TRUE(sim::StartRegulator(sim, model, &err)) << err;
    }
    void TearDown() override { unsetenv("KORVEX_DATA_DIR"); }
    // `korvex-cli COMMAND --port <the regulator> ARGS` in English.
    Result Cli(const std::string& command, const std::string& args) {
        return RunCommand(kCli + " " + command + " --port " + sim.port_path() + " " + args);
    }
    // The regulator takes a client's stop byte and goes back to its normal mode on its own
    // thread; the next run must not switch it before that (a loaded machine may take a
    // while).
    bool BackInNormalMode(int ms = 1000) {
        return PollUntil([&] { return sim.current_mode() == "normal"; }, ms);
    }
    // korvex-cli osc recording into the data directory, its output going to `out`, once the
    // regulator has streamed `packets` packets.
    pid_t StartOsc(const std::string& out, long packets) {
        model.stream_stats->packets = 0;
        pid_t pid = Start(kCli + " osc --port " + sim.port_path(), out);
        for (int i = 0; i < 1000 && model.stream_stats->packets < packets; ++i) usleep(2000);
        return pid;
    }
    // korvex-cli modbus with 100 reads with every answer 20 ms late: still going when stopped.
    std::string HundredReads() {
        model.modbus_faults->delay_ms = 20;
        std::string run = kCli + " modbus --port " + sim.port_path();
        for (int k = 0; k < 100; ++k) run += " read-hold 0 1";
        return run;
    }
    // The last thing on the wire: the program's last frame when the regulator had nothing to
    // answer.
    sim::SimRegulator::WireEvent LastOnTheWire() const {
        auto wire = sim.Wire();
        return wire.empty() ? sim::SimRegulator::WireEvent{} : wire.back();
    }

    sim::SimRegulator sim;
    sim::RegulatorModel model;
    TempDir data;
};

// A finished two-channel recording of 300 rows at 100 Hz, Ug 1.0 but for -2 at row 40 and
// 9.5 at row 150, If alternating -3 and 3; then 3 bytes of a row still being written.
inline std::string TwoChannelRecording() {
    std::string content =
        "#FILE=COM1\r\n#CHAN=2\r\n#NAME=Ug If \r\n#F=100.000000\r\n#XX=0,0.010000\r\n";
    for (int r = 0; r < 300; ++r)
        content += std::string(r == 150 ? "9.500000" : (r == 40 ? "-2.000000" : "1.000000")) +
                   "\t" + (r % 2 ? "3.000000" : "-3.000000") + "\t\r\n";
    return content + "1.0";
}

}  // namespace korvex::test

// The tests of korvex-cli are written in the terms of the fixture and of the core.
using namespace korvex;        // NOLINT(google-build-using-namespace)
using namespace korvex::test;  // NOLINT(google-build-using-namespace)
