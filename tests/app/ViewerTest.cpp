// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Viewer.h"

#include <gtest/gtest.h>

#include "app/ErrorCapture.h"

namespace korvex {
namespace {

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
