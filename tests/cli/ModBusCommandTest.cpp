// SPDX-License-Identifier: GPL-3.0-or-later
// korvex-cli modbus: registers and CAN-tunnel messages over ModBus RTU, and the way back.
#include "cli/CliFixture.h"

using ModBusCommandTest = SimCliTest;

TEST_F(ModBusCommandTest, TraceStopsAndTheExitAction) {
    // The frames on standard error, the values alone on standard output.
    Result r = Cli("modbus", "--trace id read-hold 0 1");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "KORVEX SIM AVR-2     Version 2.3.1\n0 = 5 (0x0005)\n");
    EXPECT_EQ(r.err,
              "TX FF FE FC 00 00 00 00 F5\n"
              "TX 01 03 00 90 00 04 44 24\nRX 01 03 08 4F 4B 56 52 58 45 53 20 A0 C4\n"
              "TX 01 03 00 94 00 04 05 E5\nRX 01 03 08 4D 49 41 20 52 56 32 2D 23 B9\n"
              "TX 01 03 00 98 00 04 C5 E6\nRX 01 03 08 00 00 00 00 00 00 00 00 95 D7\n"
              "TX 01 03 00 9C 00 04 84 27\nRX 01 03 08 00 00 00 00 00 00 00 00 95 D7\n"
              "TX 01 03 00 82 00 02 64 23\nRX 01 03 04 02 03 01 00 0A 1B\n"
              "TX 01 03 00 00 00 01 84 0A\nRX 01 03 02 00 05 78 47\n"
              "TX 00 41 36 90 23 07 00 02 EF\n");
    EXPECT_TRUE(BackInNormalMode());

    // A stop ends the run with the exit message and what was read.
    const std::vector<std::string> run = HundredReads();
    std::string reads;  // all of them, 15 bytes each
    for (int k = 0; k < 100; ++k) reads += "0 = 5 (0x0005)\n";
    const std::string out = data.path() + "/out", errors = data.path() + "/err";

    // Ctrl-C: the read in progress is finished and printed, the exit message goes out.
    pid_t pid = Start(run, out, errors);
    for (int i = 0; i < 1000 && ReadFileBytes(out).size() < 30; ++i) usleep(2000);
    EXPECT_EQ(StopWith(pid, SIGINT), 3);
    ASSERT_TRUE(BackInNormalMode());
    EXPECT_EQ(LastReceived().mode, "modbus");
    EXPECT_EQ(LastReceived().bytes, kExitMessage);
    std::string printed = ReadFileBytes(out);
    const size_t done = printed.size() / 15;
    EXPECT_GE(done, 2u);
    EXPECT_LT(done, 100u);
    EXPECT_EQ(printed, reads.substr(0, printed.size())) << "every read that was made, whole";
    EXPECT_EQ(printed.size() % 15, 0u);
    EXPECT_EQ(ReadFileBytes(errors),
              "korvex-cli modbus: stopped after " + std::to_string(done) + " of 100 actions\n");

    // A reader that goes away after two lines: the same end instead of a death by SIGPIPE.
    sim.ClearWire();
    std::string shell = "(" + kCli;
    for (const auto& a : run) shell += " " + a;
    shell += " 2>" + errors + "; echo $? >" + data.path() + "/status) | head -n 2";
    r = RunCommand(shell);
    EXPECT_EQ(r.out, reads.substr(0, 30));
    EXPECT_EQ(ReadFileBytes(data.path() + "/status"), "3\n");
    EXPECT_EQ(ReadFileBytes(errors).rfind("korvex-cli modbus: the standard output is closed\n"
                                          "korvex-cli modbus: stopped after ",
                                          0),
              0u)
        << ReadFileBytes(errors);
    ASSERT_TRUE(BackInNormalMode());
    EXPECT_EQ(LastReceived().bytes, kExitMessage);

    // `exit` alone takes a regulator out of ModBus mode that a run left there: no switch
    // frame, the exit message at 115200 and then at 230400 baud, which the regulator,
    // back in its normal mode by then, ignores.
    model.modbus_faults->delay_ms = 0;
    r = Cli("modbus", "--stay read-hold 0 1");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(sim.current_mode(), "modbus");
    sim.ClearWire();
    r = Cli("modbus", "exit");
    EXPECT_EQ(r.status, 0) << r.err;
    ASSERT_TRUE(BackInNormalMode());
    for (int i = 0; i < 500 && sim.Received().size() < 18; ++i) usleep(2000);
    auto wire = sim.Wire();
    ASSERT_EQ(wire.size(), 2u);
    for (size_t k = 0; k < 2; ++k) {
        EXPECT_EQ(wire[k].mode, k ? "normal" : "modbus");
        EXPECT_EQ(wire[k].bytes, kExitMessage);
    }

    // A silent regulator: the nested text and a plain line saying what the bare "@" means,
    // exit status 1, and still the exit message.
    model.modbus_faults->silent = -1;
    r = Cli("modbus", "read-hold 130 2");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "ModBus_ReadHldReg(Addr=1, Reg=130, Num=2):\nModBus_TxRx(): Rx(phase1) error:\n@\n"
              "no answer from the regulator\n");
}
