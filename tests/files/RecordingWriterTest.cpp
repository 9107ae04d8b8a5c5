// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/RecordingWriter.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>

#include "app/ErrorCapture.h"

namespace korvex {
namespace {

class RecordingWriterTest : public ::testing::Test {
protected:
    FILE* Create() { return std::fopen(path.c_str(), "wb"); }
    test::TempDir tmp;
    std::string path = tmp.path() + "/r.trd";
};

TEST_F(RecordingWriterTest, LiveHeaderAndRowAt50Hz) {
    FILE* f = Create();
    ASSERT_TRUE(WriteLiveHeader(f, "COM1", {"A", "B", "C"}, 10));
    const double row[] = {1.5, -2.0, 0.0};
    ASSERT_TRUE(WriteLiveRow(f, row, 3));
    std::fclose(f);
    EXPECT_EQ(test::ReadFileBytes(path),
              "#FILE=COM1\r\n#CHAN=3\r\n#NAME=A B C \r\n#XN=Time (sec)\r\n#F=50.000000\r\n"
              "#XX=0,0.020000\r\n1.500000\t-2.000000\t0.000000\t\r\n");
}

TEST_F(RecordingWriterTest, LiveHeaderRates) {
    struct Case {
        int divider;
        const char* f;
        const char* xx;
    } cases[] = {{10, "#F=50.000000", "#XX=0,0.020000"},
                 {5, "#F=100.000000", "#XX=0,0.010000"},
                 {4, "#F=125.000000", "#XX=0,0.008000"},
                 {3, "#F=166.666667", "#XX=0,0.006000"}};
    for (const auto& c : cases) {
        FILE* f = Create();
        ASSERT_TRUE(WriteLiveHeader(f, "/dev/ttyUSB0", {"Ua"}, c.divider));
        std::fclose(f);
        std::string expect =
            std::string("#FILE=/dev/ttyUSB0\r\n#CHAN=1\r\n#NAME=Ua \r\n#XN=Time (sec)\r\n") + c.f +
            "\r\n" + c.xx + "\r\n";
        EXPECT_EQ(test::ReadFileBytes(path), expect);
    }
}

#ifndef _WIN32  // a file-size limit (RLIMIT_FSIZE) is POSIX
// Runs `body` in a child process whose files may grow to `limit` bytes at most: writes
// beyond it fail as on a full disk (EFBIG, with SIGXFSZ ignored). Returns the child's
// exit status.
template <typename Body>
int WithFileSizeLimit(rlim_t limit, Body body) {
    pid_t pid = fork();
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit rl{limit, limit};
        setrlimit(RLIMIT_FSIZE, &rl);
        _exit(body());
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(RecordingWriterTest, AFullDiskLeavesOnlyCompleteRows) {
    // Rows until the file cannot grow: the failed row is cut away, so the file ends with
    // the last complete row, whatever byte the limit fell on.
    for (rlim_t limit : {rlim_t(300), rlim_t(333), rlim_t(350)}) {
        int rows = WithFileSizeLimit(limit, [&] {
            FILE* f = Create();
            if (!WriteLiveHeader(f, "COM1", {"A", "B"}, 10)) return 200;
            const double row[] = {1.25, -3.5};
            int n = 0;
            while (WriteLiveRow(f, row, 2)) ++n;
            int error = errno;
            std::fclose(f);
            return error == EFBIG ? n : 201;
        });
        std::string bytes = test::ReadFileBytes(path);
        const std::string header =
            "#FILE=COM1\r\n#CHAN=2\r\n#NAME=A B \r\n#XN=Time (sec)\r\n#F=50.000000\r\n"
            "#XX=0,0.020000\r\n";
        const std::string row = "1.250000\t-3.500000\t\r\n";
        ASSERT_LT(rows, 200) << limit;
        EXPECT_EQ(bytes.size(), header.size() + size_t(rows) * row.size()) << limit;
        EXPECT_GT(bytes.size() + row.size(), size_t(limit)) << "every row that fitted is kept";
        EXPECT_EQ(bytes.substr(bytes.size() - row.size()), row) << limit;
    }
}

#endif

TEST(FormatFixed6, MatchesPrintfEverywhere) {
    auto check = [](double v) {
        char ours[340], ref[340];
        size_t n = FormatFixed6(v, ours);
        std::snprintf(ref, sizeof ref, "%.6f", v);
        ASSERT_EQ(std::string(ours, n), std::string(ref)) << v;
    };
    const double special[] = {0.0,
                              -0.0,
                              1e-7,
                              -1e-7,
                              4e-7,
                              5e-7,
                              6e-7,
                              0.0000005,
                              0.0000015,
                              0.0000025,
                              -0.0000025,
                              100.0,
                              -100.0,
                              99.9999995,
                              99.99999949999,
                              0.1,
                              0.7,
                              1.0 / 3,
                              999999.9999995,
                              1e6,
                              1e9,
                              -1e15,
                              1e300,
                              5e-324,
                              std::numeric_limits<double>::infinity(),
                              -std::numeric_limits<double>::infinity(),
                              std::numeric_limits<double>::quiet_NaN()};
    for (double v : special) check(v);
    std::mt19937_64 rng(42);
    std::uniform_real_distribution<double> wide(-120.0, 120.0);
    for (int i = 0; i < 200000; ++i) check(wide(rng));
    // Values on the half-millionth grid, where printf's exact rounding decides.
    for (int i = -20000; i <= 20000; ++i) check(i * 0.0000005);
}

}  // namespace
}  // namespace korvex
