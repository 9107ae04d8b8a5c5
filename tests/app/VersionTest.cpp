// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Version.h"

#include <gtest/gtest.h>

#include <regex>

#include "app/Language.h"

namespace korvex {
namespace {

TEST(Version, CaptionsTextsAndComparison) {
    EXPECT_EQ(TitleWithVersion("", {1, 3, 1, 0}), " Korvex v1.3.1");
    EXPECT_EQ(TitleWithVersion("", {1, 3, 1, 2}), " Korvex v1.3.1 Beta 2");
    EXPECT_EQ(TitleWithVersion("COM3", {2, 0, 14, 0}), " Korvex v2.0.14  -  COM3");
    EXPECT_EQ(AboutVersionLine({1, 3, 1, 0}), "Korvex   v1.3.1.0");
    EXPECT_EQ(VersionText("korvex", {1, 3, 1, 0}),
              "korvex 1.3.1\nLicense GPL-3.0-or-later: GNU GPL version 3 or later\n");
    g_bRussian = true;
    EXPECT_EQ(VersionText("korvex-cli", {1, 3, 1, 2}),
              "korvex-cli 1.3.1 beta 2\nЛицензия GPL-3.0-or-later: GNU GPL версии 3 или более "
              "поздней\n");
    g_bRussian = false;
    // This build's own version, whichever release it is, in the same shapes.
    EXPECT_TRUE(std::regex_match(TitleWithVersion(""),
                                 std::regex(" Korvex v\\d+\\.\\d+\\.\\d+( Beta \\d+)?")))
        << TitleWithVersion("");
    EXPECT_TRUE(
        std::regex_match(AboutVersionLine(), std::regex("Korvex   v\\d+\\.\\d+\\.\\d+\\.\\d+")))
        << AboutVersionLine();

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
