// SPDX-License-Identifier: GPL-3.0-or-later
// The programs as a user starts them, on the offscreen platform.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/ErrorCapture.h"
#include "app/Language.h"
#include "app/Version.h"

namespace korvex {
namespace {

const std::string kKorvex = KORVEX_PATH, kView = KORVEX_VIEW_PATH;

// Runs `command` (settings, a program and its arguments) from `dir`: its exit code, and
// what it wrote to stdout and stderr in *out.
int RunProgram(const std::string& command, std::string* out = nullptr,
               const std::string& dir = ".") {
    test::TempDir tmp;
    int rc =
        std::system(("cd " + dir + " && " + command + " >" + tmp.path() + "/out 2>&1").c_str());
    if (out) *out = test::ReadFileBytes(tmp.path() + "/out");
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

TEST(Program, WindowsOnTheSimulatorAndRecordingsAndBadArguments) {
    test::TempDir tmp;
    const std::string shot = tmp.path() + "/shot.png", rec = tmp.path() + "/r.trd";
    const std::string gui = "QT_QPA_PLATFORM=offscreen KORVEX_SCREENSHOT_DELAY_MS=300 LC_ALL=C ";
    // The program showed its window, saved a picture of it and ended well.
    auto shows = [&](const std::string& command, const std::string& dir = ".") {
        std::remove(shot.c_str());
        return RunProgram(gui + "KORVEX_SCREENSHOT=" + shot + " " + command, nullptr, dir) == 0 &&
               test::ReadFileBytes(shot).size() > 1000;
    };
    EXPECT_TRUE(shows(kKorvex + " --simulate")) << "the start dialog";
    test::WriteFileBytes(rec,
                         "#FILE=COM1\r\n#CHAN=1\r\n#NAME=U \r\n#F=50.000000\r\n1\r\n2\r\n3\r\n");
    EXPECT_TRUE(shows(kKorvex + " " + rec)) << "the recording";
    // After "--" a name that starts with a dash is a file, not an option.
    test::WriteFileBytes(tmp.path() + "/-r.trd", test::ReadFileBytes(rec));
    EXPECT_TRUE(shows(kKorvex + " -- -r.trd", tmp.path())) << "the dashed recording";
    EXPECT_TRUE(shows("KORVEX_SCREENSHOT_CURSORS=0.02,0.04 " + kView + " " + rec));

    std::string out;
    EXPECT_EQ(RunProgram(gui + kKorvex + " --osc", &out), 2);
    EXPECT_NE(out.find("--osc, --recorder and --diary go with --simulate"), std::string::npos)
        << out;
    EXPECT_EQ(RunProgram(gui + kKorvex + " --bogus"), 2);
    EXPECT_EQ(RunProgram(gui + kView + " --bogus"), 2);
    // A file the viewer cannot read: the message names it, and the exit code says so.
    const std::string bad = tmp.path() + "/bad.trd";
    test::WriteFileBytes(bad, "1\r\n2\r\n");
    EXPECT_EQ(RunProgram(gui + "KORVEX_SCREENSHOT=" + shot + " " + kView + " " + bad, &out), 1);
    EXPECT_NE(out.find("'" + bad + "':\nUndefined NumChan"), std::string::npos) << out;
}

// Every program answers --help and --version without a display, in the user's language;
// --version with the text of this build's version. (korvex-cli's help and its language:
// Args.EveryCommandPrintsItsUsageForHelp, Args.FollowTheLocaleAsTheGuiDoesAndLangOverridesIt.)
TEST(Program, HelpAndVersionWithoutADisplay) {
    auto version = [](const char* program, bool russian) {
        g_bRussian = russian;
        std::string text = VersionText(program);
        g_bRussian = false;
        return text;
    };
    struct Case {
        std::string program, option, locale, out;
        bool whole;  // the whole output, else its start
    } cases[] = {
        {kKorvex, "--help", "ru_RU.UTF-8", "Использование: korvex [--simulate", false},
        {kView, "--help", "C", "Usage: korvex-view [--] [FILE...]", false},
        {kKorvex, "--version", "C", version("korvex", false), true},
        {kView, "--version", "ru_RU.UTF-8", version("korvex-view", true), true},
        {KORVEX_CLI_PATH, "--version", "C", version("korvex-cli", false), true},
        {KORVEX_SIM_PATH, "--version", "C", version("korvex-sim", false), true},
        {KORVEX_SIM_PATH, "--help", "C", "Usage: korvex-sim", false},
    };
    for (const auto& c : cases) {
        std::string out, env = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM LC_ALL=";
        EXPECT_EQ(RunProgram(env + c.locale + " " + c.program + " " + c.option, &out), 0)
            << c.program << " " << c.option;
        EXPECT_EQ(c.whole ? out : out.substr(0, c.out.size()), c.out);
    }
}

}  // namespace
}  // namespace korvex
