// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/RecordingData.h"

#include <gtest/gtest.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/resource.h>
#include <sys/wait.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>

#include "app/ErrorCapture.h"
#include "app/StrPrintf.h"
#include "files/ComtradeExport.h"
#include "files/CsvExport.h"
#include "files/Envelope.h"
#include "files/RecordingStats.h"

namespace korvex {
namespace {

// A channel's count and extremes with their rows, "count min@row max@row".
std::string Extremes(const ChannelStats& s) {
    return StrPrintf("%zu %g@%zu %g@%zu", s.count, s.min, s.min_row, s.max, s.max_row);
}

// The same with the sums, "count min@row max@row mean rms".
std::string Summary(const ChannelStats& s) {
    return Extremes(s) + StrPrintf(" %.9g %.9g", s.mean, s.rms);
}

// The statistics read from the file without its columns against those of the loaded
// columns: the same extremes and rows, the sums within `tolerance`.
void ExpectSameStats(const FileStats& f, const std::vector<ChannelStats>& s, double tolerance) {
    ASSERT_EQ(f.channels.size(), s.size());
    for (size_t c = 0; c < s.size(); ++c) {
        EXPECT_EQ(Extremes(f.channels[c]), Extremes(s[c])) << c;
        EXPECT_NEAR(f.channels[c].mean, s[c].mean, tolerance) << c;
        EXPECT_NEAR(f.channels[c].rms, s[c].rms, tolerance) << c;
    }
}

class RecordingDataTest : public ::testing::Test {
protected:
    RecordingData Load(const std::string& bytes, std::string* err = nullptr,
                       RecordingData::Options options = {}) {
        test::WriteFileBytes(path, bytes);
        RecordingData d;
        std::string e;
        ok = d.Load(path, err ? err : &e, options);
        return d;
    }
    test::TempDir tmp;
    std::string path = tmp.path() + "/r.trd";
    bool ok = false;
};

TEST_F(RecordingDataTest, TheTimeStepComesFromXXElseFromTheRate) {
    const std::pair<const char*, double> cases[] = {
        {"#F=166.666667\r\n#XX=0,0.006000\r\n", 0.006},
        {"#XX=0,0.004000\r\n#F=250.000000\r\n", 0.004},  // the recorder's order
        {"#F=50.000000\r\n", 0.02},
        {"#F=0\r\n", 1.0},  // a rate of 0 reads as 1
        {"", 1.0},
    };
    for (auto [header, step] : cases) {
        RecordingData d = Load(std::string("#CHAN=1\r\n#NAME=A \r\n") + header + "1\r\n2\r\n3\r\n");
        ASSERT_TRUE(ok) << header;
        EXPECT_DOUBLE_EQ(d.step(), step) << header;
        EXPECT_DOUBLE_EQ(d.time(2), 2 * step) << header;
        EXPECT_EQ(d.RowAt(1.4 * step), 1u);
        EXPECT_EQ(d.RowAt(100 * step), 2u);  // past the end: the last row
    }
}

// A recorder file's rows begin at the clock of its "#INFO=" line.
TEST_F(RecordingDataTest, ARecorderFileStartsAtTheClockOfItsInfoLine) {
    RecordingData d = Load(
        "#FILE=\r\n#INFO=File : 0003_(2013.05.15_10.15.58.456)\r\n#NAME=Us If\r\n#CHAN=2\r\n"
        "#XN=Time (sec)\r\n#XX=0,0.004000\r\n#F=250.000000\r\n1.000600 0.801100\r\n0.8 -1.5\r\n");
    ASSERT_TRUE(ok && d.info().has_start);
    EXPECT_EQ(std::pair(d.value(1, 1), d.info().start.number), std::pair(-1.5, 3));
    EXPECT_EQ(FormatClock(ClockSeconds(d.info().start) + d.time(1)), "2013-05-15 10:15:58.460");
    EXPECT_EQ(FormatClock(ClockSeconds(d.info().start) + 86400 * 17 + 0.6),
              "2013-06-01 10:15:59.056");
}

TEST_F(RecordingDataTest, AGrowingFileOpensWithItsCompleteRows) {
    const std::string file =
        "#FILE=COM1\r\n#CHAN=2\r\n#NAME=A B \r\n#F=50.000000\r\n#XX=0,0.020000\r\n"
        "1.000000\t2.000000\t\r\n3.000000\t4.0";
    RecordingData d = Load(file);
    ASSERT_TRUE(ok);
    // The rows, and the bytes of "3.000000\t4.0" still being written.
    EXPECT_EQ(std::pair(d.rows(), d.pending_bytes()), std::pair(size_t{1}, uint64_t{12}));
    d = Load(file, nullptr, {true});  // finished
    EXPECT_EQ(std::pair(d.rows(), d.value(1, 1)), std::pair(size_t{2}, 4.0));
    // A header still being written: no rows yet, no error.
    d = Load("#FILE=COM1\r\n#CHAN=2\r\n#NAME=A B \r\n#F=50.0");
    ASSERT_TRUE(ok);
    EXPECT_EQ(std::pair(d.rows(), d.pending_bytes()), std::pair(size_t{0}, uint64_t{7}));
}

TEST_F(RecordingDataTest, SeqErrorsAndShortRows) {
    RecordingData d =
        Load("#CHAN=3\n#NAME=A B C\n#ERRSEQ\n1 2 3\n#ERRSEQ\n4\n\n7 x 9\n#ERRSEQ\n#ERRSEQ\n");
    ASSERT_TRUE(ok);
    ASSERT_EQ(d.rows(), 4u);
    EXPECT_EQ(d.seq_errors(), (std::vector<size_t>{0, 1, 4, 4}));
    // A value a row lacks is the row before's: "4" keeps B and C, the empty line all,
    // "x" is no number.
    EXPECT_EQ(std::vector<double>(d.column(1), d.column(1) + 4), (std::vector<double>{2, 2, 2, 2}));
    EXPECT_EQ(StrPrintf("%.17g %.17g, %zu short", d.value(0, 3), d.value(2, 1), d.short_rows()),
              "7 3, 3 short");
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
        const int k = kind(rng);  // short rows end in a bare LF
        file += k == 0   ? std::string("#ERRSEQ\r\n")
                : k == 1 ? std::string(3000, ' ') + "1 2 3 4\r\n"
                : k < 90
                    ? StrPrintf("%.6f\n", v(rng))
                    : StrPrintf("%.6f\t%.6f\t%.6f\t%.6f\t\r\n", v(rng), v(rng), v(rng), v(rng));
    }
    RecordingData a = Load(file, nullptr, {false, 1}), b = Load(file, nullptr, {false, 3});
    ASSERT_TRUE(ok);
    ASSERT_EQ(a.rows(), b.rows());
    EXPECT_GT(a.rows(), 5000u);
    EXPECT_EQ(std::pair(a.seq_errors(), a.short_rows()), std::pair(b.seq_errors(), b.short_rows()));
    for (int c = 0; c < 4; ++c)
        ASSERT_EQ(0, std::memcmp(a.column(c), b.column(c), a.rows() * sizeof(double))) << c;
    FileStats f;
    ASSERT_TRUE(ScanFileStats(path, nullptr, nullptr, &f, nullptr, 3));
    ExpectSameStats(f, ComputeStats(a, 0, a.rows(), 1), 1e-9);
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
    ASSERT_EQ(std::pair(f.rows, f.channels.size()), std::pair(size_t{10000}, size_t{4096}));
    const ChannelStats &a = f.channels[0], &b = f.channels[1], &last = f.channels[4095];
    EXPECT_EQ(Extremes(a) + StrPrintf(" %.9g", a.mean), "10000 0@0 9999@9999 4999.5");
    EXPECT_EQ(Summary(b), "10000 -7@5000 1@0 -3 5");  // 1 up to row 4999, -7 from row 5000 on
    EXPECT_EQ(Summary(last), "10000 4095@0 4095@0 4095 4095");

    double from = 40.0, to = 60.0;  // rows 4000 to 6000
    ASSERT_TRUE(ScanFileStats(path, &from, &to, &f, &err, 3)) << err;
    EXPECT_EQ(std::pair(f.begin, f.end), std::pair(size_t{4000}, size_t{6001}));
    EXPECT_EQ(Extremes(f.channels[0]), "2001 4000@4000 6000@6000");
    EXPECT_EQ(Extremes(f.channels[1]), "2001 -7@5000 1@4000");
    EXPECT_EQ(Summary(f.channels[4095]), "2001 4095@4000 4095@4000 4095 4095");
}

// Linux for /proc/self/statm; not under the address sanitizer, whose allocator ends the
// process rather than fail.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KORVEX_UNDER_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || \
    __has_feature(memory_sanitizer)
#define KORVEX_UNDER_SANITIZER 1
#endif
#endif
#if defined(__linux__) && !defined(KORVEX_UNDER_SANITIZER)
// Lets the process's address space grow by `room` bytes from what it holds now, as
// "ulimit -v" does.
bool LimitAddressSpace(size_t room) {
    long pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    rlim_t limit = rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE)) + room;
    rlimit rl{limit, limit};
    return pages > 0 && setrlimit(RLIMIT_AS, &rl) == 0;
}

TEST_F(RecordingDataTest, WhenMemoryRunsOutTheLoadSaysSoAndNeverAborts) {
    // The limits run in a fresh process of this test alone: memory that earlier tests of
    // this process freed stays mapped and would serve allocations beyond the limit.
    if (!std::getenv("KORVEX_MEMORY_CHILD")) {
        std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
        int status = std::system(("KORVEX_MEMORY_CHILD=1 " + self +
                                  " --gtest_filter=RecordingDataTest.WhenMemoryRunsOut*")
                                     .c_str());
        ASSERT_TRUE(WIFEXITED(status)) << "the child aborted";
        EXPECT_EQ(WEXITSTATUS(status), 0);
        return;
    }
    // 200 channels and rows of one value: 80 MB of columns, and nothing much besides.
    std::string head = "#CHAN=200\r\n#NAME=A\r\n#ERRSEQ\r\n", rows;
    for (int c = 0; c < 200; ++c) head += std::to_string(c) + "\t";
    for (int r = 1; r < 50000; ++r) rows += std::to_string(r % 10) + "\r\n";
    const std::string fits = tmp.path() + "/fits.trd", too_big = tmp.path() + "/big.trd",
                      marks = tmp.path() + "/marks.trd";
    test::WriteFileBytes(fits, head + "\r\n" + rows);
    test::WriteFileBytes(too_big, head + "\r\n" + rows + rows + rows + "0\r\n0\r\n");
    std::string lines = "#CHAN=2\r\n#NAME=A B\r\n1 2\r\n";
    for (int i = 0; i < 2000000; ++i) lines += "#ERRSEQ\r\n";
    test::WriteFileBytes(marks, lines + "3 4\r\n");

    const RecordingData::Options one{false, 1};  // no thread stacks in the way
    RecordingData d;
    std::string err;
    ASSERT_TRUE(LimitAddressSpace(size_t(120) << 20));
    ASSERT_TRUE(d.Load(fits, &err, one)) << err;
    EXPECT_EQ(StrPrintf("%zu rows, %zu short, last %g %g, %zu marks", d.rows(), d.short_rows(),
                        d.value(0, 49999), d.value(199, 49999), d.seq_errors().size()),
              "50000 rows, 49999 short, last 9 199, 1 marks");
    // 240 MB of columns: refused when they cannot be had, with the check's message.
    EXPECT_FALSE(d.Load(too_big, &err, one));
    EXPECT_EQ(err, "Not enough memory for 150000 rows of 200 channels");
    // 16 MB of "#ERRSEQ" places in 2 MB: a bad_alloc, reported the same way.
    ASSERT_TRUE(LimitAddressSpace(size_t(2) << 20));
    EXPECT_FALSE(d.Load(marks, &err, one));
    EXPECT_EQ(err.rfind("Not enough memory for ", 0), 0u) << err;
    FileStats f;
    err.clear();
    EXPECT_FALSE(ScanFileStats(marks, nullptr, nullptr, &f, &err, 1));
    EXPECT_EQ(err.rfind("Not enough memory for ", 0), 0u) << err;
    _exit(HasFailure() ? 1 : 0);  // nothing more under the limit
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
    double lo, hi;
    // Every range that holds the spike shows it, from the whole column down to the
    // spike alone, whatever its alignment to the blocks.
    for (size_t width : {1, 2, 15, 16, 17, 255, 4097, 65536, 300000})
        for (size_t shift : {size_t(0), width / 3, width - 1}) {
            size_t begin = spike >= shift ? spike - shift : 0;
            ASSERT_TRUE(env.MinMax(begin, begin + width, &lo, &hi));
            EXPECT_EQ(hi, 50) << width << " " << shift;
        }
    std::uniform_int_distribution<size_t> at(0, values.size());
    for (int i = 0; i < 300; ++i) {
        const auto [a, b] = std::minmax({at(rng), at(rng)});
        if (a == b) continue;
        auto [min, max] = std::minmax_element(values.begin() + long(a), values.begin() + long(b));
        ASSERT_TRUE(env.MinMax(a, b, &lo, &hi));
        EXPECT_EQ(std::pair(lo, hi), std::pair(*min, *max));
    }
    EXPECT_FALSE(env.MinMax(5, 5, &lo, &hi));
}

// A file read on as it is written, in pieces cut anywhere, a short row first: the rows are
// a whole load's, envelopes extended piece by piece give what fresh ones give.
TEST_F(RecordingDataTest, RowsReadOnAsTheFileGrowsAreThoseOfAWholeLoad) {
    std::mt19937 rng(7);
    for (size_t n : {15, 16, 17, 255, 256, 4097}) {
        const std::string head = "#CHAN=2\r\n#NAME=A B \r\n#F=50.000000\r\n";
        std::string rows;
        size_t cut = 0;  // inside the last short row before a third of the rows
        for (size_t r = 0; r < n; ++r) {
            if (r % 97 == 5) rows += "#ERRSEQ\r\n";
            if (r % 41 == 3 && (cut == 0 || r < n / 3)) cut = rows.size() + 1;
            rows += r % 41 == 3 ? StrPrintf("%zu\r\n", r)
                                : StrPrintf("%zu\t%u\t\r\n", r, unsigned(rng() % 1000));
        }
        RecordingData d = Load(head + rows.substr(0, cut));
        Envelope env[2];
        for (int c = 0; c < 2; ++c) env[c].Build(d.column(c), d.rows());
        RecordingTail tail(d);
        std::ofstream out(path, std::ios::binary | std::ios::app);
        RecordingData::RowBatch batch;
        for (size_t at = cut, piece; at < rows.size(); at += piece) {
            piece = std::min(rows.size() - at, size_t(rng() % 300 + 1));
            out << rows.substr(at, piece) << std::flush;
            do {
                ASSERT_EQ(tail.Poll(&batch, 7), RecordingTail::Result::kRead);
                ASSERT_TRUE(d.Append(batch, nullptr));
                for (int c = 0; c < 2; ++c) env[c].Extend(d.column(c), d.rows());
            } while (batch.rows == 7);
        }
        RecordingData whole = Load(head + rows);
        ASSERT_EQ(std::tuple(d.rows(), d.seq_errors(), d.short_rows(), d.read_end()),
                  std::tuple(n, whole.seq_errors(), whole.short_rows(), (head + rows).size()));
        for (int c = 0; c < 2; ++c) {
            ASSERT_TRUE(std::equal(d.column(c), d.column(c) + n, whole.column(c))) << n << c;
            Envelope fresh;
            fresh.Build(whole.column(c), n);
            double lo[2], hi[2];
            for (size_t b = 1; b <= n; ++b)
                for (auto [a, e] :
                     {std::pair{size_t(0), b}, {b - 1, b}, {rng() % b, b}, {n - b, n}}) {
                    env[c].MinMax(a, e, &lo[0], &hi[0]);
                    fresh.MinMax(a, e, &lo[1], &hi[1]);
                    ASSERT_EQ(std::pair(lo[0], hi[0]), std::pair(lo[1], hi[1])) << n << " " << a;
                }
        }
    }
}

TEST_F(RecordingDataTest, StatsOfAHandMadeFileWithKnownExtremes) {
    std::string file = "#CHAN=2\r\n#NAME=U I\r\n#XX=0,0.010000\r\n";
    for (int r = 0; r < 1000; ++r)
        file += StrPrintf("%.6f\t%.6f\t\r\n", r == 700 ? 5.0 : (r == 200 ? -3.0 : 1.0),
                          r % 2 ? 2.0 : -2.0);
    RecordingData d = Load(file);
    ASSERT_TRUE(ok);
    auto s = ComputeStats(d, 0, d.rows());
    EXPECT_EQ(Summary(s[0]), "1000 -3@200 5@700 1 1.01587401");
    EXPECT_EQ(Summary(s[1]), "1000 -2@0 2@1 0 2");  // the first of the equal extremes
    // The file read once without its columns gives the same, whole and split over
    // threads: the pieces' sums and row numbers made whole. (A range: ManyChannels...)
    FileStats f;
    for (unsigned threads : {0u, 3u}) {
        ASSERT_TRUE(ScanFileStats(path, nullptr, nullptr, &f, nullptr, threads));
        EXPECT_EQ(f.rows, 1000u);
        ExpectSameStats(f, s, 1e-12);
    }
    double from = 20, to = 30;
    std::string err;
    EXPECT_FALSE(ScanFileStats(path, &from, &to, &f, &err));
    EXPECT_EQ(err,
              "No rows between 20.000000 s and 30.000000 s (the recording ends at 9.990000 s)");
}

TEST(RowsBetweenTest, BoundsNameTheirRowsExactly) {
    // The rows [begin, end) of 1000 rows 6 ms apart between `from` and `to`; none: "none".
    auto rows = [](double from, double to) {
        size_t b = 0, e = 0;
        return RowsBetween(1000, 0.006, from, to, &b, &e) ? StrPrintf("%zu-%zu", b, e) : "none";
    };
    EXPECT_EQ(rows(1.0, 2.0), "167-334");  // 166.7; 333 is 1.998 s
    EXPECT_EQ(rows(0.006, 0.018), "1-4");  // printed times hit rows
    EXPECT_EQ(rows(0, 100), "0-1000");
    EXPECT_EQ(rows(0.0061, 0.0119), "none");  // between two rows
    EXPECT_EQ(rows(2, 1), "none");
}

// The lines of a text whose lines end in CR LF.
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t at = 0, end; at < text.size(); at = end + 2) {
        end = std::min(text.find("\r\n", at), text.size());
        lines.push_back(text.substr(at, end - at));
    }
    return lines;
}

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> f;
    std::stringstream s(line);
    for (std::string x; std::getline(s, x, ',');) f.push_back(x);
    if (!line.empty() && line.back() == ',') f.emplace_back();
    return f;
}

// Exports of a recorder file: flags, measured values with a known range, a clock at its
// start. The recordings that Load writes over it afterwards are exported from memory.
class ExportTest : public RecordingDataTest {
protected:
    void SetUp() override {
        std::string file =
            "#FILE=\r\n#INFO=File : 0002_(2026.11.25_03.41.55.020)\r\n"
            "#NAME=State*0.1 Write*0.15 Prot*0.2 RF*0.25 Us If\r\n#CHAN=6\r\n"
            "#XN=Time (sec)\r\n#XX=0,0.004000\r\n#F=250.000000\r\n";
        for (int r = 0; r < 500; ++r) {
            bool fault = r >= 200 && r < 300;
            file += StrPrintf("%f %f %f %f %f %f\r\n", fault ? 0.3 : 0.1, r >= 100 ? 0.15 : 0.0,
                              fault ? 0.25 : 0.0, r == 250 ? 0.35 : 0.0,
                              1.0 + 0.25 * std::sin(r * 0.05), fault ? 3.0 : 1.5 - r * 1e-4);
        }
        data = Load(file);
        ASSERT_TRUE(ok);
    }
    // The lines of a file written.
    std::vector<std::string> Read(const std::string& name) {
        return Lines(test::ReadFileBytes(tmp.path() + name));
    }
    RecordingData data;
    std::string err;
};

TEST_F(ExportTest, CsvReadsBackExactly) {
    std::string out = tmp.path() + "/x.csv";
    ASSERT_TRUE(ExportCsv(data, 0, data.rows(), out, false, nullptr));
    auto lines = Read("/x.csv");
    ASSERT_EQ(lines.size(), 501u);
    EXPECT_EQ(lines[0], "Time (s),State*0.1,Write*0.15,Prot*0.2,RF*0.25,Us,If");
    EXPECT_EQ(lines[1].substr(0, 10), "0,0.1,0,0,");
    EXPECT_EQ(Fields(lines[251])[0] + " " + Fields(lines[4])[0], "1 0.012");  // 250 × 0.004 s
    for (size_t r = 0; r < data.rows(); ++r) {
        auto f = Fields(lines[r + 1]);
        ASSERT_EQ(f.size(), 7u);
        for (int c = 0; c < 6; ++c)
            ASSERT_EQ(std::strtod(f[size_t(c) + 1].c_str(), nullptr), data.value(c, r)) << r;
    }
    // A range, and a file that exists is kept.
    ASSERT_TRUE(ExportCsv(data, 100, 103, tmp.path() + "/r.csv", false, nullptr));
    EXPECT_EQ(Read("/r.csv").size(), 4u);
    EXPECT_EQ(Read("/r.csv")[1].substr(0, 4), "0.4,");
    EXPECT_FALSE(ExportCsv(data, 0, 1, out, false, &err));
    EXPECT_EQ(err, "'" + out + "' already exists");
    EXPECT_EQ(Read("/x.csv").size(), 501u);
#ifndef _WIN32  // a directory no one may write into, as POSIX permissions make it
    std::filesystem::create_directory(tmp.path() + "/ro");
    std::filesystem::permissions(tmp.path() + "/ro", std::filesystem::perms(0555));
    if (geteuid() != 0) {  // root writes anywhere
        EXPECT_FALSE(ExportCsv(data, 0, 1, tmp.path() + "/ro/x.csv", false, &err));
        EXPECT_EQ(err, "Create File '" + tmp.path() + "/ro/x.csv' error: error 13");
    }
#endif
    // For a spreadsheet set to Russian: ";" between fields, so a name with "," needs no
    // quotes and one with ";" does; "," as the decimal point of times and values alike.
    data = Load("#CHAN=3\r\n#NAME=U;1 I,2 \"q\"\r\n#XX=0,0.25\r\n1.5 -0.125 2\r\n-3 4 1\r\n");
    ASSERT_TRUE(ExportCsv(data, 0, 2, tmp.path() + "/ru.csv", false, nullptr, {}, {true}));
    EXPECT_EQ(test::ReadFileBytes(tmp.path() + "/ru.csv"),
              "Time (s);\"U;1\";I,2;\"\"\"q\"\"\"\r\n0;1,5;-0,125;2\r\n0,25;-3;4;1\r\n");
}

TEST_F(ExportTest, ComtradeConfigurationLines) {
    ASSERT_TRUE(
        ExportComtrade(data, 0, data.rows(), tmp.path() + "/rec.cfg", false, false, nullptr));
    auto cfg = Read("/rec.cfg");
    ASSERT_EQ(cfg.size(), 15u);
    EXPECT_EQ(cfg[0], "File : 0002_(2026.11.25_03.41.55.020),Korvex,1999");
    EXPECT_EQ(cfg[1], "6,3A,3D");  // State, Us, If; Write, Prot, RF
    // The factor and offset: ComtradeSamplesBackWithinTheStatedError.
    EXPECT_TRUE(std::regex_match(
        cfg[2], std::regex(R"(1,State\*0\.1,[^,]*,[^,]*,NA,[^,]+,[^,]+,0,-32767,32767,1,1,P)")))
        << cfg[2];
    EXPECT_EQ(cfg[3].substr(0, 9), "2,Us,,,pu");
    EXPECT_EQ(std::vector<std::string>(cfg.begin() + 5, cfg.end()),
              (std::vector<std::string>{"1,Write*0.15,,,0", "2,Prot*0.2,,,0", "3,RF*0.25,,,0", "50",
                                        "1", "250,500", "25/11/2026,03:41:55.020000",
                                        "25/11/2026,03:41:55.020000", "ASCII", "1"}));
    // A range starts later; the .dat goes with the .cfg, and neither replaces a record.
    ASSERT_TRUE(ExportComtrade(data, 250, 260, tmp.path() + "/part", true, false, nullptr));
    auto part = Read("/part.cfg");
    EXPECT_EQ(part[10] + " " + part[11] + " " + part[13],
              "250,10 25/11/2026,03:41:56.020000 BINARY");
    // A header whose rate contradicts its time step: the step tells the time.
    RecordingData odd = Load("#CHAN=1\r\n#NAME=U\r\n#F=0\r\n#XX=0,0.002000\r\n1\r\n2\r\n");
    ASSERT_TRUE(ok);
    EXPECT_EQ(Lines(ComtradeConfigText(PlanComtrade(odd, 0, 2, true)))[5], "500,2");
    test::WriteFileBytes(tmp.path() + "/taken.dat", "x");
    EXPECT_FALSE(ExportComtrade(data, 0, 10, tmp.path() + "/taken", true, false, &err));
    EXPECT_EQ(err, "'" + tmp.path() + "/taken.dat' already exists");
    EXPECT_FALSE(std::filesystem::exists(tmp.path() + "/taken.cfg"));
}

// Ranges that a factor cannot be made of naively: one too narrow to divide (0 and the
// smallest double), one whose width overflows (±1.7e308). Both get a finite, non-zero
// factor and samples within ±32767, in both file types.
TEST_F(ExportTest, ComtradeDegenerateRanges) {
    RecordingData d = Load(
        "#INFO=File : 0001_(2026.01.02_03.04.05.006)\r\n#CHAN=2\r\n#NAME=Tiny Huge\r\n"
        "#XX=0,0.01\r\n0 -1.7e308\r\n4.9406564584124654e-324 1.7e308\r\n");  // the smallest double
    ASSERT_TRUE(ok);
    for (bool binary : {false, true}) {
        std::string base = binary ? "/bin" : "/asc";
        ASSERT_TRUE(ExportComtrade(d, 0, 2, tmp.path() + base, binary, false, nullptr));
        auto cfg = Read(base + ".cfg");
        ASSERT_EQ(cfg.size(), 11u);
        EXPECT_EQ(cfg[1], "2,2A,0D");
        EXPECT_EQ(cfg[2], "1,Tiny,,,NA,2.2250738585072014e-308,0,0,-32767,32767,1,1,P");
        EXPECT_EQ(cfg[3], "2,Huge,,,NA,5.1881466109195223e+303,0,0,-32767,32767,1,1,P");
        EXPECT_EQ(test::ReadFileBytes(tmp.path() + base + ".dat"),
                  binary ? std::string("\x01\0\0\0\0\0\0\0\0\0\x01\x80"
                                       "\x02\0\0\0\x10\x27\0\0\0\0\xFF\x7F",
                                       24)
                         : "1,0,0,-32767\r\n2,10000,0,32767\r\n");
    }
}

// Time steps whose rate or dates COMTRADE cannot hold are refused before any file is
// made; the .cfg text of such a plan still has a four-digit year.
TEST_F(ExportTest, ComtradeDegenerateTimeSteps) {
    const std::pair<const char*, const char*> cases[] = {{"#XX=0,1e300", "1e+300"},
                                                         {"#F=1e-300", "9.999999999999999e+299"},
                                                         {"#XX=0,1e-320", "1e-320"}};
    for (const auto& c : cases) {
        RecordingData d = Load(std::string("#CHAN=1\r\n#NAME=U\r\n") + c.first + "\r\n1\r\n2\r\n");
        ASSERT_TRUE(ok) << c.first;
        for (bool binary : {false, true}) {
            EXPECT_FALSE(ExportComtrade(d, 0, 2, tmp.path() + "/step", binary, false, &err));
            EXPECT_EQ(err, std::string("The time step of ") + c.second +
                               " s cannot be written to COMTRADE: the sample rate or the dates "
                               "are out of range");
            EXPECT_FALSE(std::filesystem::exists(tmp.path() + "/step.cfg") ||
                         std::filesystem::exists(tmp.path() + "/step.dat"));
        }
        if (&c == &cases[0]) {  // its first row lies 1e300 s before the file's time stamp
            EXPECT_EQ(Lines(ComtradeConfigText(PlanComtrade(d, 0, 2, true)))[6],
                      "01/01/0001,00:00:00.000000");
        }
    }
}

// An export never replaces the recording it reads, under whatever name it is given, even
// with `overwrite`; nothing is left behind.
TEST_F(ExportTest, TheRecordingItselfIsNeverReplaced) {
    const std::string original = test::ReadFileBytes(path);
    std::string same = tmp.path() + "/./r.trd";
    EXPECT_FALSE(ExportCsv(data, 0, data.rows(), same, true, &err));
    EXPECT_EQ(err, "'" + same + "' is the recording being exported: it is not replaced");
    // "rec.dat" exported to the record "rec": its .dat would be the recording.
    test::WriteFileBytes(tmp.path() + "/rec.dat", original);
    RecordingData rec;
    ASSERT_TRUE(rec.Load(tmp.path() + "/rec.dat"));
    for (bool binary : {true, false}) {
        EXPECT_FALSE(ExportComtrade(rec, 0, rec.rows(), tmp.path() + "/rec", binary, true, &err));
        EXPECT_EQ(err, "'" + tmp.path() +
                           "/rec.dat' is the recording being exported: it is not replaced");
    }
    EXPECT_EQ(test::ReadFileBytes(path), original);
    EXPECT_EQ(test::ReadFileBytes(tmp.path() + "/rec.dat"), original);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tmp.path()), {}), 2)
        << "no .cfg, no temporary";
    // Another file of the same content is replaced as asked.
    test::WriteFileBytes(tmp.path() + "/copy.csv", original);
    EXPECT_TRUE(ExportCsv(data, 0, 1, tmp.path() + "/copy.csv", true, &err)) << err;
}

// The samples come back within the quantisation the .cfg states, in both file types, and
// the flags as 0 or 1.
TEST_F(ExportTest, ComtradeSamplesBackWithinTheStatedError) {
    const int analog_col[3] = {0, 4, 5}, status_col[3] = {1, 2, 3};
    for (bool binary : {false, true}) {
        std::string base = binary ? "/b" : "/a";
        ASSERT_TRUE(
            ExportComtrade(data, 0, data.rows(), tmp.path() + base, binary, false, nullptr));
        auto cfg = Read(base + ".cfg");
        double a[3], b[3], range[3];
        for (int k = 0; k < 3; ++k) {
            auto f = Fields(cfg[size_t(2 + k)]);
            a[k] = std::strtod(f[5].c_str(), nullptr);
            b[k] = std::strtod(f[6].c_str(), nullptr);
            const double* col = data.column(analog_col[k]);
            range[k] = *std::max_element(col, col + 500) - *std::min_element(col, col + 500);
        }
        std::string dat = test::ReadFileBytes(tmp.path() + base + ".dat");
        auto lines = Lines(dat);
        // Binary: records of 16 bytes (number, time stamp, three samples, the flags' word).
        ASSERT_EQ(binary ? dat.size() : lines.size() * 16, 500u * (4 + 4 + 3 * 2 + 2));
        for (size_t r = 0; r < 500; ++r) {
            std::vector<long> v;  // number, time stamp, three samples, three flags
            if (binary) {
                const auto* p = reinterpret_cast<const unsigned char*>(dat.data()) + r * 16;
                auto u16 = [&](int at) { return long(p[at] | (p[at + 1] << 8)); };
                v = {u16(0) | u16(2) << 16, u16(4) | u16(6) << 16, int16_t(u16(8)),
                     int16_t(u16(10)),      int16_t(u16(12)),      u16(14) & 1,
                     u16(14) >> 1 & 1,      u16(14) >> 2 & 1};
            } else {
                for (const auto& f : Fields(lines[r])) v.push_back(std::atol(f.c_str()));
            }
            ASSERT_EQ(v.size(), 8u);
            ASSERT_EQ(std::pair(v[0], v[1]), std::pair(long(r + 1), long(r * 4000)));  // µs
            for (int k = 0; k < 3; ++k) {
                ASSERT_LE(std::fabs(a[k] * double(v[2 + k]) + b[k] - data.value(analog_col[k], r)),
                          range[k] / 30000)
                    << r << " " << k;
                ASSERT_LE(std::labs(v[2 + k]), 32767);
                ASSERT_EQ(v[5 + k], data.value(status_col[k], r) != 0 ? 1 : 0) << r << " " << k;
            }
        }
    }
}

}  // namespace
}  // namespace korvex
