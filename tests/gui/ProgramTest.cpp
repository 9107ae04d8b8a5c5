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

// Both programs answer --help without a display, in the user's language.
TEST(Program, HelpWithoutADisplay) {
    test::TempDir tmp;
    struct Case {
        std::string program, locale, start;
    } cases[] = {{kKorvex, "ru_RU.UTF-8", "Использование: korvex [--simulate"},
                 {KORVEX_VIEW_PATH, "C", "Usage: korvex-view [--] [FILE...]"}};
    for (const auto& c : cases) {
        std::string cmd = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM LC_ALL=" +
                          c.locale + " " + c.program + " --help >" + tmp.path() + "/out 2>&1";
        int rc = std::system(cmd.c_str());
        EXPECT_TRUE(WIFEXITED(rc) && WEXITSTATUS(rc) == 0) << c.program;
        EXPECT_EQ(test::ReadFileBytes(tmp.path() + "/out").rfind(c.start, 0), 0u) << c.program;
    }
}

}  // namespace
}  // namespace korvex
