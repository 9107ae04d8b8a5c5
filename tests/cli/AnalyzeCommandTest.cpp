// SPDX-License-Identifier: GPL-3.0-or-later
// korvex-cli analyze: one channel's step response, oscillation modes or spectrum as rows for
// people, as JSON, and the whole spectrum as CSV. (The numbers: the analysis tests.)
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <set>
#include <sstream>
#include <utility>

#include "app/StrPrintf.h"
#include "cli/CliFixture.h"

// a.trd, 500 rows at 100 Hz: U steps from 1 towards 5 at 2 s (time constant 0.2 s), D is a
// 1.5 Hz sine decaying from 3. The commands run from its directory.
class Analyze : public ::testing::Test {
protected:
    void SetUp() override {
        std::string content = "#CHAN=2\r\n#NAME=U D \r\n#F=100.000000\r\n#XX=0,0.010000\r\n";
        for (double t = 0; t < 4.995; t += 0.01)
            content += StrPrintf("%.6f\t%.6f\t\r\n", t < 1.995 ? 1 : 5 - 4 * std::exp(10 - 5 * t),
                                 3 * std::exp(-0.3 * t) * std::sin(3 * M_PI * t));
        WriteFileBytes(tmp.path() + "/a.trd", content);
    }
    Result Run(const std::string& args, const std::string& cli = kCli) {
        return RunCommand("cd " + tmp.path() + " && " + cli + " analyze a.trd " + args);
    }
    TempDir tmp;
};

TEST_F(Analyze, StepAsJsonByNameOrByNumber) {
    const Result r = Run("--channel U --step --at 2 --json");
    ASSERT_EQ(r.StatusAndErr(), "0|");
    for (std::string key :
         {"t0", "initial", "final", "step", "rise_time", "delay_time", "peak", "peak_time",
          "overshoot_pct", "settling_time", "band_pct", "damping_ratio_est"}) {
        key = "\"" + key + "\"";
        EXPECT_TRUE(r.out.find(key) != r.out.npos && r.out.find(key) == r.out.rfind(key)) << key;
    }
    EXPECT_NEAR(std::strtod(r.out.c_str() + r.out.find(':', r.out.find("\"t0\"")) + 1, nullptr),
                2.0, 1e-9);
    EXPECT_EQ(Run("--json --step --at 2 --channel 1").out, r.out);
    EXPECT_EQ(Run("--channel D --oscillation --modes 2 --json").StatusAndErr(), "0|");
}

TEST_F(Analyze, SpectrumRowsAlignInRussianAndItsCsvIsNeverOverwritten) {
    Result r = Run("--channel D --spectrum --csv s.csv", kCliPath + " --lang ru");
    ASSERT_EQ(r.StatusAndErr(), "0|");
    // Every value starts in one column under Russian labels too (characters, not bytes).
    std::set<long> columns;
    std::istringstream lines(r.out);
    for (std::string s; std::getline(lines, s);) {
        s = s.substr(0, s.find_first_not_of(' ', s.find(':') + 1));
        columns.insert(
            std::count_if(s.begin(), s.end(), [](char c) { return (c & 0xC0) != 0x80; }));
    }
    EXPECT_EQ(columns.size(), 1u) << r.out;
    EXPECT_NE(r.out.find(" 0.000000 .. 4.990000 с, отсчётов: 500\n"), r.out.npos) << r.out;
    // 500 samples: bins 0 to 250, 0.2 Hz apart.
    const std::string csv = ReadFileBytes(tmp.path() + "/s.csv");
    EXPECT_TRUE(csv.starts_with("frequency_hz,amplitude\r\n0,")) << csv.substr(0, 60);
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 252);
    EXPECT_NE(csv.find("\r\n50,"), csv.npos);
    r = Run("--channel D --spectrum --csv s.csv --json");
    EXPECT_EQ(r.out + r.StatusAndErr(), "1|'s.csv' already exists\n");
    EXPECT_EQ(ReadFileBytes(tmp.path() + "/s.csv"), csv);
}

TEST_F(Analyze, RefusesUsageErrorsUnknownChannelsAndShortWindows) {
    // The arguments, and the first line of standard error after "korvex-cli analyze: ".
    const std::pair<const char*, const char*> kUsageErrors[] = {
        {"--channel U", "no analysis given: --step, --oscillation or --spectrum"},
        {"--channel U --step --oscillation",
         "give one analysis only: --step, --oscillation or --spectrum"},
        {"--channel U --step --csv s.csv", "--csv writes the spectrum only (--spectrum)"},
        {"--channel D --spectrum --csv -", "--csv needs a file name (\"-\" is not allowed)"},
        {"--channel U --step --band 0", "--band needs a percentage above 0 and below 100, not '0'"},
        {"--channel U --step --band 100",
         "--band needs a percentage above 0 and below 100, not '100'"},
        {"--channel D --spectrum --modes 0", "--modes needs a number from 1 to 20, not '0'"},
    };
    for (const auto& [args, message] : kUsageErrors) {
        const Result r = Run(args);
        EXPECT_EQ(std::to_string(r.status) + "|" + FirstLine(r.err),
                  std::string("2|korvex-cli analyze: ") + message);
    }
    EXPECT_EQ(Run("--channel 3 --step").StatusAndErr(), "1|no channel '3' in 'a.trd'\n");
    EXPECT_EQ(Run("--channel U --step --from 0.995 --to 1.105").StatusAndErr(),
              "1|Too few samples to analyse: 11 (at least 20)\n");
}
