// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/DataDirectory.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "app/ErrorCapture.h"

namespace korvex {
namespace {

// 2013-05-`day` h:m:s.
std::tm At(int day, int h, int m, int s) {
    std::tm t{};
    t.tm_year = 113, t.tm_mon = 4, t.tm_mday = day, t.tm_hour = h, t.tm_min = m, t.tm_sec = s;
    return t;
}

class DataDirectoryTest : public ::testing::Test {
protected:
    DataDirectory Make(std::string program_dir, std::string env = "", std::string user = "") {
        return DataDirectory(
            {std::move(program_dir), std::move(env), std::move(user), [this] { return now; }});
    }
    // Creates `name` in `dir`: the path given back, followed by "|" and the message when
    // the open fails.
    std::string Create(DataDirectory& dir, const std::string& name) {
        std::string path, err;
        FILE* f = dir.Open(name, "w", &path, &err);
        if (!f) return path + "|" + err;
        std::fclose(f);
        return path;
    }

    test::TempDir tmp;
    std::tm now = At(17, 14, 3, 9);
};

TEST_F(DataDirectoryTest, NamesFilesByDayAndTimeAndNeverOverwrites) {
    test::ErrorCapture shown;
    DataDirectory dir = Make(tmp.path() + "/");
    const std::string day = tmp.path() + "/DATA/2013.05.17/";
    // The same second and base name three times: the first file is kept.
    EXPECT_EQ(Create(dir, "osc.trd"), day + "14.03.09_osc.trd");
    test::WriteFileBytes(day + "14.03.09_osc.trd", "first");
    EXPECT_EQ(Create(dir, "osc.trd"), day + "14.03.09-2_osc.trd");
    EXPECT_EQ(Create(dir, "osc.trd"), day + "14.03.09-3_osc.trd");
    EXPECT_EQ(test::ReadFileBytes(day + "14.03.09_osc.trd"), "first");
    EXPECT_EQ(dir.data_dir(), tmp.path() + "/DATA");
    // After midnight the directory of the first day stays.
    now = At(18, 0, 0, 1);
    EXPECT_EQ(Create(dir, "osc.trd"), day + "00.00.01_osc.trd");

    // Existing directories are used silently, also by a new process.
    DataDirectory again = Make(tmp.path());
    now = At(17, 14, 3, 10);
    EXPECT_EQ(Create(again, "0001_(2013.05.17_14.00.00.000).trd"),
              day + "14.03.10_0001_(2013.05.17_14.00.00.000).trd");
    EXPECT_TRUE(shown.texts().empty());
}

TEST_F(DataDirectoryTest, FailuresAreReportedAndNotCached) {
    test::ErrorCapture shown;
    // The program directory is a file: DATA cannot be made inside it.
    const std::string prog = tmp.path() + "/prog", day = prog + "/DATA/2013.05.17";
    test::WriteFileBytes(prog, "x");
    DataDirectory dir = Make(prog + "/");
    std::string path = "unchanged";
    EXPECT_EQ(dir.Open("osc.trd", "w", &path), nullptr);
    EXPECT_EQ(shown.texts(),
              std::vector<std::string>{"Create Directory " + prog + "/DATA:  Error=20 (0x14)"});
    EXPECT_EQ(path, "unchanged");

    // Once the cause is gone the next call succeeds: nothing failed stays cached.
    std::remove(prog.c_str());
    std::filesystem::create_directories(prog + "/DATA");
    test::WriteFileBytes(day, "a file where the day directory goes");
    EXPECT_EQ(Create(dir, "osc.trd"), "|Create Directory '" + day + "':  Error=17 (0x11)");
    std::remove(day.c_str());
    EXPECT_EQ(Create(dir, "osc.trd"), day + "/14.03.09_osc.trd");

    // The path is given back even when the open fails.
    const std::string bad = day + "/14.03.09_no/such/dir.trd";
    EXPECT_EQ(Create(dir, "no/such/dir.trd"), bad + "|Open file '" + bad + "' Error");

    // A day directory removed while the program runs is made again.
    std::filesystem::remove_all(prog + "/DATA");
    EXPECT_EQ(Create(dir, "osc.trd"), day + "/14.03.09_osc.trd");
}

// Where DATA cannot be made, and in the directories of installed programs even when the
// user (root) could write there; and where the environment names a directory.
TEST_F(DataDirectoryTest, AnInstalledProgramWritesIntoTheUsersDataDirectory) {
    const std::string user = tmp.path() + "/home/.local/share/korvex/DATA";
    for (const char* program_dir : {"/sys/", "/usr/bin/", "/usr/local/bin/", "/opt/korvex/bin/"}) {
        DataDirectory dir = Make(program_dir, "", user);
        EXPECT_EQ(Create(dir, "osc.trd").rfind(user + "/2013.05.17/14.03.09", 0), 0u)
            << program_dir;
    }
    // The environment's directory is made with its parents.
    DataDirectory dir = Make(tmp.path() + "/", tmp.path() + "/elsewhere/korvex/", user);
    EXPECT_EQ(Create(dir, "osc.trd"), tmp.path() + "/elsewhere/korvex/2013.05.17/14.03.09_osc.trd");
    EXPECT_FALSE(std::filesystem::exists(tmp.path() + "/DATA"));
}

}  // namespace
}  // namespace korvex
