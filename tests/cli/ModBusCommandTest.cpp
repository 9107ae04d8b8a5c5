// SPDX-License-Identifier: GPL-3.0-or-later
// korvex-cli modbus: registers and CAN-tunnel messages over ModBus RTU, and the way back.
#include "cli/CliFixture.h"

using ModBusCommandTest = SimCliTest;

TEST_F(ModBusCommandTest, TraceStopsAndTheExitAction) {
    // The frames on standard error, the values alone on standard output. (The exchanges of
    // the identification between the switch frame and the read: DiaryTest.)
    Result r = Cli("modbus", "--trace id read-hold 0 1");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "KORVEX SIM AVR-2     Version 2.3.1\n0 = 5 (0x0005)\n");
    EXPECT_TRUE(r.err.starts_with("TX FF FE FC 00 00 00 00 F5\nTX 01 03 00 90 00 04 44 24\n"));
    EXPECT_TRUE(r.err.ends_with(
        "TX 01 03 00 00 00 01 84 0A\nRX 01 03 02 00 05 78 47\nTX 00 41 36 90 23 07 00 02 EF\n"))
        << r.err;
    EXPECT_TRUE(BackInNormalMode());

    // A stop ends the run with the exit message and what was read.
    const std::string run = HundredReads();
    std::string reads;  // all of them, 15 bytes each
    for (int k = 0; k < 100; ++k) reads += "0 = 5 (0x0005)\n";
    const std::string out = data.path() + "/out", errors = data.path() + "/err";

    // Ctrl-C: the read in progress is finished and printed, the exit message goes out.
    pid_t pid = Start(run, out, errors);
    for (int i = 0; i < 1000 && ReadFileBytes(out).size() < 30; ++i) usleep(2000);
    EXPECT_EQ(StopWith(pid, SIGINT), 3);
    ASSERT_TRUE(BackInNormalMode());
    EXPECT_EQ(LastOnTheWire().mode, "modbus");
    EXPECT_EQ(LastOnTheWire().bytes, kExitMessage);
    // Every read that was made, whole.
    const size_t done = ReadFileBytes(out).size() / 15;
    EXPECT_EQ(ReadFileBytes(out), reads.substr(0, 15 * done));
    EXPECT_TRUE(done >= 2 && done < 100) << done;
    EXPECT_EQ(ReadFileBytes(errors),
              "korvex-cli modbus: stopped after " + std::to_string(done) + " of 100 actions\n");

    // A reader that goes away after two lines: the same end instead of a death by SIGPIPE.
    sim.ClearWire();
    r = RunCommand("(" + run + " 2>" + errors + "; echo $? >" + data.path() +
                   "/status) | head -n 2");
    EXPECT_EQ(r.out, reads.substr(0, 30));
    EXPECT_EQ(ReadFileBytes(data.path() + "/status"), "3\n");
    EXPECT_TRUE(ReadFileBytes(errors).starts_with(
        "korvex-cli modbus: the standard output is closed\nkorvex-cli modbus: stopped after "))
        << ReadFileBytes(errors);
    ASSERT_TRUE(BackInNormalMode());
    EXPECT_EQ(LastOnTheWire().bytes, kExitMessage);

    // `exit` alone takes a regulator out of ModBus mode that a run left there: no switch
    // frame, the exit message at 115200 and then at 230400 baud, which the regulator,
    // back in its normal mode by then, ignores.
    model.modbus_faults->delay_ms = 0;
    EXPECT_EQ(Cli("modbus", "--stay read-hold 0 1").StatusAndErr(), "0|");
    EXPECT_EQ(sim.current_mode(), "modbus");
    sim.ClearWire();
    EXPECT_EQ(Cli("modbus", "exit").StatusAndErr(), "0|");
    PollUntil([&] { return sim.Received().size() >= 18; });
    const auto wire = sim.Wire();
    ASSERT_EQ(wire.size(), 2u);
    EXPECT_EQ(wire[0].mode + " " + wire[1].mode, "modbus normal");
    EXPECT_EQ(std::vector({wire[0].bytes, wire[1].bytes}), std::vector(2, kExitMessage));

    // A silent regulator: the nested text and a plain line saying what the bare "@" means,
    // exit status 1, and still the exit message.
    model.modbus_faults->silent = -1;
    EXPECT_EQ(Cli("modbus", "read-hold 130 2").StatusAndErr(),
              "1|ModBus_ReadHldReg(Addr=1, Reg=130, Num=2):\nModBus_TxRx(): Rx(phase1) error:\n@\n"
              "no answer from the regulator\n");
}
