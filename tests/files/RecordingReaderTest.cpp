// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/ErrorCapture.h"
#include "files/LineScanner.h"
#include "files/NumberParse.h"
#include "files/RecordingData.h"
#include "files/RecordingFollower.h"
#include "files/RecordingHeader.h"

namespace korvex {
namespace {

struct Collect : RowSink {
    void OnRow(const double* v, int n) override { rows.emplace_back(v, v + n); }
    void OnSampleRate(double r) override { rates.push_back(r); }
    void OnSeqError() override { ++seq_errors; }
    void OnUnreadableLine() override { ++unreadable; }
    std::vector<std::vector<double>> rows;
    std::vector<double> rates;
    int seq_errors = 0;
    int unreadable = 0;
};

class RecordingReaderTest : public ::testing::Test {
protected:
    void Write(const std::string& bytes) { test::WriteFileBytes(path, bytes); }
    void Append(const std::string& bytes) {
        FILE* f = std::fopen(path.c_str(), "ab");
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    // Reads the header and opens the follower where it ended.
    int Open(RecordingFollower* f, RecordingHeader* h, std::string* err = nullptr,
             bool finished = false) {
        uint64_t consumed = 0;
        if (ReadRecordingHeader(path, h, &consumed, err, finished) != 0) return 1;
        if (!f->Open(path, consumed, h->shown, err)) return 1;
        f->set_finished(finished);
        return 0;
    }
    // Reads the header and the whole data phase.
    int ReadAll(RecordingHeader* h, Collect* sink, std::string* err, bool finished = false) {
        RecordingFollower f;
        if (Open(&f, h, err, finished) != 0) return 1;
        f.Poll(*sink);
        return 0;
    }

    test::TempDir tmp;
    std::string path = tmp.path() + "/r.trd";
};

// Every header as both readers take it: the live window's (ReadRecordingHeader: needs
// "#CHAN=" and "#NAME=", ends after the line completing them) and the viewer's
// (RecordingData: needs one of them, ends at the first row). What each read: the live
// window's count and shown names ("-" for none), the viewer's count and last name, and
// "from" the "#FILE=" value; else the message.
TEST_F(RecordingReaderTest, HeaderCases) {
    const std::string undefined = "Undefined NumChan & Name[]", bad_count = "NumChan<=0";
    const std::string dashes = " - - - - - - - - - - - - - -", p150(150, 'p');
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
        {"\xEF\xBB\xBF#CHAN=1\r\n#NAME=U\r\n", "1 U", "1 U"},
        {"\xEF\xBB\xBF#FILE=COM3\r\n#NAME=U\r\n#CHAN=1\r\n", "1 - from COM3", "1 U from COM3"},
        // Rows before the header belong to no recording; "#CHAN=" is read as strtod does.
        {"1 2\r\n#CHAN=2\r\n#NAME=A\tB\r\n", "2 A B", "2 B"},
        {"#CHAN= 0x10\r\n#NAME=A\r\n", "16 A" + dashes, "16 Channel 16"},
        {"#CHAN=1e5\r\n#NAME=A\r\n", "100000 A" + dashes, "Too many channels (4097)"},
        // The viewer needs one of "#CHAN=" and "#NAME=", the live window both.
        {"#FILE=COM1\r\n#CHAN=3\r\n", undefined, "3 Channel 3 from COM1"},
        {"#NAME=A B\r\n1 2\r\n", undefined, "2 B"},
        {"", undefined, undefined},
        {"#FILE=x\r\n1 2 3\r\n", undefined, undefined},
        {"#NAME=A\r\n#CHAN=0\r\n", bad_count, bad_count},
        {"#CHAN=-3\r\n", bad_count, bad_count},
        {"#CHAN=nan\r\n#NAME=A\r\n1\r\n", bad_count, bad_count},
        // The live window's file line holds 100 characters of "#FILE=", the viewer's all.
        {"#FILE=" + p150 + "\r\n#CHAN=1\r\n#NAME=U\r\n", "1 U from " + p150.substr(50),
         "1 U from " + p150},
    };
    auto from = [](const std::string& file_value) {
        return file_value.empty() ? std::string() : " from " + file_value;
    };
    for (const auto& c : cases) {
        Write(c.file);
        RecordingHeader h;
        uint64_t consumed = 0;
        std::string live, viewer;
        if (ReadRecordingHeader(path, &h, &consumed, &live) == 0) {
            live = std::to_string(h.num_chan);
            for (const auto& n : h.names) live += " " + (n.empty() ? "-" : n);
            live += from(h.file_value);
            EXPECT_EQ(consumed, c.file.size()) << c.file;
            EXPECT_EQ(int(h.names.size()), h.shown) << c.file;
        }
        RecordingData d;
        if (d.Load(path, &viewer))
            viewer = std::to_string(d.channels()) + " " + d.info().names.back() +
                     from(d.info().file_value);
        EXPECT_EQ(live, c.live) << c.file;
        EXPECT_EQ(viewer, c.viewer) << c.file;
    }
    const std::string none = tmp.path() + "/none.trd";
    RecordingHeader h;
    uint64_t consumed;
    RecordingData d;
    std::string live, viewer;
    EXPECT_EQ(ReadRecordingHeader(none, &h, &consumed, &live), 1);
    EXPECT_FALSE(d.Load(none, &viewer));
    EXPECT_EQ(live, "Open File '" + none + "' error");
    EXPECT_EQ(viewer, live);
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
    RecordingHeader h;
    Collect sink;
    std::string err;
    ASSERT_EQ(ReadAll(&h, &sink, &err), 0) << err;
    EXPECT_EQ(sink.rows,
              (std::vector<std::vector<double>>{
                  {1.5, -2.0, 0.0}, {4, 5, 6}, {7.5, 5, 6}, {7.5, 5, 6}, {0.001, 2, 0}}));
    EXPECT_EQ(sink.rates, (std::vector<double>{1.0, 166.666667}));
    EXPECT_EQ(sink.seq_errors, 2);
}

TEST_F(RecordingReaderTest, LongRowsAreReadWholeAndStoreFifteenValues) {
    std::string row;
    for (int c = 0; c < 40; ++c) row += std::to_string(c) + ".123456789012\t";
    ASSERT_GT(row.size(), 499u);
    Write("#CHAN=40\n#NAME=x\n" + row + "\n" + row + "\n");
    RecordingHeader h;
    Collect sink;
    std::string err;
    ASSERT_EQ(ReadAll(&h, &sink, &err), 0) << err;
    ASSERT_EQ(sink.rows.size(), 2u);
    ASSERT_EQ(sink.rows[1].size(), 15u);
    EXPECT_DOUBLE_EQ(sink.rows[1][14], 14.123456789012);
}

TEST_F(RecordingReaderTest, FollowsAGrowingFileLineByLine) {
    std::string head = "#CHAN=2\r\n#NAME=A B \r\n";
    Write(head);
    RecordingHeader h;
    RecordingFollower f;
    ASSERT_EQ(Open(&f, &h), 0);
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
    ASSERT_EQ(sink.rows.size(), 2u);
    EXPECT_EQ(sink.rows[1], (std::vector<double>{3.0, 4.5}));
}

struct TailOnly : Collect {
    size_t TailRowsNeeded() const override { return 4000; }
    void OnRowsSkipped(long n) override { skipped += n; }
    long skipped = 0;
};

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
        RecordingHeader h;
        RecordingFollower full, tail;
        ASSERT_EQ(Open(&full, &h), 0);
        ASSERT_EQ(Open(&tail, &h), 0);
        Collect all;
        TailOnly newest;
        long lines = full.Poll(all);
        EXPECT_EQ(tail.Poll(newest), lines);
        EXPECT_EQ(tail.consumed(), full.consumed());
        EXPECT_EQ(newest.skipped + long(newest.rows.size()), long(all.rows.size()));
        EXPECT_EQ(newest.skipped, short_row ? 0 : long(all.rows.size()) - 4000);
        EXPECT_EQ(newest.seq_errors, 2);
        EXPECT_EQ(newest.rates, all.rates);
        ASSERT_GE(newest.rows.size(), 4000u);
        for (size_t k = 1; k <= 4000; ++k)
            ASSERT_EQ(newest.rows[newest.rows.size() - k], all.rows[all.rows.size() - k]) << k;
    }
}

TEST_F(RecordingReaderTest, AFileCutAtEveryLengthNeverBreaksTheReader) {
    const std::string full =
        "#FILE=\r\n#INFO=File : 0001_(2013.05.17_14.03.09.120)\r\n#NAME=A B C\r\n#CHAN=3\r\n"
        "#XN=Time (sec)\r\n#XX=0,0.020000\r\n#F=50.000000\r\n"
        "1.000000 2.000000 3.000000\r\n#ERRSEQ\r\n-4.000000 5.500000 -6.250000\r\n";
    for (size_t len = 0; len <= full.size(); ++len) {
        std::string cut = full.substr(0, len);
        Write(cut);
        RecordingHeader h;
        Collect sink;
        std::string err;
        int rc = ReadAll(&h, &sink, &err);
        if (rc != 0) {
            EXPECT_EQ(err, "Undefined NumChan & Name[]") << len;
            continue;
        }
        // Only complete lines count: a row appears once its line end has been written.
        size_t rows_complete = len >= full.size() ? 2 : len >= full.find("#ERRSEQ") ? 1 : 0;
        EXPECT_EQ(sink.rows.size(), rows_complete) << len;
        if (len == full.size()) {
            ASSERT_EQ(sink.rows.size(), 2u);
            EXPECT_EQ(sink.rows[1], (std::vector<double>{-4.0, 5.5, -6.25}));
            EXPECT_EQ(sink.seq_errors, 1);
        }
    }
}

TEST_F(RecordingReaderTest, AFinishedFileIsReadToItsLastByte) {
    // Viewing a finished recording whose last line has no line end reads that line too;
    // following a live one waits for it.
    Write("#CHAN=2\r\n#NAME=A B\r\n1.0\t2.0\t\r\n3.5\t4.5");
    RecordingHeader h;
    Collect live, finished;
    std::string err;
    ASSERT_EQ(ReadAll(&h, &live, &err), 0);
    ASSERT_EQ(ReadAll(&h, &finished, &err, true), 0);
    EXPECT_EQ(live.rows.size(), 1u);
    ASSERT_EQ(finished.rows.size(), 2u);
    EXPECT_EQ(finished.rows[1], (std::vector<double>{3.5, 4.5}));

    // The header's own last line, too.
    Write("#CHAN=1\r\n#NAME=U");
    EXPECT_EQ(ReadAll(&h, &live, &err), 1);
    EXPECT_EQ(err, "Undefined NumChan & Name[]");
    ASSERT_EQ(ReadAll(&h, &finished, &err, true), 0);
    EXPECT_EQ(h.names[0], "U");
}

TEST_F(RecordingReaderTest, LinesTooLongToBeRowsAreSkippedAndCounted) {
    // A line beyond the cap is skipped without being stored, reported once when its line
    // end comes, and the rows around it keep their exact positions.
    std::string junk(LineScanner::kMaxLineBytes + 10, '7');
    Write("#CHAN=1\r\n#NAME=U\r\n1.5\r\n");
    RecordingHeader h;
    RecordingFollower f;
    ASSERT_EQ(Open(&f, &h), 0);
    Collect sink;
    EXPECT_EQ(f.Poll(sink), 1);
    Append(junk);  // still running: skipped as it arrives, nothing reported yet
    EXPECT_EQ(f.Poll(sink), 0);
    EXPECT_EQ(sink.unreadable, 0);
    Append(junk + "\r\n2.5\r\n");
    EXPECT_EQ(f.Poll(sink), 2);
    EXPECT_EQ(sink.unreadable, 1);
    ASSERT_EQ(sink.rows.size(), 2u);
    EXPECT_EQ(sink.rows[1][0], 2.5);
    EXPECT_EQ(f.consumed(), test::ReadFileBytes(path).size());
}

#ifndef _WIN32  // sparse files and getrusage as POSIX has them
TEST_F(RecordingReaderTest, ASparseHoleIsReadWithLittleMemory) {
    // A header, then a hole of 128 MB: read through once, in bounded memory, as one
    // unreadable line; both the header reader and the follower (and the bulk path that a
    // large backlog takes) stay within a few block sizes.
    Write("#CHAN=1\r\n#NAME=U\r\n1.5\r\n");
    const off_t hole = off_t(128) << 20;
    ASSERT_EQ(truncate(path.c_str(), hole), 0);
    Append("\r\n2.5\r\n");
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    RecordingHeader h;
    Collect sink;
    std::string err;
    ASSERT_EQ(ReadAll(&h, &sink, &err), 0);
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 32 * 1024) << "kilobytes";
    ASSERT_EQ(sink.rows.size(), 2u);
    EXPECT_EQ(sink.rows[1][0], 2.5);
    EXPECT_EQ(sink.unreadable, 1);

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
        const char* end = text + std::strlen(text);
        double ours = -12345.0;
        const char* stop = ParseDouble(text, end, &ours);
        char* ref_stop = nullptr;
        double ref = std::strtod(text, &ref_stop);
        EXPECT_EQ(stop - text, ref_stop - text) << text;
        if (ref_stop != text) {
            if (std::isnan(ref))
                EXPECT_TRUE(std::isnan(ours)) << text;
            else
                EXPECT_EQ(ours, ref) << text;
        }
    }
}

}  // namespace
}  // namespace korvex
