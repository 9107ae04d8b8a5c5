// SPDX-License-Identifier: GPL-3.0-or-later
// The Windows build's own pieces: port names, the port layer's refusals before and at
// the system open, the program and data directories with Windows paths. The suites that
// need a pseudo-terminal or the simulated regulator (both POSIX) are not built here; the
// Win32 port layer is run end to end under Wine by scripts/windows-check.sh.
#include <gtest/gtest.h>
#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "app/ErrorCapture.h"
#include "app/ErrorReport.h"
#include "app/ProgramDir.h"
#include "files/DataDirectory.h"
#include "link/ComPortList.h"
#include "link/LineErrors.h"
#include "link/PlayedCounters.h"
#include "link/PortNames.h"
#include "link/RS232Port.h"

namespace korvex {
namespace {

TEST(WindowsPort, ComNamesTheirDevicePathsAndRefusals) {
    // Names and the paths they open (COMX passes the check and fails in the open).
    const char* const valid[] = {"COM1",          "\\\\.\\COM1", "COM999",
                                 "\\\\.\\COM999", "COMX",        "\\\\.\\COMX"};
    std::string path;
    for (size_t i = 0; i < std::size(valid); i += 2)
        EXPECT_EQ(ResolvePortName(valid[i], &path) ? path : "refused", valid[i + 1]) << valid[i];
    for (const char* name : {"COM", "COM1234", "/dev/ttyS0", ""})
        EXPECT_FALSE(ResolvePortName(name, &path)) << name;
    auto names = CandidatePortNames();
    ASSERT_EQ(names.size(), 19u);
    EXPECT_EQ(names.front() + " " + names.back(), "COM1 COM19");

    // The port layer's refusals before and at the system open.
    std::string err;
    EXPECT_EQ(RS232_Open("COM", 9600, kParityNone, 0, 100, 0, &err), nullptr);
    EXPECT_EQ(err, "RS232_Open(): Invalid Port Name: COM");
    EXPECT_EQ(RS232_Open("COM1234", 9600, kParityNone, 0, 100, 0, &err), nullptr);
    EXPECT_EQ(err, "RS232_Open(): Invalid Port Name: COM1234");
    // A port that does not exist: the system open's own error (2, no such device).
    EXPECT_EQ(RS232_Open("COM250", 9600, kParityNone, 0, 100, 0, &err), nullptr);
    EXPECT_EQ(err, "RS232_Open(): Open port COM250 : error 2");
    EXPECT_EQ(RS232_TxRx(nullptr, nullptr, 0, nullptr, nullptr, 0, &err), kRS232NullHandle);
    EXPECT_EQ(err, "RS232_TxRx(): hComm=0");
    EXPECT_EQ(RS232_Close(nullptr), 0);
    // The list leaves out ports that do not exist.
    ComPortList list;
    RS232_EnumPortsFrom({"COM240", "COM241"}, &list);
    EXPECT_TRUE(list.ports.empty());
}

TEST(WindowsDirectories, ProgramAndDataDirectoriesWithBackslashes) {
    EXPECT_TRUE(GetProgramDir().ends_with("\\")) << GetProgramDir();

    test::TempDir tmp;
    std::string base = std::filesystem::path(tmp.path()).make_preferred().string();
    DataDirectory::Options o;
    o.program_dir = base + "\\";
    // 2013-05-17 14:03:09: seconds, minutes, hours, day, month from 0, year from 1900, ...
    o.clock = [] { return std::tm{9, 3, 14, 17, 4, 113, 0, 0, 0}; };
    DataDirectory dir(o);
    test::ErrorCapture shown;
    for (const char* name : {"14.03.09_osc.trd", "14.03.09-2_osc.trd"}) {
        std::string path;
        FILE* f = dir.Open("osc.trd", "w", &path);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(path, base + "\\DATA\\2013.05.17\\" + name);
        std::fputs("1.000000\t\r\n", f);  // written as it is: no text-mode translation
        std::fclose(f);
        EXPECT_EQ(test::ReadFileBytes(path), "1.000000\t\r\n");
    }
    EXPECT_TRUE(shown.texts().empty());

    // A program directory that is a file: DATA cannot be made, with the system's code.
    std::string blocker = base + "\\prog";
    test::WriteFileBytes(blocker, "x");
    o.program_dir = blocker + "\\";
    o.user_data_dir.clear();
    std::string err;
    EXPECT_EQ(DataDirectory(o).Open("osc.trd", "w", nullptr, &err), nullptr);
    EXPECT_EQ(err.rfind("Create Directory " + blocker + "\\DATA:  Error=", 0), 0u) << err;
}

// The exchange's line-status step on a real COM port, which scripts/windows-check.sh maps
// to the simulated regulator in ModBus mode (115200 baud, 8E1), with the counters played
// by the test: a line error replaces the success of a complete answer, unreadable
// counters give 8, and a short receive returns 16 unchecked, also where the read ended
// by its own time-out (Wine reports that as a failed read).
TEST(WindowsPortOnACom, TheLineStatusStepOfAnExchange) {
    const char* com = std::getenv("KORVEX_TEST_COM");
    if (!com) GTEST_SKIP() << "KORVEX_TEST_COM names no port (scripts/windows-check.sh sets it)";
    std::string err;
    RS232Port* port = RS232_Open(com, 115200, kParityEven, 0, 500, kRS232ReportShort, &err);
    ASSERT_NE(port, nullptr) << err;
    test::PlayedCounters fake;
    RS232_SetLineStatusSource(port, &fake);
    const uint8_t request[8] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A};
    uint8_t answer[7];
    uint32_t n_rx;
    for (const auto& [errors, readable, code, text] : test::kLineStatusCases) {
        AddCommErrors(errors, &fake.counts);
        fake.readable = readable;
        n_rx = 0, err.clear();
        EXPECT_EQ(RS232_TxRx(port, request, 8, answer, &n_rx, 7, &err), code) << text;
        EXPECT_EQ(n_rx, 7u);
        EXPECT_EQ(err, text);
    }
    // Nothing asked of the regulator: the read ends by its time-out, short, unchecked.
    fake.counts.parity++;
    RS232_SetReportShort(port, false);
    RS232_SetWaitMs(port, 50);
    n_rx = 9;
    EXPECT_EQ(RS232_TxRx(port, nullptr, 0, answer, &n_rx, 4, &err), kRS232ShortReceive);
    EXPECT_EQ(n_rx, 0u);
    EXPECT_EQ(err, "@");
    RS232_Close(port);
}

// The codes that the port layer and the directories quote are the system's, and so are
// their meanings: a busy port's 5 is "access denied", not the C library's EIO.
TEST(WindowsErrorTexts, TheSystemsCodesAreExplainedByTheSystem) {
    // The wording is the system's (Windows and Wine differ); the subject must be right.
    const std::pair<const char*, const char*> cases[] = {
        {"RS232_Open(): Open port COM3 : error 5", "denied"},
        {"RS232_Open(): Open port COM9 : error 2", "file"},
        {"Create Directory C:\\x\\DATA:  Error=3 (0x3)", "path"}};
    for (const auto& [text, subject] : cases) {
        std::string meaning = ErrorExplanation(text);
        for (char& ch : meaning) ch = char(std::tolower(static_cast<unsigned char>(ch)));
        EXPECT_NE(meaning.find(subject), std::string::npos) << text << ": " << meaning;
    }
}

}  // namespace
}  // namespace korvex
