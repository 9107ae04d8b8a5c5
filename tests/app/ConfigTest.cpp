// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Config.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include "app/ErrorCapture.h"
#include "app/PathNames.h"
#include "app/StrPrintf.h"
#include "app/Version.h"
#include "app/Viewer.h"

namespace korvex {
namespace {

TEST(Config, ParsedAsTheProgramAlwaysParsedIt) {
    struct Case {
        std::string file;
        std::string port;
        uint32_t baud1, fsam, baud2;
    } cases[] = {
        {"com=5\n", "COM5", 0, 0, 0},
        {" COM=5\n", "", 0, 0, 0},  // a leading blank matches no key
        {"COM=abc\n", "COM0", 0, 0, 0},
        {"COM=3\nCOM=7\n", "COM7", 0, 0, 0},  // later lines win
        {"BAUD1=57600xyz\nFSAM=166\nbaud2= 230400\n", "", 57600, 166, 230400},
        {"FSAM=\nBAUD2=-5\n", "", 0, 0, 0},
        {"COM=4\r\nBAUD1=38400\r\n", "COM4", 38400, 0, 0},
        {std::string(198, 'x') + "COM=9\n", "COM9", 0, 0, 0},  // a long line continues as the next
    };
    for (const auto& c : cases) {
        test::TempDir dir;
        test::WriteFileBytes(dir.path() + "/Korvex.cfg", c.file);
        ConfigValues cfg;
        EXPECT_TRUE(ReadConfigFile(dir.path() + "/Korvex.cfg", &cfg));
        EXPECT_EQ(cfg.cfg_port, c.port) << c.file;
        EXPECT_EQ(cfg.cfg_baud1, c.baud1) << c.file;
        EXPECT_EQ(cfg.cfg_fsam, c.fsam) << c.file;
        EXPECT_EQ(cfg.cfg_baud2, c.baud2) << c.file;
    }
    ConfigValues untouched;
    EXPECT_FALSE(ReadConfigFile("/nonexistent/Korvex.cfg", &untouched));
}

TEST(Version, CaptionsAndComparison) {
    EXPECT_EQ(TitleWithVersion("", {1, 3, 1, 0}), " Korvex v1.3.1");
    EXPECT_EQ(TitleWithVersion("", {1, 3, 1, 2}), " Korvex v1.3.1 Beta 2");
    EXPECT_EQ(TitleWithVersion("COM3", {1, 3, 1, 0}), " Korvex v1.3.1  -  COM3");
    EXPECT_EQ(TitleWithVersion(""), " Korvex v1.3.1") << "this release";
    EXPECT_EQ(AboutVersionLine(), "Korvex   v1.3.1.0");
    EXPECT_EQ(CompareVersion4({1, 0, 4, 0}, {1, 0, 4, 0}), 0);
    EXPECT_EQ(CompareVersion4({1, 0, 3, 9}, {1, 0, 4, 0}), -1);
    EXPECT_EQ(CompareVersion4({2, 0, 0, 0}, {1, 9, 9, 9}), 1);
    Version4 v{9, 9, 9, 9};
    EXPECT_EQ(GetFileVersion4("/nonexistent/trendal", &v), -1);
    EXPECT_EQ(GetFileVersion4("/bin/sh", &v), 0);
    EXPECT_EQ(v, (Version4{0, 0, 0, 0}));
}

}  // namespace
}  // namespace korvex

namespace korvex {
namespace {

TEST(Config, LookedForBesideTheProgramThenInTheUsersConfiguration) {
#ifdef _WIN32
    // Windows keeps Korvex.cfg beside the program only.
    auto paths = ConfigFilePaths();
    ASSERT_EQ(paths.size(), 1u);
    EXPECT_EQ(paths[0].substr(paths[0].size() - 11), "\\Korvex.cfg");
#else
    const char* old = std::getenv("XDG_CONFIG_HOME");
    std::string saved = old ? old : "";
    setenv("XDG_CONFIG_HOME", "/home/u/.cfg", 1);
    auto paths = ConfigFilePaths();
    ASSERT_EQ(paths.size(), 2u);
    EXPECT_EQ(paths[0].substr(paths[0].size() - 11), "/Korvex.cfg");
    EXPECT_EQ(paths[1], "/home/u/.cfg/korvex/Korvex.cfg");
    if (old)
        setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
#endif
}

// Export names are made from the recording's: its folder kept, its type dropped; a dot or
// (on Windows) a backslash in a folder's name must not cut the name.
TEST(PathNames, TypeAndStemFollowThePlatformsSeparators) {
    EXPECT_EQ(WithoutType("/d/14.03.09_osc.trd"), "/d/14.03.09_osc");
    EXPECT_EQ(WithoutType("/d/2013.05.17/rec"), "/d/2013.05.17/rec");
    EXPECT_EQ(FileStem("/d/2013.05.17/a.b.trd"), "a.b");
    EXPECT_EQ(FileStem("rec"), "rec");
#ifdef _WIN32
    EXPECT_EQ(WithoutType("C:\\DATA\\2013.05.17\\rec"), "C:\\DATA\\2013.05.17\\rec");
    EXPECT_EQ(FileStem("C:\\DATA\\2013.05.17\\rec.trd"), "rec");
#else
    EXPECT_EQ(FileStem("/d/a\\b.trd"), "a\\b") << "a backslash is part of a name here";
#endif
}

// The exports quote errno values on every platform (on Windows too, where the port
// layer's codes are the system's): 28 is a full disk, not a printer out of paper.
TEST(ErrorExplanation, TheExportsErrnoValues) {
    EXPECT_EQ(ErrorExplanation(StrPrintf("Write File 'r.dat' error: error %d", ENOSPC)),
              "No space left on device");
    EXPECT_EQ(ErrorExplanation(StrPrintf("Create File 'r.csv' error: error %d", EACCES)),
              "Permission denied");
    EXPECT_EQ(ErrorExplanation("Write File error"), "");
}

TEST(Viewer, StartupMessages) {
    EXPECT_EQ(ViewerStartupMessage(false, false, {}, true), "") << "Korvex shows recordings itself";
    EXPECT_EQ(ViewerStartupMessage(false, false, {}, false),
              "Не найден файл Trendal.exe - невозможен просмотр графиков\n");
    EXPECT_EQ(ViewerStartupMessage(true, false, {}, true), "")
        << "no version record: presence counts";
    EXPECT_EQ(ViewerStartupMessage(true, true, {0, 0, 0, 0}, false),
              "Версия файла Trendal.exe устарела (v0.0.0)\nРекомендуется обновить до v1.0.4+");
    EXPECT_EQ(ViewerStartupMessage(true, true, {1, 0, 3, 9}, false),
              "Версия файла Trendal.exe устарела (v1.0.3)\nРекомендуется обновить до v1.0.4+");
    EXPECT_EQ(ViewerStartupMessage(true, true, {1, 0, 4, 0}, false), "");
}

TEST(Viewer, WindowsCommandLineArgumentsReadBackUnchanged) {
    struct Case {
        const char* arg;
        const char* quoted;
    } cases[] = {
        {"C:\\DATA\\osc.trd", "C:\\DATA\\osc.trd"},
        {"C:\\My Data\\osc.trd", "\"C:\\My Data\\osc.trd\""},
        {"C:\\My Data\\", "\"C:\\My Data\\\\\""},  // the closing quote stays a quote
        {"say \"hi\"", "\"say \\\"hi\\\"\""},
        {"a\\\"b", "\"a\\\\\\\"b\""},  // a\" : the backslash doubled, the quote escaped
        {"", "\"\""},
    };
    for (const auto& c : cases) EXPECT_EQ(QuoteWindowsArgument(c.arg), c.quoted) << c.arg;
}

TEST(Viewer, NothingToStartIsReported) {
    // Beside the test program there is neither a separate viewer nor korvex itself.
    ASSERT_TRUE(FindViewer().empty());
    test::ErrorCapture shown;
    EXPECT_EQ(RunViewer("/tmp/some recording.trd"), -1);
    EXPECT_EQ(shown.texts(), std::vector<std::string>{"File Trendal.exe not found!"});
}

}  // namespace
}  // namespace korvex
