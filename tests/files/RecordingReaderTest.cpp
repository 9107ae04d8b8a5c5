// SPDX-License-Identifier: GPL-3.0-or-later
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
#include <cstdlib>
#include <fstream>
#include <limits>
#include <random>

#include "app/ErrorCapture.h"
#include "files/LineScanner.h"
#include "files/NumberParse.h"
#include "files/RecordingData.h"
#include "files/RecordingFollower.h"
#include "files/RecordingHeader.h"
#include "files/RecordingWriter.h"

namespace korvex {
namespace {

using Rows = std::vector<std::vector<double>>;

struct Collect : RowSink {
    void OnRow(const double* v, int n) override { rows.emplace_back(v, v + n); }
    void OnSampleRate(double r) override { rates.push_back(r); }
    void OnSeqError() override { ++seq_errors; }
    void OnUnreadableLine() override { ++unreadable; }
    size_t TailRowsNeeded() const override { return tail; }
    void OnRowsSkipped(long n) override { skipped += n; }
    Rows rows;
    std::vector<double> rates;
    int seq_errors = 0, unreadable = 0;
    size_t tail = SIZE_MAX;  // all rows with their values
    long skipped = 0;
};

class RecordingReaderTest : public ::testing::Test {
protected:
    void Write(const std::string& bytes) { test::WriteFileBytes(path, bytes); }
    void Append(const std::string& bytes) {
        std::ofstream(path, std::ios::app | std::ios::binary) << bytes;
    }
    // Reads the header into `h` and opens the follower where it ended; else the message
    // in `err`.
    bool Open(RecordingFollower* f, bool finished = false) {
        uint64_t consumed = 0;
        err.clear();
        if (ReadRecordingHeader(path, &h, &consumed, &err, finished) != 0 ||
            !f->Open(path, consumed, h.shown, &err))
            return false;
        f->set_finished(finished);
        return true;
    }
    // Reads the header and the whole data phase.
    Collect Read(bool finished = false) {
        Collect sink;
        RecordingFollower f;
        if (Open(&f, finished)) f.Poll(sink);
        return sink;
    }

    test::TempDir tmp;
    std::string path = tmp.path() + "/r.trd";
    RecordingHeader h;
    std::string err;
};

// Every header as both readers take it: the live window's (ReadRecordingHeader: needs
// "#CHAN=" and "#NAME=", ends after the line completing them) and the viewer's
// (RecordingData: needs one of them, ends at the first row). What each read: the live
// window's count and shown names ("-" for none), the viewer's count and last name, and
// "from" the "#FILE=" value; else the message.
TEST_F(RecordingReaderTest, HeaderCases) {
    const std::string undefined = "Undefined NumChan & Name[]", bad_count = "NumChan<=0";
    const std::string dashes = " - - - - - - - - - - - - - -", p150(150, 'p');
    const std::string none = tmp.path() + "/none.trd", no_file = "Open File '" + none + "' error";
    struct Case {
        std::string file, live, viewer;
    } cases[] = {
        {"#FILE=COM1\r\n#CHAN=3\r\n#NAME=A B C \r\n", "3 A B C from COM1", "3 C from COM1"},
        // The recorder's order: names before the count name nothing in the live window.
        {"#FILE=\r\n#INFO=x\r\n#NAME=A B\r\n#CHAN=2\r\n", "2 - -", "2 B"},
        {"#CHAN=20\n#NAME=a b c d e f g h i j k l m n o p q r s t\n",
         "20 a b c d e f g h i j k l m n o", "20 t"},
        {"#CHAN=2\r\n#NAME=State*0.1\r\n", "2 State*0.1 -", "2 Channel 2"},
        {"#FILE=COM2\x01junk\r\n#CHAN=1\r\n#NAME=U\r\n", "1 U from COM2", "1 U from COM2"},
        // A byte-order mark before the first line, whatever line that is.
        {"\xEF\xBB\xBF#FILE=COM3\r\n#NAME=U\r\n#CHAN=1\r\n", "1 - from COM3", "1 U from COM3"},
        // Rows before the header belong to no recording; "#CHAN=" is read as strtod does.
        {"1 2\r\n#CHAN=2\r\n#NAME=A\tB\r\n", "2 A B", "2 B"},
        {"#CHAN= 0x10\r\n#NAME=A\r\n", "16 A" + dashes, "16 Channel 16"},
        {"#CHAN=1e5\r\n#NAME=A\r\n", "100000 A" + dashes, "Too many channels (4097)"},
        // The viewer needs one of "#CHAN=" and "#NAME=", the live window both.
        {"#FILE=COM1\r\n#CHAN=3\r\n", undefined, "3 Channel 3 from COM1"},
        {"#NAME=A B\r\n1 2\r\n", undefined, "2 B"},
        {"", undefined, undefined},
        {"#CHAN=0\r\n", bad_count, bad_count},  // below 1: said before "#NAME=" is missed
        {"#CHAN=nan\r\n#NAME=A\r\n1\r\n", bad_count, bad_count},
        // The live window's file line holds 100 characters of "#FILE=", the viewer's all.
        {"#FILE=" + p150 + "\r\n#CHAN=1\r\n#NAME=U\r\n", "1 U from " + p150.substr(50),
         "1 U from " + p150},
        {"(no file)", no_file, no_file},
    };
    for (const auto& c : cases) {
        const std::string& file = c.file == "(no file)" ? none : path;
        if (&file == &path) Write(c.file);
        uint64_t consumed = 0;
        std::string live, viewer;
        if (ReadRecordingHeader(file, &h, &consumed, &live) == 0) {
            live = std::to_string(h.num_chan);
            for (const auto& n : h.names) live += " " + (n.empty() ? "-" : n);
            live += h.file_value.empty() ? "" : " from " + h.file_value;
            EXPECT_EQ(consumed, c.file.size()) << c.file;
            EXPECT_EQ(int(h.names.size()), h.shown) << c.file;
        }
        RecordingData d;
        if (d.Load(file, &viewer)) {
            const RecordingInfo& i = d.info();
            viewer = std::to_string(d.channels()) + " " + i.names.back() +
                     (i.file_value.empty() ? "" : " from " + i.file_value);
        }
        EXPECT_EQ(live, c.live) << c.file;
        EXPECT_EQ(viewer, c.viewer) << c.file;
    }
}

TEST_F(RecordingReaderTest, DataPhaseRowsRatesAndMarkers) {
    Write(
        "#FILE=COM1\r\n#CHAN=3\r\n#NAME=A B C \r\n#XN=Time (sec)\r\n#F=0\r\n#XX=0,0.020000\r\n"
        "1.500000\t-2.000000\t0.000000\t\r\n"
        "#ERRSEQ\r\n"
        "4.000000 5.000000 6.000000\r\n"  // the recorder writer's separators
        "7.5\r\n"                         // short row: the others keep their values
        "\r\n"                            // empty row repeats the last values
        "#ERRSEQ\r\n#F=166.666667\r\n"
        "1e-3\t+2\t-0\t\r\n");
    Collect sink = Read();
    EXPECT_EQ(sink.rows,
              (Rows{{1.5, -2.0, 0.0}, {4, 5, 6}, {7.5, 5, 6}, {7.5, 5, 6}, {0.001, 2, 0}}));
    EXPECT_EQ(std::pair(sink.rates, sink.seq_errors), std::pair(std::vector{1.0, 166.666667}, 2));

    // Long rows are read whole and store fifteen values.
    std::string row;
    for (int c = 0; c < 40; ++c) row += std::to_string(c) + ".123456789012\t";
    ASSERT_GT(row.size(), 499u);
    Write("#CHAN=40\n#NAME=x\n" + row + "\n" + row + "\n");
    sink = Read();
    ASSERT_EQ(sink.rows.size(), 2u);
    ASSERT_EQ(sink.rows[1].size(), 15u);
    EXPECT_DOUBLE_EQ(sink.rows[1][14], 14.123456789012);
}

TEST_F(RecordingReaderTest, ALongRecordingParsesOnlyTheRowsThatCanBeShown) {
    std::string file = "#CHAN=3\n#NAME=A B C\n#F=50\n";
    for (int r = 0; r < 400000; ++r) {
        if (r == 1000 || r == 399990) file += "#ERRSEQ\n";
        if (r == 5000) file += "#F=125.000000\n";
        file += std::to_string(r) + ".5\t" + std::to_string(-r) + "\t1\n";
    }
    for (bool short_row : {false, true}) {
        // A short row near the end takes a value from before the tail: read the long way.
        Write(short_row ? file + "7\n" : file);
        RecordingFollower full, tail;
        ASSERT_TRUE(Open(&full) && Open(&tail));
        Collect all, newest;
        newest.tail = 4000;
        EXPECT_EQ(tail.Poll(newest), full.Poll(all));
        EXPECT_EQ(tail.consumed(), full.consumed());
        const long rows = long(all.rows.size());
        EXPECT_EQ(newest.skipped + long(newest.rows.size()), rows);
        EXPECT_EQ(newest.skipped, short_row ? 0 : rows - 4000);
        EXPECT_EQ(std::pair(newest.seq_errors, newest.rates), std::pair(2, all.rates));
        ASSERT_GE(newest.rows.size(), 4000u);
        EXPECT_TRUE(std::equal(all.rows.end() - 4000, all.rows.end(), newest.rows.end() - 4000));
    }
}

TEST_F(RecordingReaderTest, AFileCutAtEveryLengthNeverBreaksTheReader) {
    const std::string full =
        "#FILE=\r\n#INFO=File : 0001_(2013.05.17_14.03.09.120)\r\n#NAME=A B C\r\n#CHAN=3\r\n"
        "#XN=Time (sec)\r\n#XX=0,0.020000\r\n#F=50.000000\r\n"
        "1.000000 2.000000 3.000000\r\n#ERRSEQ\r\n-4.000000 5.500000 -6.250000\r\n";
    for (size_t len = 0; len <= full.size(); ++len) {
        Write(full.substr(0, len));
        Collect sink = Read();
        // Only complete lines count: a row appears once its line end has been written.
        size_t rows_complete = len >= full.size() ? 2 : len >= full.find("#ERRSEQ") ? 1 : 0;
        if (err.empty())
            EXPECT_EQ(sink.rows.size(), rows_complete) << len;
        else
            EXPECT_EQ(err, "Undefined NumChan & Name[]") << len;
    }
}

TEST_F(RecordingReaderTest, AFinishedFileIsReadToItsLastByte) {
    // Viewing a finished recording whose last line has no line end reads that line too;
    // following a live one waits for it.
    Write("#CHAN=2\r\n#NAME=A B\r\n1.0\t2.0\t\r\n3.5\t4.5");
    EXPECT_EQ(Read().rows.size(), 1u);
    EXPECT_EQ(Read(true).rows, (Rows{{1.0, 2.0}, {3.5, 4.5}}));

    // The header's own last line, too.
    Write("#CHAN=1\r\n#NAME=U");
    Read();
    EXPECT_EQ(err, "Undefined NumChan & Name[]");
    Read(true);
    EXPECT_EQ(std::pair(err, h.names), std::pair(std::string(), std::vector<std::string>{"U"}));
}

// A growing file is read line by line: a line still being written waits for its line
// end (CR LF or a bare LF). A line beyond the cap is skipped without being stored,
// reported once when its line end comes, and the rows around it keep their exact
// positions.
TEST_F(RecordingReaderTest, FollowsAGrowingFileLineByLine) {
    const std::string head = "#CHAN=2\r\n#NAME=A B \r\n",
                      junk(LineScanner::kMaxLineBytes + 10, '7');
    Write(head);
    RecordingFollower f;
    ASSERT_TRUE(Open(&f));
    Collect sink;
    EXPECT_EQ(f.Poll(sink), 0);
    Append("1.0\t2.0\t\r\n3.0\t4");  // the second row is still being written
    EXPECT_EQ(f.Poll(sink), 1);
    EXPECT_EQ(f.consumed(), head.size() + 10);
    Append(".5\t\n");  // finished with a bare LF
    EXPECT_EQ(f.Poll(sink), 1);
    EXPECT_EQ(f.Poll(sink), 0);
    EXPECT_EQ(f.consumed(), head.size() + 10 + 9);
    EXPECT_EQ(f.consumed(), f.file_length());
    Append(junk);  // skipped as it arrives, nothing reported yet
    EXPECT_EQ(f.Poll(sink), 0);
    EXPECT_EQ(sink.unreadable, 0);
    Append(junk + "\r\n2.5\r\n");
    EXPECT_EQ(f.Poll(sink), 2);
    EXPECT_EQ(sink.unreadable, 1);
    EXPECT_EQ(sink.rows, (Rows{{1.0, 2.0}, {3.0, 4.5}, {2.5, 4.5}}));
    EXPECT_EQ(f.consumed(), test::ReadFileBytes(path).size());
}

#ifndef _WIN32  // sparse files and getrusage as POSIX has them
TEST_F(RecordingReaderTest, ASparseHoleIsReadWithLittleMemory) {
    // A header, then a hole of 128 MB: read through once, in bounded memory, as one
    // unreadable line; both the header reader and the follower (and the bulk path that a
    // large backlog takes) stay within a few block sizes.
    const off_t hole = off_t(128) << 20;
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    Write("#CHAN=1\r\n#NAME=U\r\n1.5\r\n");
    ASSERT_EQ(truncate(path.c_str(), hole), 0);
    Append("\r\n2.5\r\n");
    Collect sink = Read();
    EXPECT_EQ(std::pair(sink.rows, sink.unreadable), std::pair(Rows{{1.5}, {2.5}}, 1));

    // A hole before "#NAME=": the header reader skips it the same way.
    Write("#CHAN=1\r\n");
    ASSERT_EQ(truncate(path.c_str(), hole), 0);
    Append("\r\n#NAME=U\r\n");
    uint64_t consumed = 0;
    ASSERT_EQ(ReadRecordingHeader(path, &h, &consumed), 0);
    EXPECT_EQ(consumed, uint64_t(hole) + 11);
    getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 32 * 1024) << "kilobytes";
}
#endif

TEST(NumberReader, ReadsEveryNumberAsStrtodDoesInTheCLocale) {
    std::vector<std::string> cases = {
        "0.000003", "-20.000000", "166.666667", "+1.5", "1e3",   "1E-3",   "-0",     ".5",
        "5.",       "inf",        "-Infinity",  "nan",  "1e999", "-1e999", "1e-400", "0x1.8p1",
        "0x",       "12abc",      "1e",         "+-1",  "--1",   "-",      ".",      "e5"};
    cases.push_back("1" + std::string(200, '0'));
    cases.push_back("0." + std::string(150, '0') + "123");
    for (const std::string& number : cases) {
        const char* text = number.c_str();
        char* ref_stop = nullptr;
        double ours = -12345.0, ref = std::strtod(text, &ref_stop);
        EXPECT_EQ(ParseDouble(text, text + number.size(), &ours), ref_stop) << text;
        EXPECT_TRUE(ref_stop == text || (std::isnan(ref) ? std::isnan(ours) : ours == ref)) << text;
    }
}

// The writers, read back by the readers above.
using RecordingWriterTest = RecordingReaderTest;

// Each writer's header byte for byte, and that both readers take it: the live window's
// follower starting at "#XN=" in either order, the viewer with the step written. (What
// they read from such lines: HeaderCases, RecordingDataTest.TheTimeStepComesFromXX...)
TEST_F(RecordingWriterTest, HeadersWrittenAndReadBack) {
    const std::string info = "File : 0002_(2026.11.25_03.41.55.020)", axis = "#XN=Time (sec)\r\n";
    const std::string live = "#FILE=COM1\r\n#CHAN=3\r\n#NAME=",
                      fault = "#FILE=\r\n#INFO=" + info + "\r\n";
    const std::vector<std::string> odd = {"", "a b", "x\ty\x7F"}, none;
    const std::vector<std::string> recorder = {"State*0.1", "Write*0.15", "Prot*0.2",
                                               "RF*0.25",   "Us",         "If"};
    struct Case {
        int divider;  // a live header by WriteLiveHeader, else a fault recording's
        const std::vector<std::string>& names;
        std::string bytes;
        double step;  // 0: neither reader takes the header
    } cases[] = {
        // A name must not split the line nor shift the others. (A plain one's bytes:
        // UnderARussianLocale.RecordingsAreWrittenAndReadWithThePoint.)
        {5, odd, live + "_ a_b x_y_ \r\n" + axis + "#F=100.000000\r\n#XX=0,0.010000\r\n", 0.01},
        {0, recorder,
         fault + "#NAME=State*0.1 Write*0.15 Prot*0.2 RF*0.25 Us If\r\n#CHAN=6\r\n" + axis +
             "#XX=0,0.004000\r\n#F=250.000000\r\n",
         0.004},
        {0, none, fault, 0},
    };
    for (const Case& c : cases) {
        if (c.divider) {
            FILE* f = std::fopen(path.c_str(), "wb");
            ASSERT_TRUE(WriteLiveHeader(f, "COM1", c.names, c.divider));
            std::fclose(f);
        } else {
            Write(RecordingHeaderText({true, "", info, c.names, 250, 0.004}));
        }
        EXPECT_EQ(test::ReadFileBytes(path), c.bytes);
        uint64_t consumed = 0;
        RecordingData d;
        ASSERT_EQ(ReadRecordingHeader(path, &h, &consumed, &err) == 0, c.step > 0);
        ASSERT_EQ(d.Load(path, &err), c.step > 0);
        if (c.step == 0) continue;
        EXPECT_EQ(consumed, c.bytes.find(axis));
        EXPECT_EQ(d.info().names, c.divider ? h.names : c.names);
        EXPECT_DOUBLE_EQ(d.step(), c.step);
    }
}

#ifndef _WIN32  // a file-size limit (RLIMIT_FSIZE) is POSIX
TEST_F(RecordingWriterTest, AFullDiskLeavesOnlyCompleteRows) {
    // Rows until the file cannot grow, in a child process whose files may grow to `limit`
    // bytes (writes beyond fail with EFBIG as on a full disk, SIGXFSZ ignored): the failed
    // row is cut away, so the file ends with the last complete row, whatever byte the
    // limit fell on.
    const std::string header =
        "#FILE=COM1\r\n#CHAN=2\r\n#NAME=A B \r\n#XN=Time (sec)\r\n#F=50.000000\r\n"
        "#XX=0,0.020000\r\n";
    const std::string row = "1.250000\t-3.500000\t\r\n";
    for (rlim_t limit : {rlim_t(300), rlim_t(333), rlim_t(350)}) {
        pid_t pid = fork();
        if (pid == 0) {
            signal(SIGXFSZ, SIG_IGN);
            rlimit rl{limit, limit};
            setrlimit(RLIMIT_FSIZE, &rl);
            FILE* f = std::fopen(path.c_str(), "wb");
            const double values[] = {1.25, -3.5};
            int rows = WriteLiveHeader(f, "COM1", {"A", "B"}, 10) ? 0 : 200;
            while (rows < 200 && WriteLiveRow(f, values, 2)) ++rows;
            _exit(errno == EFBIG ? rows : 201);  // the number of rows written
        }
        int status = 0;
        waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) < 200) << limit;
        std::string bytes = test::ReadFileBytes(path);
        EXPECT_EQ(bytes.size(), header.size() + size_t(WEXITSTATUS(status)) * row.size()) << limit;
        EXPECT_GT(bytes.size() + row.size(), size_t(limit)) << "every row that fitted is kept";
        EXPECT_EQ(bytes.substr(bytes.size() - row.size()), row) << limit;
    }
}
#endif

TEST(FormatFixed6, MatchesPrintfEverywhere) {
    char ours[340], ref[340];
    auto check = [&](double v) {
        std::snprintf(ref, sizeof ref, "%.6f", v);
        ASSERT_EQ(std::string(ours, FormatFixed6(v, ours)), ref) << v;
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
