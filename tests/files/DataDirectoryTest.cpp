// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/DataDirectory.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>

#include "app/ErrorCapture.h"

namespace korvex {
namespace {

std::tm At(int year, int mon, int day, int h, int m, int s) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = mon - 1;
    t.tm_mday = day;
    t.tm_hour = h;
    t.tm_min = m;
    t.tm_sec = s;
    return t;
}

class DataDirectoryTest : public ::testing::Test {
protected:
    DataDirectory Make(std::string program_dir, std::string env = "") {
        DataDirectory::Options o;
        o.program_dir = std::move(program_dir);
        o.env_data_dir = std::move(env);
        o.clock = [this] { return now; };
        return DataDirectory(o);
    }
    bool IsDir(const std::string& p) {
        struct stat st {};
        return stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }

    test::TempDir tmp;
    std::tm now = At(2013, 5, 17, 14, 3, 9);
};

TEST_F(DataDirectoryTest, NamesFilesByDayAndTimeAndNeverOverwrites) {
    test::ErrorCapture shown;
    DataDirectory dir = Make(tmp.path() + "/");
    // The same second and base name three times: the first file is kept.
    for (const char* name : {"14.03.09_osc.trd", "14.03.09-2_osc.trd", "14.03.09-3_osc.trd"}) {
        std::string path;
        FILE* f = dir.Open("osc.trd", "w", &path);
        ASSERT_NE(f, nullptr) << name;
        if (std::string(name) == "14.03.09_osc.trd") std::fputs("first", f);
        std::fclose(f);
        EXPECT_EQ(path, tmp.path() + "/DATA/2013.05.17/" + name);
    }
    EXPECT_EQ(test::ReadFileBytes(tmp.path() + "/DATA/2013.05.17/14.03.09_osc.trd"), "first");
    EXPECT_TRUE(shown.texts().empty());
    EXPECT_EQ(dir.data_dir(), tmp.path() + "/DATA");

    // Existing directories are used silently, also by a new process.
    DataDirectory again = Make(tmp.path());
    std::string p4;
    now = At(2013, 5, 17, 14, 3, 10);
    FILE* f4 = again.Open("0001_(2013.05.17_14.00.00.000).trd", "w", &p4);
    ASSERT_NE(f4, nullptr);
    std::fclose(f4);
    EXPECT_EQ(p4, tmp.path() + "/DATA/2013.05.17/14.03.10_0001_(2013.05.17_14.00.00.000).trd");
    EXPECT_TRUE(shown.texts().empty());
}

TEST_F(DataDirectoryTest, AfterMidnightTheFirstDayDirectoryStays) {
    DataDirectory dir = Make(tmp.path() + "/");
    now = At(2013, 5, 17, 23, 59, 59);
    std::string p1, p2;
    std::fclose(dir.Open("osc.trd", "w", &p1));
    now = At(2013, 5, 18, 0, 0, 1);
    std::fclose(dir.Open("osc.trd", "w", &p2));
    EXPECT_EQ(p2, tmp.path() + "/DATA/2013.05.17/00.00.01_osc.trd");
}

TEST_F(DataDirectoryTest, FailuresAreReportedAndNotCached) {
    test::ErrorCapture shown;
    // The program directory is a file: DATA cannot be made inside it.
    std::string blocker = tmp.path() + "/prog";
    test::WriteFileBytes(blocker, "x");
    DataDirectory dir = Make(blocker + "/");
    std::string path = "unchanged";
    EXPECT_EQ(dir.Open("osc.trd", "w", &path), nullptr);
    ASSERT_EQ(shown.texts().size(), 1u);
    EXPECT_EQ(shown.texts()[0], "Create Directory " + blocker + "/DATA:  Error=20 (0x14)");
    EXPECT_EQ(path, "unchanged");

    // Once the cause is gone the next call succeeds: nothing failed stays cached.
    std::remove(blocker.c_str());
    ASSERT_EQ(mkdir(blocker.c_str(), 0777), 0);
    ASSERT_EQ(mkdir((blocker + "/DATA").c_str(), 0777), 0);
    test::WriteFileBytes(blocker + "/DATA/2013.05.17", "a file where the day directory goes");
    std::string err;
    EXPECT_EQ(dir.Open("osc.trd", "w", &path, &err), nullptr);
    EXPECT_EQ(err, "Create Directory '" + blocker + "/DATA/2013.05.17':  Error=17 (0x11)");
    std::remove((blocker + "/DATA/2013.05.17").c_str());
    FILE* f = dir.Open("osc.trd", "w", &path, &err);
    ASSERT_NE(f, nullptr) << err;
    std::fclose(f);
    EXPECT_TRUE(IsDir(blocker + "/DATA/2013.05.17"));

    // The path is given back even when the open fails.
    EXPECT_EQ(dir.Open("no/such/dir.trd", "w", &path, &err), nullptr);
    EXPECT_EQ(path, blocker + "/DATA/2013.05.17/14.03.09_no/such/dir.trd");
    EXPECT_EQ(err, "Open file '" + path + "' Error");

    // A day directory removed while the program runs is made again.
    std::filesystem::remove_all(blocker + "/DATA");
    f = dir.Open("osc.trd", "w", &path, &err);
    ASSERT_NE(f, nullptr) << err;
    std::fclose(f);
    EXPECT_EQ(path, blocker + "/DATA/2013.05.17/14.03.09_osc.trd");
}

// Where DATA cannot be made, and in the directories of installed programs even when the
// user (root) could write there.
TEST_F(DataDirectoryTest, AnInstalledProgramWritesIntoTheUsersDataDirectory) {
    for (const char* program_dir : {"/sys/", "/usr/bin/", "/usr/local/bin/", "/opt/korvex/bin/"}) {
        DataDirectory::Options o;
        o.program_dir = program_dir;
        o.user_data_dir = tmp.path() + "/home/.local/share/korvex/DATA";
        o.clock = [this] { return now; };
        DataDirectory dir(o);
        std::string path;
        FILE* f = dir.Open("osc.trd", "w", &path);
        ASSERT_NE(f, nullptr) << program_dir;
        std::fclose(f);
        EXPECT_EQ(path.rfind(tmp.path() + "/home/.local/share/korvex/DATA/2013.05.17/14.03.09", 0),
                  0u)
            << program_dir << ": " << path;
    }
}

TEST_F(DataDirectoryTest, EnvironmentOverrideIsCreatedWithItsParents) {
    DataDirectory dir = Make(tmp.path() + "/", tmp.path() + "/elsewhere/korvex/");
    std::string path;
    FILE* f = dir.Open("osc.trd", "w", &path);
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    EXPECT_EQ(path, tmp.path() + "/elsewhere/korvex/2013.05.17/14.03.09_osc.trd");
    EXPECT_FALSE(IsDir(tmp.path() + "/DATA"));
}

}  // namespace
}  // namespace korvex
