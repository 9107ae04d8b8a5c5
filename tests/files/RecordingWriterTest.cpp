// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/RecordingWriter.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>

#include "app/ErrorCapture.h"
#include "files/RecordingData.h"
#include "files/RecordingHeader.h"

namespace korvex {
namespace {

class RecordingWriterTest : public ::testing::Test {
protected:
    FILE* Create() { return std::fopen(path.c_str(), "wb"); }
    test::TempDir tmp;
    std::string path = tmp.path() + "/r.trd";
};

// Each writer's header byte for byte, and what both readers make of it: the live window
// (ReadRecordingHeader, its follower starting at "#XN=" in either order) and the viewer.
TEST_F(RecordingWriterTest, HeadersWrittenAndReadBack) {
    HeaderToWrite fault;
    fault.fault = true;
    fault.info_value = "File : 0002_(2026.11.25_03.41.55.020)";
    fault.names = {"State*0.1", "Write*0.15", "Prot*0.2", "RF*0.25", "Us", "If"};
    fault.rate = 250;
    fault.step = 0.004;
    HeaderToWrite no_layout = fault;
    no_layout.names.clear();
    const std::string live = "#FILE=COM1\r\n#CHAN=", axis = "#XN=Time (sec)\r\n";
    const std::string fault_start = "#FILE=\r\n#INFO=File : 0002_(2026.11.25_03.41.55.020)\r\n";
    struct Case {
        int divider;        // a live header by WriteLiveHeader, else `written`
        std::string names;  // the live header's, separated by '|'
        const HeaderToWrite* written;
        std::string bytes;  // a live header's with its first row
        double step;        // 0: neither reader takes the header
        std::string shown;  // the names as the live window reads them, "-" for none
    } cases[] = {
        {10, "A|B|C", nullptr,
         live + "3\r\n#NAME=A B C \r\n" + axis +
             "#F=50.000000\r\n#XX=0,0.020000\r\n1.500000\t-2.000000\t0.000000\t\r\n",
         0.02, "A B C"},
        // A name must not split the line nor shift the others.
        {5, "|a b|x\ty\x7F", nullptr,
         live + "3\r\n#NAME=_ a_b x_y_ \r\n" + axis +
             "#F=100.000000\r\n#XX=0,0.010000\r\n1.500000\t-2.000000\t0.000000\t\r\n",
         0.01, "_ a_b x_y_"},
        {4, "Ua", nullptr,
         live + "1\r\n#NAME=Ua \r\n" + axis + "#F=125.000000\r\n#XX=0,0.008000\r\n1.500000\t\r\n",
         0.008, "Ua"},
        {3, "Ua", nullptr,
         live + "1\r\n#NAME=Ua \r\n" + axis + "#F=166.666667\r\n#XX=0,0.006000\r\n1.500000\t\r\n",
         0.006, "Ua"},
        {0, "", &fault,
         fault_start + "#NAME=State*0.1 Write*0.15 Prot*0.2 RF*0.25 Us If\r\n#CHAN=6\r\n" + axis +
             "#XX=0,0.004000\r\n#F=250.000000\r\n",
         0.004, "- - - - - -"},
        {0, "", &no_layout, fault_start, 0, ""},
    };
    for (const Case& c : cases) {
        std::string bytes;
        if (c.written) {
            bytes = RecordingHeaderText(*c.written);
            test::WriteFileBytes(path, bytes + "1.5 -2\r\n");
        } else {
            std::vector<std::string> names(1);
            for (char ch : c.names)
                if (ch == '|')
                    names.emplace_back();
                else
                    names.back().push_back(ch);
            FILE* f = Create();
            ASSERT_TRUE(WriteLiveHeader(f, "COM1", names, c.divider));
            const double row[] = {1.5, -2.0, 0.0};
            ASSERT_TRUE(WriteLiveRow(f, row, std::min<size_t>(3, names.size())));
            std::fclose(f);
            bytes = test::ReadFileBytes(path);
        }
        EXPECT_EQ(bytes, c.bytes);
        RecordingHeader h;
        uint64_t consumed = 0;
        RecordingData d;
        std::string live_err, viewer_err;
        ASSERT_EQ(ReadRecordingHeader(path, &h, &consumed, &live_err) == 0, c.step > 0);
        ASSERT_EQ(d.Load(path, &viewer_err), c.step > 0);
        if (c.step == 0) {
            EXPECT_EQ(live_err, "Undefined NumChan & Name[]");
            EXPECT_EQ(viewer_err, live_err);
            continue;
        }
        std::string shown, names;
        for (const auto& n : h.names) shown += (shown.empty() ? "" : " ") + (n.empty() ? "-" : n);
        for (const auto& n : d.info().names) names += (names.empty() ? "" : " ") + n;
        EXPECT_EQ(shown, c.shown);
        EXPECT_EQ(names, c.written ? "State*0.1 Write*0.15 Prot*0.2 RF*0.25 Us If" : c.shown);
        EXPECT_EQ(h.file_value, c.written ? "" : "COM1");
        EXPECT_EQ(consumed, bytes.find(axis));
        EXPECT_EQ(d.info().file_value, h.file_value);
        EXPECT_DOUBLE_EQ(d.step(), c.step);
        EXPECT_NEAR(d.info().rate * c.step, 1.0, 1e-8);
        EXPECT_EQ(d.info().has_start, c.written != nullptr);
        EXPECT_EQ(d.rows(), 1u);
        EXPECT_EQ(d.value(0, 0), 1.5);
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
    const double inf = std::numeric_limits<double>::infinity();
    const double special[] = {
        0.0,       -0.0,      1e-7,           -1e-7, 4e-7,   5e-7,       6e-7,           0.0000005,
        0.0000015, 0.0000025, -0.0000025,     100.0, -100.0, 99.9999995, 99.99999949999, 0.1,
        0.7,       1.0 / 3,   999999.9999995, 1e6,   1e9,    -1e15,      1e300,          5e-324,
        inf,       -inf,      std::nan("")};
    for (double v : special) check(v);
    std::mt19937_64 rng(42);
    std::uniform_real_distribution<double> wide(-120.0, 120.0);
    for (int i = 0; i < 200000; ++i) check(wide(rng));
    // Values on the half-millionth grid, where printf's exact rounding decides.
    for (int i = -20000; i <= 20000; ++i) check(i * 0.0000005);
}

}  // namespace
}  // namespace korvex
