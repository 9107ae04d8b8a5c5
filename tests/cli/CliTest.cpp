// SPDX-License-Identifier: GPL-3.0-or-later
// korvex-cli and korvex-sim as a user runs them.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "app/ErrorCapture.h"
#include "link/PtyPeer.h"
#include "link/RS232Port.h"
#include "sim/Regulator.h"

namespace korvex {
namespace {

struct Result {
    int status;
    std::string out, err;
};

// The regulator takes a client's stop byte and goes back to its normal mode on its own
// thread; the next run must not switch it before that (a loaded machine may take a while).
bool BackInNormalMode(const sim::SimRegulator& sim) {
    for (int i = 0; i < 500 && sim.current_mode() != "normal"; ++i) usleep(2000);
    return sim.current_mode() == "normal";
}

// The exit message (CAN 0x690: 23 07 00 to address 0) as it goes over the wire.
const std::vector<uint8_t> kExitMessage = {0x00, 0x41, 0x36, 0x90, 0x23, 0x07, 0x00, 0x02, 0xEF};

// What the regulator received last, and in which of its modes.
sim::SimRegulator::WireEvent LastReceived(const sim::SimRegulator& sim) {
    auto wire = sim.Wire();
    for (auto it = wire.rbegin(); it != wire.rend(); ++it)
        if (it->from_program) return *it;
    return {};
}

size_t Lines(const std::string& text) {
    return size_t(std::count(text.begin(), text.end(), '\n'));
}

// A program started as a user starts it and left running: its standard output goes to
// `out`, its standard error to `err` when given, KORVEX_DATA_DIR is `data_dir` when given.
pid_t Start(const std::string& program, const std::vector<std::string>& args,
            const std::string& out, const std::string& data_dir = "",
            const std::string& err = "") {
    pid_t pid = fork();
    if (pid == 0) {
        if (!data_dir.empty()) setenv("KORVEX_DATA_DIR", data_dir.c_str(), 1);
        FILE* f = std::freopen(out.c_str(), "w", stdout);
        if (!err.empty()) f = std::freopen(err.c_str(), "w", stderr);
        (void)f;
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    return pid;
}

// Sends `sig` and waits: the exit status, or -1 when the program did not exit by itself.
int StopWith(pid_t pid, int sig) {
    kill(pid, sig);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

Result RunCommand(const std::string& args, const std::string& env = "") {
    test::TempDir tmp;
    std::string cmd = env + " " + args + " >" + tmp.path() + "/out 2>" + tmp.path() + "/err";
    int rc = std::system(cmd.c_str());
    return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, test::ReadFileBytes(tmp.path() + "/out"),
            test::ReadFileBytes(tmp.path() + "/err")};
}

// korvex-cli as the tests run it: in English whatever the locale they run under (CI runs
// them under a Russian one too); CliLanguage tests the choice itself.
const std::string kCliPath = KORVEX_CLI_PATH;
const std::string kCli = kCliPath + " --lang en";
const std::string kSim = KORVEX_SIM_PATH;

pid_t StartCli(std::vector<std::string> args, const std::string& out,
               const std::string& data_dir = "", const std::string& err = "") {
    args.insert(args.begin(), {"--lang", "en"});
    return Start(kCliPath, args, out, data_dir, err);
}

class CliViewTest : public ::testing::Test {
protected:
    Result View(const std::string& content) {
        test::WriteFileBytes(file, content);
        return RunCommand(kCli + " view " + file);
    }
    test::TempDir tmp;
    std::string file = tmp.path() + "/r.trd";
};

TEST_F(CliViewTest, ShowsWhatTheViewerWindowShows) {
    std::string content =
        "#FILE=COM1\r\n#CHAN=3\r\n#NAME=Ua If State \r\n#XN=Time (sec)\r\n#F=50.000000\r\n"
        "#XX=0,0.020000\r\n";
    for (int r = 0; r < 10; ++r)
        content += std::to_string(r) + ".250000\t-1.000000\t0.000000\t\r\n";
    content.insert(content.size() - 30, "#ERRSEQ\r\n");
    content += "#ERRSEQ\r\n";
    Result r = View(content);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "File: " + file +
                         " ,  3 channels\nSource: COM1\n"
                         "Time=00:00:00 , Fsam=50.00 Hz , Samples=0.010 K , File Length=0.000 MB\n"
                         "Seq. Errors: 2\n"
                         "Ua           9.250\nIf           -1.000\nState        0.000\n");
}

TEST_F(CliViewTest, TwentyChannelsAndZeroRate) {
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

TEST_F(CliViewTest, ReaderMessagesGoToStandardError) {
    struct Case {
        std::string content;
        std::string err;
    } cases[] = {{"#FILE=COM1\r\n#CHAN=3\r\n", "Undefined NumChan & Name[]\n"},
                 {"#CHAN=0\r\n#NAME=A\r\n", "NumChan<=0\n"}};
    for (const auto& c : cases) {
        Result r = View(c.content);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, c.err);
    }
    Result r = RunCommand(kCli + " view " + tmp.path() + "/missing.trd");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Open File '" + tmp.path() + "/missing.trd' error\n");
}

TEST_F(CliViewTest, StatsAndExportOfAWholeFileAndOfARange) {
    std::string content =
        "#FILE=COM1\r\n#CHAN=2\r\n#NAME=Ug If \r\n#F=100.000000\r\n#XX=0,0.010000\r\n";
    for (int r = 0; r < 300; ++r)
        content += std::string(r == 150 ? "9.500000" : (r == 40 ? "-2.000000" : "1.000000")) +
                   "\t" + (r % 2 ? "3.000000" : "-3.000000") + "\t\r\n";
    content += "1.0";  // a row still being written
    test::WriteFileBytes(file, content);
    Result r = RunCommand(kCli + " stats " + file);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "Note: the last 3 bytes are a row still being written and are left out\n");
    EXPECT_EQ(r.out, "File: " + file +
                         "\nRows: 300, 0.010000 s apart, 2.990000 s in all\n"
                         "Channel            Min         at (s)            Max         at (s)      "
                         "     Mean            RMS\n"
                         "Ug           -2.000000       0.400000       9.500000       1.500000      "
                         " 1.018333       1.143460\n"
                         "If           -3.000000       0.000000       3.000000       0.010000      "
                         " 0.000000       3.000000\n");
    r = RunCommand(kCli + " stats --from 0.5 --to 1 " + file);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Range: 0.500000 s to 1.000000 s, rows 50 to 100\n"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("Ug            1.000000       0.500000       1.000000       0.500000"),
              std::string::npos)
        << r.out;

    r = RunCommand(kCli + " export " + file + " --to csv --from 1.5 --to 1.52");
    ASSERT_EQ(r.status, 0) << r.err;
    std::string csv = tmp.path() + "/r.csv";
    EXPECT_EQ(r.out, csv + "\n3 rows\n");
    EXPECT_EQ(test::ReadFileBytes(csv),
              "Time (s),Ug,If\r\n1.5,9.5,-3\r\n1.51,1,3\r\n1.52,1,-3\r\n");
    r = RunCommand(kCli + " export " + file + " --to csv");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("\n'" + csv + "' already exists\n"), std::string::npos) << r.err;
    r = RunCommand(kCli + " export " + file + " --to comtrade -o " + tmp.path() + "/c --overwrite");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, tmp.path() + "/c.cfg\n" + tmp.path() + "/c.dat\n300 rows\n");
    EXPECT_EQ(test::ReadFileBytes(tmp.path() + "/c.dat").size(), 300u * 12);
    // The recording itself is never replaced, under its own name or as the record's .dat.
    const std::string recording = test::ReadFileBytes(file);
    r = RunCommand(kCli + " export " + file + " --to csv -o " + file + " --overwrite");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("'" + file + "' is the recording being exported: it is not replaced\n"),
              std::string::npos)
        << r.err;
    const std::string dat = tmp.path() + "/rec.dat";
    test::WriteFileBytes(dat, recording);
    r = RunCommand(kCli + " export " + dat + " --to comtrade --overwrite");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("'" + dat + "' is the recording being exported: it is not replaced\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(test::ReadFileBytes(file), recording);
    EXPECT_EQ(test::ReadFileBytes(dat), recording);
    EXPECT_FALSE(std::filesystem::exists(tmp.path() + "/rec.cfg"));
    r = RunCommand(kCli + " export " + file + " --to xml");
    EXPECT_EQ(r.status, 2);
    r = RunCommand(kCli + " stats --from 5 " + file);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "No rows between 5.000000 s and 2.990000 s (the recording ends at 2.990000 s)\n");
}

TEST(CliSample, WritesIntoTheDataDirectoryAndReadsBack) {
    test::TempDir tmp;
    Result w = RunCommand(kCli + " sample --rows 25 --rate 166", "KORVEX_DATA_DIR=" + tmp.path());
    ASSERT_EQ(w.status, 0) << w.err;
    std::string path = w.out.substr(0, w.out.size() - 1);
    EXPECT_EQ(path.rfind(tmp.path() + "/", 0), 0u) << path;
    EXPECT_EQ(path.substr(path.size() - 8), "_osc.trd");
    Result v = RunCommand(kCli + " view " + path);
    EXPECT_EQ(v.status, 0) << v.err;
    EXPECT_NE(v.out.find("Fsam=166.67 Hz , Samples=0.025 K"), std::string::npos) << v.out;
}

TEST(CliPorts, HeldPortShowsItsError) {
    test::PtyPeer free_port, held;
    std::string err;
    RS232Port* holder = RS232_Open(held.port(), 9600, 0, 0, 100, 0, &err);
    ASSERT_NE(holder, nullptr) << err;
    Result r = RunCommand(kCli + " ports " + free_port.port() + " " + held.port());
    RS232_Close(holder);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind(free_port.port() + "\n" + held.port() + " - Error 16\n", 0), 0u) << r.out;
}

TEST(CliModBus, TraceOfIdentificationVersionAndExit) {
    sim::SimRegulator sim;
    sim::RegulatorModel model;
    std::string err;
    ASSERT_TRUE(sim::StartRegulator(sim, model, &err)) << err;
    Result r = RunCommand(kCli + " modbus --port " + sim.port_path() + " --trace id read-hold 0 1");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "TX FF FE FC 00 00 00 00 F5\n"
              "TX 01 03 00 90 00 04 44 24\nRX 01 03 08 4F 4B 56 52 58 45 53 20 A0 C4\n"
              "TX 01 03 00 94 00 04 05 E5\nRX 01 03 08 4D 49 41 20 52 56 32 2D 23 B9\n"
              "TX 01 03 00 98 00 04 C5 E6\nRX 01 03 08 00 00 00 00 00 00 00 00 95 D7\n"
              "TX 01 03 00 9C 00 04 84 27\nRX 01 03 08 00 00 00 00 00 00 00 00 95 D7\n"
              "TX 01 03 00 82 00 02 64 23\nRX 01 03 04 02 03 01 00 0A 1B\n"
              "KORVEX SIM AVR-2     Version 2.3.1\n"
              "TX 01 03 00 00 00 01 84 0A\nRX 01 03 02 00 05 78 47\n"
              "0 = 5 (0x0005)\n"
              "TX 00 41 36 90 23 07 00 02 EF\n");
    for (int i = 0; i < 100 && sim.current_mode() != "normal"; ++i) usleep(2000);
    EXPECT_EQ(sim.current_mode(), "normal");

    // Numbers that do not fit their fields are refused before anything is sent.
    sim.ClearWire();
    for (const char* bad : {"write 0x18006 1", "write 5 70000", "read-hold 0 126", "can 0x800 1",
                            "can 0x690 256", "write-multi 0 1,2,70000"}) {
        r = RunCommand(kCli + " modbus --port " + sim.port_path() + " " + bad);
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_NE(r.err.find("bad action"), std::string::npos) << bad;
    }
    EXPECT_TRUE(sim.Received().empty());

    // A silent regulator: the nested text and a plain line saying what the bare "@" means,
    // exit status 1, and still the exit message.
    model.modbus_faults->silent = -1;
    r = RunCommand(kCli + " modbus --port " + sim.port_path() + " read-hold 130 2");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "ModBus_ReadHldReg(Addr=1, Reg=130, Num=2):\nModBus_TxRx(): Rx(phase1) error:\n@\n"
              "no answer from the regulator\n");
}

TEST(CliModBus, AStopEndsTheRunWithTheExitMessageAndWhatWasRead) {
    sim::SimRegulator sim;
    sim::RegulatorModel model;
    std::string err;
    ASSERT_TRUE(sim::StartRegulator(sim, model, &err)) << err;
    // Every answer 20 ms late: a run of 100 reads is still going when it is stopped.
    model.modbus_faults->delay_ms = 20;
    std::vector<std::string> run = {"modbus", "--port", sim.port_path()};
    for (int k = 0; k < 100; ++k) run.insert(run.end(), {"read-hold", "0", "1"});
    auto lines_of = [](size_t n) {
        std::string text;
        for (size_t k = 0; k < n; ++k) text += "0 = 5 (0x0005)\n";
        return text;
    };
    test::TempDir tmp;
    const std::string out = tmp.path() + "/out", errors = tmp.path() + "/err";

    // Ctrl-C: the read in progress is finished and printed, the exit message goes out.
    pid_t pid = StartCli(run, out, "", errors);
    for (int i = 0; i < 1000 && Lines(test::ReadFileBytes(out)) < 2; ++i) usleep(2000);
    EXPECT_EQ(StopWith(pid, SIGINT), 3);
    ASSERT_TRUE(BackInNormalMode(sim));
    EXPECT_EQ(LastReceived(sim).mode, "modbus");
    EXPECT_EQ(LastReceived(sim).bytes, kExitMessage);
    std::string printed = test::ReadFileBytes(out);
    const size_t done = Lines(printed);
    EXPECT_GE(done, 2u);
    EXPECT_LT(done, 100u);
    EXPECT_EQ(printed, lines_of(done)) << "every read that was made, whole";
    EXPECT_EQ(test::ReadFileBytes(errors),
              "korvex-cli modbus: stopped after " + std::to_string(done) + " of 100 actions\n");

    // A reader that goes away after two lines: the same end instead of a death by SIGPIPE.
    sim.ClearWire();
    std::string shell = "(" + kCli;
    for (const auto& a : run) shell += " " + a;
    shell += " 2>" + errors + "; echo $? >" + tmp.path() + "/status) | head -n 2";
    Result r = RunCommand(shell);
    EXPECT_EQ(r.out, lines_of(2));
    EXPECT_EQ(test::ReadFileBytes(tmp.path() + "/status"), "3\n");
    EXPECT_EQ(test::ReadFileBytes(errors).rfind("korvex-cli modbus: the standard output is closed\n"
                                                "korvex-cli modbus: stopped after ",
                                                0),
              0u)
        << test::ReadFileBytes(errors);
    ASSERT_TRUE(BackInNormalMode(sim));
    EXPECT_EQ(LastReceived(sim).bytes, kExitMessage);

    // `exit` alone takes a regulator out of ModBus mode that a run left there: no switch
    // frame, the exit message at 115200 and then at 230400 baud, which the regulator,
    // back in its normal mode by then, ignores.
    model.modbus_faults->delay_ms = 0;
    r = RunCommand(kCli + " modbus --port " + sim.port_path() + " --stay read-hold 0 1");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(sim.current_mode(), "modbus");
    sim.ClearWire();
    r = RunCommand(kCli + " modbus --port " + sim.port_path() + " exit");
    EXPECT_EQ(r.status, 0) << r.err;
    ASSERT_TRUE(BackInNormalMode(sim));
    for (int i = 0; i < 500 && sim.Received().size() < 18; ++i) usleep(2000);
    auto wire = sim.Wire();
    ASSERT_EQ(wire.size(), 2u);
    EXPECT_EQ(wire[0].mode, "modbus");
    EXPECT_EQ(wire[0].bytes, kExitMessage);
    EXPECT_EQ(wire[1].mode, "normal");
    EXPECT_EQ(wire[1].bytes, kExitMessage);
    sim.ClearWire();
    for (const char* bad : {"--stay exit", "id exit"}) {
        r = RunCommand(kCli + " modbus --port " + sim.port_path() + " " + bad);
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_EQ(r.err,
                  "korvex-cli modbus: exit is an action of its own, without other actions and "
                  "without --stay\n");
    }
    EXPECT_TRUE(sim.Received().empty());
}

TEST(CliOsc, RecordsStopsOnCtrlCAndReportsAStreamError) {
    sim::SimRegulator sim;
    sim::RegulatorModel model;
    std::string err;
    ASSERT_TRUE(sim::StartRegulator(sim, model, &err)) << err;
    test::TempDir data;
    std::string env = "KORVEX_DATA_DIR=" + data.path();

    Result r =
        RunCommand(kCli + " osc --port " + sim.port_path() + " --rate 100 --seconds 0.5", env);
    EXPECT_EQ(r.status, 0) << r.err;
    std::string path = r.out.substr(0, r.out.find('\n'));
    Result v = RunCommand(kCli + " view " + path);
    EXPECT_NE(v.out.find("Fsam=100.00 Hz"), std::string::npos) << v.out;

    // Ctrl-C stops as Exit does: the stop byte, a complete last row, the file closed.
    std::string out = data.path() + "/out";
    ASSERT_TRUE(BackInNormalMode(sim));
    model.stream_stats->packets = 0;
    pid_t pid = StartCli({"osc", "--port", sim.port_path()}, out, data.path());
    for (int i = 0; i < 500 && model.stream_stats->packets < 20; ++i) usleep(2000);
    EXPECT_EQ(StopWith(pid, SIGINT), 0);
    std::string second = test::ReadFileBytes(out);
    second = second.substr(0, second.find('\n'));
    std::string rec = test::ReadFileBytes(second);
    ASSERT_GT(rec.size(), 3u) << second;
    EXPECT_EQ(rec.substr(rec.size() - 3), "\t\r\n");
    EXPECT_NE(second, path) << "a new file, never the old one overwritten";

    ASSERT_TRUE(BackInNormalMode(sim));
    model.stream_faults->nan = 1;
    r = RunCommand(kCli + " osc --port " + sim.port_path() + " --seconds 5", env);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Too big value for channel 'Uf'\n");

    r = RunCommand(kCli + " osc --port " + sim.port_path() + " --baud 57600 --rate 166");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "korvex-cli osc: rates above 50 Hz need 115200 baud\n");
}

TEST(CliArguments, NumbersAreCheckedAndDashNamesNeedDashes) {
    // Every malformed or absurd number is refused with exit status 2 before anything is
    // opened; none records without end or fills the disk.
    struct Case {
        std::string args;
        std::string err;
    } cases[] = {
        {"osc --port /dev/null --seconds -1", "--seconds takes"},
        {"osc --port /dev/null --seconds 0", "--seconds takes"},
        {"osc --port /dev/null --seconds abc", "--seconds takes"},
        {"osc --port /dev/null --seconds 99999999999999999999", "--seconds takes"},
        {"osc --port /dev/null --seconds 1e400", "--seconds takes"},
        {"osc --port /dev/null --rate 50x", "--rate takes"},
        {"osc --port /dev/null --rate 7", "--rate takes"},
        {"osc --port /dev/null --baud 9600", "--baud takes"},
        {"sample --rows 99999999999999999999", "--rows takes"},
        {"sample --rows -5", "--rows takes"},
        {"sample --rows 12x", "--rows takes"},
        {"sample --rate 7", "--rate takes"},
    };
    test::TempDir data;
    for (const auto& c : cases) {
        Result r = RunCommand(kCli + " " + c.args, "KORVEX_DATA_DIR=" + data.path());
        EXPECT_EQ(r.status, 2) << c.args;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << c.args << ": " << r.err;
    }
    EXPECT_TRUE(std::filesystem::is_empty(data.path())) << "nothing was written";

    // A recording whose name starts with "-" opens after "--".
    test::TempDir tmp;
    std::string file = tmp.path() + "/-r.trd";
    test::WriteFileBytes(file, "#CHAN=1\r\n#NAME=U\r\n1.5\r\n2.5");
    Result r = RunCommand("cd " + tmp.path() + " && " + kCli + " view -- -r.trd");
    EXPECT_EQ(r.status, 0) << r.err;
    // A finished recording is read to its last byte, last row included.
    EXPECT_NE(r.out.find("Samples=0.002 K"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("U            2.500"), std::string::npos) << r.out;
    EXPECT_EQ(RunCommand("cd " + tmp.path() + " && " + kCli + " view -r.trd").status, 2);

    // An error number in a message is explained on a line of its own.
    r = RunCommand(kCli + " osc --port /dev/ttyKorvexNone --seconds 1");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "RS232_Open(): Open port /dev/ttyKorvexNone : error 2\nNo such file or directory\n");
}

TEST(CliOsc, AFullDiskAndAClosedTerminalKeepEveryCompleteRow) {
    sim::SimRegulator sim;
    sim::RegulatorModel model;
    std::string err;
    ASSERT_TRUE(sim::StartRegulator(sim, model, &err)) << err;
    test::TempDir data;
    std::string env = "KORVEX_DATA_DIR=" + data.path();

    // The file may not grow beyond 8 KiB: the stream stops with the writer's message, and
    // the recording ends with a complete row, the half row cut away.
    Result r = RunCommand("ulimit -f 8; " + env + " " + kCli + " osc --port " + sim.port_path() +
                          " --rate 166 --seconds 20");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Write File error: File too large\n");
    std::string path = r.out.substr(0, r.out.find('\n'));
    std::string rec = test::ReadFileBytes(path);
    ASSERT_GT(rec.size(), 1000u) << path;
    EXPECT_LE(rec.size(), 8192u);
    EXPECT_EQ(rec.substr(rec.size() - 3), "\t\r\n");
    size_t header_end = rec.find("#XX=0,0.006000\r\n") + 16;
    ASSERT_LT(header_end, rec.size());
    std::regex row("(-?[0-9]+\\.[0-9]{6}\t){12}\r");
    std::istringstream rows(rec.substr(header_end));
    for (std::string line; std::getline(rows, line);)
        EXPECT_TRUE(std::regex_match(line, row)) << "a whole row of 12 values: " << line;

    // A closed terminal (SIGHUP) stops as Exit does and still prints the path.
    std::string out = data.path() + "/out";
    ASSERT_TRUE(BackInNormalMode(sim));
    model.stream_stats->packets = 0;
    pid_t pid = StartCli({"osc", "--port", sim.port_path()}, out, data.path());
    for (int i = 0; i < 500 && model.stream_stats->packets < 10; ++i) usleep(2000);
    EXPECT_EQ(StopWith(pid, SIGHUP), 0);
    std::string printed = test::ReadFileBytes(out);
    ASSERT_NE(printed.find(".trd\n"), std::string::npos) << printed;
    rec = test::ReadFileBytes(printed.substr(0, printed.find('\n')));
    EXPECT_EQ(rec.substr(rec.size() - 3), "\t\r\n");
    for (int i = 0; i < 500 && sim.current_mode() != "normal"; ++i) usleep(2000);
    EXPECT_EQ(sim.current_mode(), "normal") << "the regulator got its stop byte";
}

TEST(SimProgram, ThePortIsFreeAgainAfterAClientWasKilled) {
    // A client killed without closing the port leaves the tty's exclusive flag behind;
    // once the regulator's keep-alive watchdog takes it back to its normal mode, the port
    // opens again, as a real regulator's does after a cable was pulled.
    sim::SimRegulator sim;
    sim::RegulatorModel model;
    std::string err;
    ASSERT_TRUE(sim::StartRegulator(sim, model, &err)) << err;
    test::TempDir data;
    pid_t pid = StartCli({"osc", "--port", sim.port_path()}, "/dev/null", data.path());
    for (int i = 0; i < 1000 && model.stream_stats->packets < 10; ++i) usleep(2000);
    StopWith(pid, SIGKILL);
    RS232Port* p = RS232_Open(sim.port_path(), 9600, 0, 0, 100, 0, &err);
    EXPECT_EQ(p, nullptr) << "still held while the regulator streams";
    RS232_Close(p);
    // The watchdog's 3 s without a keep-alive.
    for (int i = 0; i < 500 && sim.current_mode() != "normal"; ++i) usleep(10000);
    ASSERT_EQ(sim.current_mode(), "normal");
    p = RS232_Open(sim.port_path(), 9600, 0, 0, 100, 0, &err);
    EXPECT_NE(p, nullptr) << err;
    RS232_Close(p);

    // The same in ModBus mode: the watchdog's silence (shortened here) without a request.
    model.modbus_options->watchdog_ms = 1000;
    model.modbus_faults->delay_ms = 20;
    std::vector<std::string> run = {"modbus", "--port", sim.port_path()};
    for (int k = 0; k < 100; ++k) run.insert(run.end(), {"read-hold", "0", "1"});
    std::string out = data.path() + "/out";
    pid = StartCli(run, out);
    for (int i = 0; i < 1000 && test::ReadFileBytes(out).empty(); ++i) usleep(2000);
    StopWith(pid, SIGKILL);
    EXPECT_EQ(sim.current_mode(), "modbus");
    p = RS232_Open(sim.port_path(), 115200, kParityEven, 0, 100, 0, &err);
    EXPECT_EQ(p, nullptr) << "still held in ModBus mode";
    RS232_Close(p);
    for (int i = 0; i < 500 && sim.current_mode() != "normal"; ++i) usleep(10000);
    ASSERT_EQ(sim.current_mode(), "normal");
    Result r = RunCommand(kCli + " modbus --port " + sim.port_path() + " read-hold 0 1");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "0 = 5 (0x0005)\n");
}

TEST(CliRecorder, ListReadAndWriteAsTheWindowDoes) {
    sim::SimRegulator sim;
    sim::RegulatorModel model;
    std::string err;
    ASSERT_TRUE(sim::StartRegulator(sim, model, &err)) << err;
    model.recorder->faults->busy_ms = 2;
    test::TempDir data;
    std::string env = "KORVEX_DATA_DIR=" + data.path();
    std::string cli = kCli + " recorder --port " + sim.port_path() + " --baud 230400 ";

    Result r = RunCommand(cli + "list", env);
    EXPECT_EQ(r.status, 0) << r.err;
    std::istringstream out(r.out);
    std::string line;
    std::getline(out, line);
    EXPECT_EQ(
        line,
        "Version:0.1 \tFiles:4    \tSize : 4.000 Mb \tCurrent File : 4      \tWrite : Off      ");
    std::getline(out, line);
    EXPECT_EQ(line.rfind("File          Write           Reason", 0), 0u) << line;
    std::getline(out, line);
    EXPECT_EQ(
        line,
        "  1                Yes        # Protect         500.00        12        2026-11-18       "
        "14:22:07:315          0.029           2.40");
    EXPECT_EQ(sim.current_mode(), "normal") << "taken out of ModBus mode at the end";

    // In Russian, the window's Russian captions, status line and cells.
    r = RunCommand(kCliPath + " --lang ru recorder --port " + sim.port_path() + " --baud 230400 list",
                   env);
    EXPECT_EQ(r.status, 0) << r.err;
    std::istringstream ru(r.out);
    std::getline(ru, line);
    EXPECT_EQ(line,
              "Версия : 0.1 \tФайлов : 4    \tРазмер : 4.000 Mb \tТекущий файл : 4     \tЗапись "
              ": Откл      ");
    std::getline(ru, line);
    EXPECT_EQ(line.rfind("Файл          Запись             Запуск", 0), 0u) << line;
    std::getline(ru, line);
    EXPECT_EQ(line.rfind("  1                Да            # Защита          500.00", 0), 0u) << line;

    // A read: the path, the file; a failure keeps the sectors before it and exits 1.
    r = RunCommand(cli + "read 4", env);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("_0004_(2026.12.05_12.00.00.000).trd\n"), std::string::npos) << r.out;
    model.recorder->faults->bad_format_sector = 2;
    r = RunCommand(cli + "read 4", env);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "Ошибка: Неизвестный формат (0xFFFF) сектора данных (сектор=2).\nВозможно, запись "
              "была прервана.\n");
    std::string rec = test::ReadFileBytes(r.out.substr(0, r.out.find('\n')));
    EXPECT_NE(rec.find("#F=250.000000\r\n"), std::string::npos);
    EXPECT_EQ(rec.substr(rec.size() - 2), "\r\n");
    r = RunCommand(cli + "read 9", env);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Недопустимый номер файла\n");

    // Ctrl-C stops between sectors as Stop does, but a script can tell: exit status 3 and
    // a line that says after how many sectors; the path, whole sectors.
    model.recorder->faults->bad_format_sector = -1;
    model.recorder->faults->busy_ms = 20;
    std::string printed = data.path() + "/read-out", errors = data.path() + "/read-err";
    pid_t pid =
        StartCli({"recorder", "--port", sim.port_path(), "--baud", "230400", "read", "4"},
                 printed, data.path(), errors);
    for (int i = 0; i < 1000 && model.recorder->selected_sector() < 3; ++i) usleep(2000);
    EXPECT_EQ(StopWith(pid, SIGINT), 3);
    std::string stopped = test::ReadFileBytes(printed);
    ASSERT_FALSE(stopped.empty());
    rec = test::ReadFileBytes(stopped.substr(0, stopped.find('\n')));
    size_t rows = 0;
    for (size_t p = 0; (p = rec.find("\r\n", p)) != std::string::npos; p += 2)
        rows += rec.compare(rec.rfind('\n', p - 1) + 1, 1, "#") != 0;
    const int per_sector = 240 / model.recorder->recording(3).nchan;
    EXPECT_EQ(rows % per_sector, 0u) << rows;
    EXPECT_GT(rows, 0u);
    EXPECT_LT(rows, size_t(per_sector * model.recorder->recording(3).sectors));
    EXPECT_EQ(rec.substr(rec.size() - 2), "\r\n");
    EXPECT_EQ(test::ReadFileBytes(errors),
              "korvex-cli recorder: read stopped after " + std::to_string(rows / per_sector) +
                  " of " + std::to_string(model.recorder->recording(3).sectors) + " sectors\n");
    ASSERT_TRUE(BackInNormalMode(sim)) << "the exit message after the stop";
    model.recorder->faults->busy_ms = 2;

    r = RunCommand(cli + "write on", env);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Write : On (manu)"), std::string::npos) << r.out;
    EXPECT_EQ(model.recorder->state(), 1);
    r = RunCommand(cli + "write off", env);
    EXPECT_EQ(model.recorder->state(), 0);

    for (const char* bad : {"read 0", "read x", "write maybe", "list extra", ""})
        EXPECT_EQ(RunCommand(cli + bad).status, 2) << bad;
    EXPECT_EQ(RunCommand(kCli + " recorder --port " + sim.port_path() + " --baud 9600 list").status,
              2);
}

TEST(CliDiary, WritesTheReportAndPrintsItDecoded) {
    sim::SimRegulator sim;
    sim::RegulatorModel model;
    std::string err;
    ASSERT_TRUE(sim::StartRegulator(sim, model, &err)) << err;
    test::TempDir data;
    Result r = RunCommand(kCli + " diary --port " + sim.port_path() + " --print",
                          "KORVEX_DATA_DIR=" + data.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("********** Дневник-2 (40 сообщ) **********\n"), std::string::npos)
        << r.out.substr(0, 300);
    std::string path = r.out.substr(r.out.rfind('\n', r.out.size() - 2) + 1);
    path.pop_back();
    EXPECT_NE(path.find("KORVEX(1).info.txt"), std::string::npos) << path;
    std::string bytes = test::ReadFileBytes(path);
    EXPECT_NE(bytes.find("\xC4\xED\xE5\xE2\xED\xE8\xEA-2"), std::string::npos) << "CP1251 on disk";
    EXPECT_NE(bytes.find("\r\n"), std::string::npos);

    // A failing regulator: the message, no report shown, exit status 1.
    model.parameters->faults->set_count = 9;
    r = RunCommand(kCli + " diary --port " + sim.port_path(), "KORVEX_DATA_DIR=" + data.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Error 5\n");
    EXPECT_EQ(RunCommand(kCli + " diary").status, 2);
}

TEST(CliLanguage, FollowsTheLocaleAsTheGuiDoesAndLangOverridesIt) {
    // The messages' locale (LC_ALL, else LC_MESSAGES, else LANG) and, under a real locale,
    // the first entry of LANGUAGE; --lang anywhere before "--" wins over all of them.
    const std::string russian = "korvex-cli osc: --rate принимает значения 50, 100, 125 или 166\n";
    const std::string english = "korvex-cli osc: --rate takes 50, 100, 125 or 166\n";
    struct Case {
        std::string env, args;
        bool russian;
    } cases[] = {
        {"LANG=ru_RU.UTF-8", "osc --rate 7", true},
        {"LANG=en_US.UTF-8 LC_MESSAGES=ru_RU.UTF-8", "osc --rate 7", true},
        {"LANG=ru_RU.UTF-8 LC_ALL=C", "osc --rate 7", false},
        {"LANG=ru_RU.UTF-8 LANGUAGE=en_GB:ru", "osc --rate 7", false},
        {"LANG=en_US.UTF-8 LANGUAGE=ru", "osc --rate 7", true},
        {"LANG=C LANGUAGE=ru", "osc --rate 7", false},
        {"LANG=ru_RU.UTF-8", "--lang en osc --rate 7", false},
        {"LANG=C", "osc --lang ru --rate 7", true},
    };
    for (const auto& c : cases) {
        Result r = RunCommand("env -u LC_ALL -u LC_MESSAGES -u LANGUAGE " + c.env + " " + kCliPath +
                              " " + c.args + " --port /dev/null");
        EXPECT_EQ(r.status, 2) << c.env << " " << c.args;
        EXPECT_EQ(r.err, c.russian ? russian : english) << c.env << " " << c.args;
    }
    Result r = RunCommand("env LC_ALL=C " + kCliPath + " --lang de ports");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "korvex-cli: --lang takes en or ru\n");
}

TEST(SimProgram, PrintsItsPortFirstAndLinksIt) {
    test::TempDir tmp;
    std::string link = tmp.path() + "/regulator";
    std::string out = tmp.path() + "/out";
    pid_t pid =
        Start(kSim, {"--link", link, "--diary", "input-variant", "--diary", "short-value=1"}, out);
    struct stat st {};
    for (int i = 0; i < 500 && lstat(link.c_str(), &st) != 0; ++i) usleep(2000);
    ASSERT_TRUE(S_ISLNK(st.st_mode));
    std::string first = test::ReadFileBytes(out);
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
    test::TempDir data;
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

}  // namespace
}  // namespace korvex
