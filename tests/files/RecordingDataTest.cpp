// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/RecordingData.h"

#include <gtest/gtest.h>
#ifdef __linux__
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "app/ErrorCapture.h"
#include "app/StrPrintf.h"
#include "files/Envelope.h"
#include "files/RecordingStats.h"

namespace korvex {
namespace {

// A channel's count and extremes with their rows, "count min@row max@row".
std::string Extremes(const ChannelStats& s) {
    return StrPrintf("%zu %g@%zu %g@%zu", s.count, s.min, s.min_row, s.max, s.max_row);
}

class RecordingDataTest : public ::testing::Test {
protected:
    RecordingData Load(const std::string& bytes, std::string* err = nullptr,
                       RecordingData::Options options = {}) {
        test::WriteFileBytes(path, bytes);
        RecordingData d;
        std::string e;
        ok = d.Load(path, &e, options);
        if (err) *err = e;
        return d;
    }
    test::TempDir tmp;
    std::string path = tmp.path() + "/r.trd";
    bool ok = false;
};

TEST_F(RecordingDataTest, TheTimeStepComesFromXXElseFromTheRate) {
    struct Case {
        const char* header;
        double step;
    } cases[] = {
        {"#F=166.666667\r\n#XX=0,0.006000\r\n", 0.006},
        {"#XX=0,0.004000\r\n#F=250.000000\r\n", 0.004},  // the recorder's order
        {"#F=50.000000\r\n", 0.02},
        {"#F=0\r\n", 1.0},  // a rate of 0 reads as 1
        {"", 1.0},
    };
    for (const Case& c : cases) {
        RecordingData d =
            Load(std::string("#CHAN=1\r\n#NAME=A \r\n") + c.header + "1\r\n2\r\n3\r\n");
        ASSERT_TRUE(ok) << c.header;
        EXPECT_DOUBLE_EQ(d.step(), c.step) << c.header;
        EXPECT_DOUBLE_EQ(d.time(2), 2 * c.step) << c.header;
        EXPECT_EQ(d.RowAt(1.4 * c.step), 1u);
        EXPECT_EQ(d.RowAt(100 * c.step), 2u);  // past the end: the last row
    }
}

TEST_F(RecordingDataTest, ARecorderFileWithItsInfoLineSpaceRowsAndNamesFirst) {
    RecordingData d = Load(
        "#FILE=\r\n#INFO=File : 0003_(2013.05.15_10.15.58.456)\r\n"
        "#NAME=State*0.1 Write*0.15 Prot*0.2 RF*0.25 Us Is If Uf Uexc P Q\r\n#CHAN=11\r\n"
        "#XN=Time (sec)\r\n#XX=0,0.004000\r\n#F=250.000000\r\n"
        "0.100000 0.000000 0.000000 0.000000 1.000600 0.801100 1.498200 1.198900 0.999700 "
        "0.802500 0.099700\r\n"
        "0.300000 0.150000 0.250000 0.350000 -1.500000 0.8 1.5 1.2 1.0 0.8 0.1\r\n");
    ASSERT_TRUE(ok);
    ASSERT_EQ(d.channels(), 11);
    EXPECT_EQ(d.info().names[0], "State*0.1");
    EXPECT_EQ(d.info().names[10], "Q");
    EXPECT_EQ(d.rows(), 2u);
    EXPECT_EQ(d.value(4, 1), -1.5);
    EXPECT_EQ(d.value(10, 0), 0.0997);
    ASSERT_TRUE(d.info().has_start);
    EXPECT_EQ(d.info().start.number, 3);
    EXPECT_EQ(FormatClock(ClockSeconds(d.info().start) + d.time(1)), "2013-05-15 10:15:58.460");
    EXPECT_EQ(FormatClock(ClockSeconds(d.info().start) + 86400 * 17 + 0.6),
              "2013-06-01 10:15:59.056");
}

TEST_F(RecordingDataTest, AGrowingFileOpensWithItsCompleteRows) {
    std::string head = "#FILE=COM1\r\n#CHAN=2\r\n#NAME=A B \r\n#F=50.000000\r\n#XX=0,0.020000\r\n";
    RecordingData d = Load(head + "1.000000\t2.000000\t\r\n3.000000\t4.0");
    ASSERT_TRUE(ok);
    EXPECT_EQ(d.rows(), 1u);
    EXPECT_EQ(d.pending_bytes(), 12u);  // "3.000000\t4.0" is still being written
    RecordingData::Options finished;
    finished.finished = true;
    d = Load(head + "1.000000\t2.000000\t\r\n3.000000\t4.0", nullptr, finished);
    EXPECT_EQ(d.rows(), 2u);
    EXPECT_EQ(d.value(1, 1), 4.0);
    // A header still being written: no rows yet, no error.
    d = Load("#FILE=COM1\r\n#CHAN=2\r\n#NAME=A B \r\n#F=50.0");
    ASSERT_TRUE(ok);
    EXPECT_EQ(d.rows(), 0u);
    EXPECT_EQ(d.pending_bytes(), 7u);
}

TEST_F(RecordingDataTest, SeqErrorsAndShortRows) {
    RecordingData d =
        Load("#CHAN=3\n#NAME=A B C\n#ERRSEQ\n1 2 3\n#ERRSEQ\n4\n\n7 x 9\n#ERRSEQ\n#ERRSEQ\n");
    ASSERT_TRUE(ok);
    ASSERT_EQ(d.rows(), 4u);
    EXPECT_EQ(d.seq_errors(), (std::vector<size_t>{0, 1, 4, 4}));
    // A value a row lacks is the row before's: "4" keeps B and C, the empty line all,
    // "x" is no number.
    std::vector<double> b = {d.value(1, 0), d.value(1, 1), d.value(1, 2), d.value(1, 3)};
    EXPECT_EQ(b, (std::vector<double>{2, 2, 2, 2}));
    EXPECT_EQ(d.value(0, 3), 7.0);
    EXPECT_EQ(d.value(2, 1), 3.0);
    EXPECT_EQ(d.short_rows(), 3u);
}

// The parallel load must give exactly what one thread gives, whatever falls on the
// pieces' boundaries: comments, runs of short rows, CR LF and bare LF, long rows. So must
// the statistics read without columns.
TEST_F(RecordingDataTest, ThreadsGiveTheSameRecordingAsOneThread) {
    std::mt19937 rng(5);
    std::string file = "#FILE=COM1\r\n#CHAN=4\r\n#NAME=A B C D \r\n#F=166.666667\r\n";
    std::uniform_int_distribution<int> kind(0, 199);
    std::uniform_real_distribution<double> v(-100, 100);
    while (file.size() < (300 << 10)) {
        int k = kind(rng);
        if (k == 0) {
            file += "#ERRSEQ\r\n";
        } else if (k == 1) {
            file += std::string(3000, ' ') + "1 2 3 4\r\n";
        } else if (k < 90) {
            file += StrPrintf("%.6f\n", v(rng));  // short, bare LF
        } else {
            file += StrPrintf("%.6f\t%.6f\t%.6f\t%.6f\t\r\n", v(rng), v(rng), v(rng), v(rng));
        }
    }
    RecordingData::Options one, many;
    one.threads = 1;
    many.threads = 3;
    RecordingData a = Load(file, nullptr, one), b = Load(file, nullptr, many);
    ASSERT_TRUE(ok);
    ASSERT_EQ(a.rows(), b.rows());
    EXPECT_GT(a.rows(), 5000u);
    EXPECT_EQ(a.seq_errors(), b.seq_errors());
    EXPECT_EQ(a.short_rows(), b.short_rows());
    for (int c = 0; c < 4; ++c)
        ASSERT_EQ(0, std::memcmp(a.column(c), b.column(c), a.rows() * sizeof(double))) << c;
    FileStats f;
    ASSERT_TRUE(ScanFileStats(path, nullptr, nullptr, &f, nullptr, 3));
    auto s = ComputeStats(a, 0, a.rows(), 1);
    for (size_t c = 0; c < 4; ++c) {
        EXPECT_EQ(Extremes(f.channels[c]), Extremes(s[c])) << c;
        EXPECT_NEAR(f.channels[c].mean, s[c].mean, 1e-9) << c;
        EXPECT_NEAR(f.channels[c].rms, s[c].rms, 1e-9) << c;
    }
}

// A damaged "#CHAN=" with rows of one value: 80 KB of file would be 327 MB of columns,
// nearly all values the rows lack. The load refuses it before it allocates anything; the
// statistics, which hold no columns, read it, the values lacked taken from the rows
// before across the pieces the threads read.
TEST_F(RecordingDataTest, ManyChannelsAndOneValueARowAreRefusedButTheirStatsAreRead) {
    std::string file = "#CHAN=4096\r\n#NAME=A B\r\n#XX=0,0.010000\r\n";
    for (int c = 0; c < 4096; ++c) file += std::to_string(c) + (c < 4095 ? "\t" : "\r\n");
    for (int r = 1; r < 10000; ++r) file += r == 5000 ? "5000\t-7\r\n" : std::to_string(r) + "\r\n";
    std::string err;
    Load(file, &err);
    EXPECT_FALSE(ok);
    EXPECT_EQ(err, "The rows of '" + path +
                       "' hold far fewer values than the header's 4096 channels: the recording "
                       "is damaged and is not loaded");

    FileStats f;
    ASSERT_TRUE(ScanFileStats(path, nullptr, nullptr, &f, &err, 3)) << err;
    ASSERT_EQ(f.rows, 10000u);
    ASSERT_EQ(f.channels.size(), 4096u);
    const ChannelStats &a = f.channels[0], &b = f.channels[1], &last = f.channels[4095];
    EXPECT_EQ(Extremes(a), "10000 0@0 9999@9999");
    EXPECT_DOUBLE_EQ(a.mean, 4999.5);
    EXPECT_EQ(Extremes(b), "10000 -7@5000 1@0");  // 1 up to row 4999, -7 from row 5000 on
    EXPECT_DOUBLE_EQ(b.mean, -3.0);
    EXPECT_DOUBLE_EQ(b.rms, 5.0);
    EXPECT_EQ(Extremes(last), "10000 4095@0 4095@0");
    EXPECT_DOUBLE_EQ(last.mean, 4095.0);

    double from = 40.0, to = 60.0;  // rows 4000 to 6000
    ASSERT_TRUE(ScanFileStats(path, &from, &to, &f, &err, 3)) << err;
    EXPECT_EQ(f.begin, 4000u);
    EXPECT_EQ(f.end, 6001u);
    EXPECT_EQ(Extremes(f.channels[0]), "2001 4000@4000 6000@6000");
    EXPECT_EQ(Extremes(f.channels[1]), "2001 -7@5000 1@4000");
    EXPECT_EQ(Extremes(f.channels[4095]), "2001 4095@4000 4095@4000");
    EXPECT_DOUBLE_EQ(f.channels[4095].mean, 4095.0);
}

// Linux for /proc/self/statm; not under the address sanitizer, whose allocator ends the
// process rather than fail.
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || \
    __has_feature(memory_sanitizer)
#define KORVEX_UNDER_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KORVEX_UNDER_SANITIZER 1
#endif
#if defined(__linux__) && !defined(KORVEX_UNDER_SANITIZER)
// Lets the process's address space grow by `room` bytes from what it holds now, as
// "ulimit -v" does.
bool LimitAddressSpace(size_t room) {
    long pages = 0;
    FILE* f = std::fopen("/proc/self/statm", "r");
    if (!f) return false;
    bool read = std::fscanf(f, "%ld", &pages) == 1;
    std::fclose(f);
    rlim_t limit = rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE)) + room;
    rlimit rl{limit, limit};
    return read && setrlimit(RLIMIT_AS, &rl) == 0;
}

TEST_F(RecordingDataTest, WhenMemoryRunsOutTheLoadSaysSoAndNeverAborts) {
    // 200 channels and rows of one value: 80 MB of columns, and nothing much besides.
    std::string head = "#CHAN=200\r\n#NAME=A\r\n#ERRSEQ\r\n", first, rows;
    for (int c = 0; c < 200; ++c) first += std::to_string(c) + "\t";
    first += "\r\n";
    for (int r = 1; r < 50000; ++r) rows += std::to_string(r % 10) + "\r\n";
    const std::string fits = tmp.path() + "/fits.trd", too_big = tmp.path() + "/big.trd",
                      marks = tmp.path() + "/marks.trd";
    test::WriteFileBytes(fits, head + first + rows);
    test::WriteFileBytes(too_big, head + first + rows + rows + rows + "0\r\n0\r\n");
    std::string lines = "#CHAN=2\r\n#NAME=A B\r\n1 2\r\n";
    lines.reserve(lines.size() + 2000000 * 9 + 5);
    for (int i = 0; i < 2000000; ++i) lines += "#ERRSEQ\r\n";
    lines += "3 4\r\n";
    test::WriteFileBytes(marks, lines);

    auto child = [&] {
        RecordingData::Options one;
        one.threads = 1;  // no thread stacks in the way
        RecordingData d;
        std::string err;
        if (!LimitAddressSpace(size_t(120) << 20)) return 10;
        if (!d.Load(fits, &err, one)) return 11;
        if (d.rows() != 50000 || d.short_rows() != 49999 || d.value(199, 49999) != 199.0 ||
            d.value(0, 49999) != 9.0 || d.seq_errors().size() != 1)
            return 12;
        // 240 MB of columns: refused when they cannot be had, with the check's message.
        if (d.Load(too_big, &err, one) ||
            err != "Not enough memory for 150000 rows of 200 channels")
            return 13;
        // 16 MB of "#ERRSEQ" places in 2 MB: a bad_alloc, reported the same way.
        if (!LimitAddressSpace(size_t(2) << 20)) return 14;
        if (d.Load(marks, &err, one) || err.rfind("Not enough memory for ", 0) != 0) return 15;
        FileStats f;
        err.clear();
        if (ScanFileStats(marks, nullptr, nullptr, &f, &err, 1) ||
            err.rfind("Not enough memory for ", 0) != 0)
            return 16;
        return 0;
    };
    // The limits run in a fresh process of this test alone: memory that earlier tests of
    // this process freed stays mapped and would serve allocations beyond the limit.
    if (std::getenv("KORVEX_MEMORY_CHILD")) {
        int code = 20;  // an exception left the load
        try {
            code = child();
        } catch (...) {
        }
        _exit(code);
    }
    std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    int status =
        std::system(("KORVEX_MEMORY_CHILD=1 " + self +
                     " --gtest_filter=RecordingDataTest.WhenMemoryRunsOut* >/dev/null 2>&1")
                        .c_str());
    ASSERT_TRUE(WIFEXITED(status)) << "the child aborted";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
#endif

TEST(EnvelopeTest, ExtremesOfAnyRangeAndASpikeAtEveryLevel) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> v(-1, 1);
    std::vector<double> values(300000);
    for (double& x : values) x = v(rng);
    const size_t spike = 123457;
    values[spike] = 50;
    values[spike + 1000] = -50;
    Envelope env;
    env.Build(values.data(), values.size());
    // Every range that holds the spike shows it, from the whole column down to the
    // spike alone, whatever its alignment to the blocks.
    for (size_t width : {size_t(1), size_t(2), size_t(15), size_t(16), size_t(17), size_t(255),
                         size_t(4097), size_t(65536), size_t(300000)}) {
        for (size_t shift : {size_t(0), width / 3, width - 1}) {
            size_t begin = spike >= shift ? spike - shift : 0;
            double lo, hi;
            ASSERT_TRUE(env.MinMax(begin, begin + width, &lo, &hi));
            EXPECT_EQ(hi, 50) << width << " " << shift;
        }
    }
    std::uniform_int_distribution<size_t> at(0, values.size());
    for (int i = 0; i < 300; ++i) {
        size_t a = at(rng), b = at(rng);
        if (a > b) std::swap(a, b);
        if (a == b) continue;
        double lo, hi;
        ASSERT_TRUE(env.MinMax(a, b, &lo, &hi));
        EXPECT_EQ(lo, *std::min_element(values.begin() + long(a), values.begin() + long(b)));
        EXPECT_EQ(hi, *std::max_element(values.begin() + long(a), values.begin() + long(b)));
    }
    double lo, hi;
    EXPECT_FALSE(env.MinMax(5, 5, &lo, &hi));
}

TEST_F(RecordingDataTest, StatsOfAHandMadeFileWithKnownExtremes) {
    std::string file = "#CHAN=2\r\n#NAME=U I\r\n#XX=0,0.010000\r\n";
    for (int r = 0; r < 1000; ++r)
        file += StrPrintf("%.6f\t%.6f\t\r\n", r == 700 ? 5.0 : (r == 200 ? -3.0 : 1.0),
                          r % 2 ? 2.0 : -2.0);
    RecordingData d = Load(file);
    ASSERT_TRUE(ok);
    auto s = ComputeStats(d, 0, d.rows());
    EXPECT_EQ(Extremes(s[0]), "1000 -3@200 5@700");
    EXPECT_EQ(Extremes(s[1]), "1000 -2@0 2@1");  // the first of the equal extremes
    EXPECT_DOUBLE_EQ(s[0].mean, (998 + 5 - 3) / 1000.0);
    EXPECT_DOUBLE_EQ(s[1].mean, 0.0);
    EXPECT_DOUBLE_EQ(s[1].rms, 2.0);
    // The file read once without its columns gives the same, whole and in a range, and
    // split over threads: the pieces' sums and row numbers made whole.
    FileStats f;
    for (unsigned threads : {0u, 3u}) {
        ASSERT_TRUE(ScanFileStats(path, nullptr, nullptr, &f, nullptr, threads));
        EXPECT_EQ(f.rows, 1000u);
        for (size_t c = 0; c < 2; ++c) {
            EXPECT_EQ(Extremes(f.channels[c]), Extremes(s[c])) << threads;
            EXPECT_DOUBLE_EQ(f.channels[c].mean, s[c].mean) << threads;
            EXPECT_DOUBLE_EQ(f.channels[c].rms, s[c].rms) << threads;
        }
    }
    double from = 2.0, to = 6.995;  // rows 200 to 699: the maximum is outside
    ASSERT_TRUE(ScanFileStats(path, &from, &to, &f, nullptr));
    EXPECT_EQ(f.begin, 200u);
    EXPECT_EQ(f.end, 700u);
    EXPECT_EQ(Extremes(f.channels[0]), "500 -3@200 1@201");
    from = 20;
    to = 30;
    std::string err;
    EXPECT_FALSE(ScanFileStats(path, &from, &to, &f, &err));
    EXPECT_EQ(err,
              "No rows between 20.000000 s and 30.000000 s (the recording ends at 9.990000 s)");
}

TEST(RowsBetweenTest, BoundsNameTheirRowsExactly) {
    size_t b, e;
    ASSERT_TRUE(RowsBetween(1000, 0.006, 1.0, 2.0, &b, &e));
    EXPECT_EQ(b, 167u);                                           // 1 / 0.006 = 166.7
    EXPECT_EQ(e, 334u);                                           // row 333 is 1.998 s
    ASSERT_TRUE(RowsBetween(1000, 0.006, 0.006, 0.018, &b, &e));  // printed times hit rows
    EXPECT_EQ(b, 1u);
    EXPECT_EQ(e, 4u);
    ASSERT_TRUE(RowsBetween(1000, 0.006, 0, 100, &b, &e));
    EXPECT_EQ(e, 1000u);
    EXPECT_FALSE(RowsBetween(1000, 0.006, 0.0061, 0.0119, &b, &e));  // between two rows
    EXPECT_FALSE(RowsBetween(1000, 0.006, 2, 1, &b, &e));
}

}  // namespace
}  // namespace korvex
