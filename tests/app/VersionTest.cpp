// SPDX-License-Identifier: GPL-3.0-or-later
// The program's versions, and the viewer that must be recent enough.
#include "app/Version.h"

#include <gtest/gtest.h>

#include "app/ErrorCapture.h"
#include "app/Language.h"
#include "app/Viewer.h"

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
    // Lower and equal versions are the viewer's startup messages' cases.
    EXPECT_EQ(CompareVersion4({2, 0, 0, 0}, {1, 9, 9, 9}), 1);
    Version4 v{9, 9, 9, 9};
    EXPECT_EQ(GetFileVersion4("/nonexistent/trendal", &v), -1);
    EXPECT_EQ(GetFileVersion4("/bin/sh", &v), 0);
    EXPECT_EQ(v, (Version4{0, 0, 0, 0}));
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
