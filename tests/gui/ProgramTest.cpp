// SPDX-License-Identifier: GPL-3.0-or-later
// The korvex program as a user starts it, on the offscreen platform.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "app/ErrorCapture.h"

namespace korvex {
namespace {

const std::string kKorvex = KORVEX_PATH;

int RunKorvex(const std::string& env, const std::string& args, std::string* err = nullptr,
              const std::string& dir = ".") {
    test::TempDir tmp;
    std::string cmd = "cd " + dir +
                      " && QT_QPA_PLATFORM=offscreen KORVEX_SCREENSHOT_DELAY_MS=300 " + env + " " +
                      kKorvex + " " + args + " >/dev/null 2>" + tmp.path() + "/err";
    int rc = std::system(cmd.c_str());
    if (err) *err = test::ReadFileBytes(tmp.path() + "/err");
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

TEST(Program, StartDialogOnTheSimulatorViewingModeAndBadArguments) {
    test::TempDir tmp;
    std::string shot = tmp.path() + "/start.png";
    EXPECT_EQ(RunKorvex("KORVEX_SCREENSHOT=" + shot, "--simulate"), 0);
    EXPECT_GT(test::ReadFileBytes(shot).size(), 1000u) << "the start dialog was shown";

    std::string rec = tmp.path() + "/r.trd";
    test::WriteFileBytes(rec,
                         "#FILE=COM1\r\n#CHAN=1\r\n#NAME=U \r\n#F=50.000000\r\n1.000000\t\r\n");
    std::string view = tmp.path() + "/view.png";
    EXPECT_EQ(RunKorvex("KORVEX_SCREENSHOT=" + view, rec), 0);
    EXPECT_GT(test::ReadFileBytes(view).size(), 1000u) << "the recording was shown";
    // After "--" a name that starts with a dash is a file, not an option.
    std::string dashed = tmp.path() + "/-r.trd";
    test::WriteFileBytes(dashed, test::ReadFileBytes(rec));
    std::string view2 = tmp.path() + "/view2.png";
    EXPECT_EQ(RunKorvex("KORVEX_SCREENSHOT=" + view2, "-- -r.trd", nullptr, tmp.path()), 0);
    EXPECT_GT(test::ReadFileBytes(view2).size(), 1000u) << "the dashed recording was shown";

    std::string err;
    EXPECT_EQ(RunKorvex("LC_ALL=C", "--osc", &err), 2);
    EXPECT_NE(err.find("--osc, --recorder and --diary go with --simulate"), std::string::npos)
        << err;
    EXPECT_EQ(RunKorvex("", "--bogus"), 2);
    EXPECT_EQ(RunKorvex("", "--help"), 0);
}

// Every program answers --help and --version without a display, in the user's language.
TEST(Program, HelpAndVersionWithoutADisplay) {
    test::TempDir tmp;
    const std::string version = std::to_string(KORVEX_VERSION_MAJOR) + "." +
                                std::to_string(KORVEX_VERSION_MINOR) + "." +
                                std::to_string(KORVEX_VERSION_PATCH);
    struct Case {
        std::string program, option, locale, out;
        bool whole;  // the whole output, else its start
    } cases[] = {
        {kKorvex, "--help", "ru_RU.UTF-8", "Использование: korvex [--simulate", false},
        {KORVEX_VIEW_PATH, "--help", "C", "Usage: korvex-view [--] [FILE...]", false},
        {kKorvex, "--version", "C",
         "korvex " + version + "\nLicense GPL-3.0-or-later: GNU GPL version 3 or later\n", true},
        {KORVEX_VIEW_PATH, "--version", "ru_RU.UTF-8",
         "korvex-view " + version +
             "\nЛицензия GPL-3.0-or-later: GNU GPL версии 3 или более "
             "поздней\n",
         true},
        {KORVEX_CLI_PATH, "--version", "C", "korvex-cli " + version + "\nLicense GPL", false},
        {KORVEX_SIM_PATH, "--version", "C", "korvex-sim " + version + "\nLicense GPL", false},
        {KORVEX_CLI_PATH, "--help", "ru_RU.UTF-8",
         "Использование: korvex-cli [--lang en|ru] КОМАНДА", false},
        {KORVEX_SIM_PATH, "--help", "C", "Usage: korvex-sim", false},
    };
    for (const auto& c : cases) {
        std::string cmd =
            "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM LC_ALL=" + c.locale + " " +
            c.program + " " + c.option + " >" + tmp.path() + "/out 2>&1";
        int rc = std::system(cmd.c_str());
        EXPECT_TRUE(WIFEXITED(rc) && WEXITSTATUS(rc) == 0) << c.program << " " << c.option;
        std::string out = test::ReadFileBytes(tmp.path() + "/out");
        if (c.whole)
            EXPECT_EQ(out, c.out);
        else
            EXPECT_EQ(out.rfind(c.out, 0), 0u) << out;
    }
}

}  // namespace
}  // namespace korvex
