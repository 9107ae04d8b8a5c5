// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Config.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include "app/ErrorCapture.h"
#include "app/ErrorReport.h"
#include "app/PathNames.h"
#include "app/StrPrintf.h"

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
        EXPECT_EQ(std::tuple(cfg.cfg_port, cfg.cfg_baud1, cfg.cfg_fsam, cfg.cfg_baud2),
                  std::tuple(c.port, c.baud1, c.fsam, c.baud2))
            << c.file;
    }
    ConfigValues untouched;
    EXPECT_FALSE(ReadConfigFile("/nonexistent/Korvex.cfg", &untouched));
}

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
    // Beside the program: an absolute path, whatever the working directory.
    EXPECT_EQ(paths[0].front(), '/');
    EXPECT_EQ(paths[0].substr(paths[0].size() - 11), "/Korvex.cfg");
    EXPECT_EQ(paths[1], "/home/u/.cfg/korvex/Korvex.cfg");
    old ? setenv("XDG_CONFIG_HOME", saved.c_str(), 1) : unsetenv("XDG_CONFIG_HOME");
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

}  // namespace
}  // namespace korvex
