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
#include "link/ModBusCRC.h"
#include "link/PlayedCounters.h"
#include "link/PortNames.h"
#include "link/RS232Port.h"

namespace korvex {
namespace {

TEST(WindowsPortNames, ComNamesAndTheirDevicePaths) {
    struct Case {
        const char* name;
        bool valid;
        const char* path;
    } cases[] = {
        {"COM1", true, "\\\\.\\COM1"},
        {"COM999", true, "\\\\.\\COM999"},
        {"COMX", true, "\\\\.\\COMX"},  // passes the check, fails in the open
        {"COM", false, ""},
        {"COM1234", false, ""},
        {"/dev/ttyS0", false, ""},
        {"", false, ""},
    };
    for (const auto& c : cases) {
        std::string path;
        EXPECT_EQ(ResolvePortName(c.name, &path), c.valid) << c.name;
        if (c.valid) {
            EXPECT_EQ(path, c.path) << c.name;
        }
    }
    auto names = CandidatePortNames();
    ASSERT_EQ(names.size(), 19u);
    EXPECT_EQ(names.front(), "COM1");
    EXPECT_EQ(names.back(), "COM19");
}

TEST(WindowsPort, RefusalsWithTheirTexts) {
    std::string err;
    EXPECT_EQ(RS232_Open("COM", 9600, kParityNone, 0, 100, 0, &err), nullptr);
    EXPECT_EQ(err, "RS232_Open(): Invalid Port Name: COM");
    EXPECT_EQ(RS232_Open("COM1234", 9600, kParityNone, 0, 100, 0, &err), nullptr);
    EXPECT_EQ(err, "RS232_Open(): Invalid Port Name: COM1234");
    // A port that does not exist: the system open's own error (2, no such device).
    EXPECT_EQ(RS232_Open("COM250", 9600, kParityNone, 0, 100, 0, &err), nullptr);
    EXPECT_EQ(err, "RS232_Open(): Open port COM250 : error 2");
    uint32_t n = 0;
    uint8_t b = 0;
    EXPECT_EQ(RS232_TxRx(nullptr, nullptr, 0, &b, &n, 1, &err), kRS232NullHandle);
    EXPECT_EQ(err, "RS232_TxRx(): hComm=0");
    EXPECT_EQ(RS232_Close(nullptr), 0);
    // The list leaves out ports that do not exist.
    ComPortList list;
    RS232_EnumPortsFrom({"COM240", "COM241"}, &list);
    EXPECT_TRUE(list.ports.empty());
}

TEST(WindowsDirectories, ProgramAndDataDirectoriesWithBackslashes) {
    std::string program = GetProgramDir();
    ASSERT_FALSE(program.empty());
    EXPECT_EQ(program.back(), '\\');

    test::TempDir tmp;
    std::string base = std::filesystem::path(tmp.path()).make_preferred().string();
    DataDirectory::Options o;
    o.program_dir = base + "\\";
    o.clock = [] {
        std::tm t{};
        t.tm_year = 2013 - 1900;
        t.tm_mon = 4;
        t.tm_mday = 17;
        t.tm_hour = 14;
        t.tm_min = 3;
        t.tm_sec = 9;
        return t;
    };
    DataDirectory dir(o);
    test::ErrorCapture shown;
    std::string p1, p2;
    FILE* f1 = dir.Open("osc.trd", "w", &p1);
    ASSERT_NE(f1, nullptr);
    std::fputs("1.000000\t\r\n", f1);  // written as it is: no text-mode translation
    std::fclose(f1);
    FILE* f2 = dir.Open("osc.trd", "w", &p2);
    ASSERT_NE(f2, nullptr);
    std::fclose(f2);
    EXPECT_EQ(p1, base + "\\DATA\\2013.05.17\\14.03.09_osc.trd");
    EXPECT_EQ(p2, base + "\\DATA\\2013.05.17\\14.03.09-2_osc.trd");
    EXPECT_EQ(test::ReadFileBytes(p1), "1.000000\t\r\n");
    EXPECT_TRUE(shown.texts().empty());

    // A program directory that is a file: DATA cannot be made, with the system's code.
    std::string blocker = base + "\\prog";
    test::WriteFileBytes(blocker, "x");
    DataDirectory::Options bad = o;
    bad.program_dir = blocker + "\\";
    bad.user_data_dir.clear();
    DataDirectory none(bad);
    std::string err;
    EXPECT_EQ(none.Open("osc.trd", "w", nullptr, &err), nullptr);
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
    uint8_t request[8] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x01};
    const uint16_t crc = ModBus_CRC(request, 6);
    request[6] = uint8_t(crc);
    request[7] = uint8_t(crc >> 8);
    for (const auto& c : test::kLineStatusCases) {
        fake.Count(c.errors);
        fake.readable = c.readable;
        uint8_t answer[7];
        uint32_t n_rx = 0;
        err.clear();
        EXPECT_EQ(RS232_TxRx(port, request, 8, answer, &n_rx, 7, &err), c.code) << c.text;
        EXPECT_EQ(n_rx, 7u);
        EXPECT_EQ(err, c.text);
    }
    // Nothing asked of the regulator: the read ends by its time-out, short, unchecked.
    fake.counts.parity++;
    RS232_SetReportShort(port, false);
    RS232_SetWaitMs(port, 50);
    uint8_t rx[4];
    uint32_t n_rx = 9;
    EXPECT_EQ(RS232_TxRx(port, nullptr, 0, rx, &n_rx, 4, &err), kRS232ShortReceive);
    EXPECT_EQ(n_rx, 0u);
    EXPECT_EQ(err, "@");
    RS232_Close(port);
}

// The codes that the port layer and the directories quote are the system's, and so are
// their meanings: a busy port's 5 is "access denied", not the C library's EIO.
TEST(WindowsErrorTexts, TheSystemsCodesAreExplainedByTheSystem) {
    // The wording is the system's (Windows and Wine differ); the subject must be right.
    struct Case {
        const char* text;
        const char* subject;
    } cases[] = {{"RS232_Open(): Open port COM3 : error 5", "denied"},
                 {"RS232_Open(): Open port COM9 : error 2", "file"},
                 {"Create Directory C:\\x\\DATA:  Error=3 (0x3)", "path"}};
    for (const auto& c : cases) {
        std::string meaning = ErrorExplanation(c.text);
        for (char& ch : meaning) ch = char(std::tolower(static_cast<unsigned char>(ch)));
        EXPECT_NE(meaning.find(c.subject), std::string::npos) << c.text << ": " << meaning;
    }
}

}  // namespace
}  // namespace korvex
