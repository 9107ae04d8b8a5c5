// SPDX-License-Identifier: GPL-3.0-or-later
// The main window on Qt's offscreen platform: opening a long recording for viewing
// (until its last 4000 rows are plotted and the status line is right), against the
// naive line-by-line reader; and one live tick at 166.7 Hz with 15 channels (read the
// new rows, update the buffers, replot).
//
//   korvex_bench_viewer [--rows N] [--ticks N]
#include <stdlib.h>

#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "BenchDir.h"
#include "files/RecordingWriter.h"
#include "gui/Modes.h"

using namespace korvex;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kChannels = 15;

// Random values over the whole range (the worst case for drawing: every segment spans
// the plot) or signals like a regulator's: each channel a slow wave with some noise.
void AppendRows(FILE* f, long rows, std::mt19937& rng, bool smooth = false) {
    static long t = 0;
    std::uniform_real_distribution<double> d(-100.0, 100.0);
    std::normal_distribution<double> noise(0.0, 0.01);
    std::vector<char> buf(kChannels * kLiveRowBytesPerValue + 2);
    double v[kChannels];
    for (long r = 0; r < rows; ++r, ++t) {
        for (int c = 0; c < kChannels; ++c)
            v[c] = smooth ? 1.0 + c * 0.2 + 0.3 * std::sin(t * 0.006 * (1 + c % 4)) + noise(rng)
                          : d(rng);
        size_t n = FormatLiveRow(v, kChannels, buf.data());
        std::fwrite(buf.data(), 1, n, f);
    }
}

std::string MakeFile(const std::string& path, long rows, bool smooth = false) {
    FILE* f = std::fopen(path.c_str(), "wb");
    std::vector<std::string> names;
    for (int c = 0; c < kChannels; ++c) names.push_back("ch" + std::to_string(c));
    WriteLiveHeader(f, "COM1", names, 3);
    std::mt19937 rng(1);
    AppendRows(f, rows, rng, smooth);
    std::fclose(f);
    return path;
}

// The straightforward reader: one line at a time, one sscanf per value.
long NaiveRead(const std::string& path, double* last) {
    FILE* f = std::fopen(path.c_str(), "r");
    char line[500];
    long rows = 0;
    int seen = 0;
    while (seen < 2 && std::fgets(line, sizeof line, f))
        seen += !std::strncmp(line, "#CHAN=", 6) || !std::strncmp(line, "#NAME=", 6);
    while (std::fgets(line, sizeof line, f)) {
        if (line[0] == '#') continue;
        ++rows;
        char* p = line;
        for (int c = 0; c < kChannels; ++c) {
            std::sscanf(p, "%lf", &last[c]);
            while (*p >= 0x20) ++p;
            if (*p) ++p;
        }
    }
    std::fclose(f);
    return rows;
}

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Opens a recording for viewing; says why on failure.
bool OpenOrSay(gui::OscSession& session, const std::string& path) {
    std::string err;
    if (session.OpenFile(path, &err)) return true;
    std::fprintf(stderr, "korvex bench: %s: %s\n", path.c_str(), err.c_str());
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    long rows = 600000;
    int ticks = 300;
    for (int i = 1; i + 1 < argc; ++i) {
        if (!std::strcmp(argv[i], "--rows"))
            rows = std::atol(argv[++i]);
        else if (!std::strcmp(argv[i], "--ticks"))
            ticks = std::atoi(argv[++i]);
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    std::string dir = MakeBenchDir("/tmp/korvex-bench-XXXXXX");
    std::string big = MakeFile(dir + "/big.trd", rows);

    // Opening for viewing.
    std::vector<double> open_ms;
    QString status;
    for (int k = 0; k < 3; ++k) {
        auto t0 = Clock::now();
        auto session = std::make_unique<gui::OscSession>();
        if (!OpenOrSay(*session, big)) return 1;
        gui::LiveWindow window(std::move(session));
        window.show();
        window.session().Tick();
        open_ms.push_back(Ms(Clock::now() - t0));
        status = window.findChild<QLabel*>("statusLine")->text();
    }
    double last[kChannels];
    auto t0 = Clock::now();
    long naive_rows = NaiveRead(big, last);
    double naive_ms = Ms(Clock::now() - t0);
    FILE* f = std::fopen(big.c_str(), "rb");
    std::fseek(f, 0, SEEK_END);
    double mb = std::ftell(f) / 1048576.0;
    std::fclose(f);
    std::printf(
        "open %ld-row, %d-channel recording (%.1f MB) for viewing: median %.1f ms (target <= "
        "150)\n",
        rows, kChannels, mb, Median(open_ms));
    std::printf("  status line: %s\n", status.toUtf8().constData());
    std::printf(
        "  naive line-by-line reader: %.1f ms (%ld rows); naive / window = %.1f (target >= 10)\n",
        naive_ms, naive_rows, naive_ms / Median(open_ms));

    // Live ticks: 5 new rows per 30 ms tick at 166.7 Hz.
    std::string live = MakeFile(dir + "/live.trd", 5000, true);
    auto session = std::make_unique<gui::OscSession>();
    if (!OpenOrSay(*session, live)) return 1;
    gui::LiveWindow dlg(std::move(session));
    dlg.show();
    dlg.session().Tick();
    FILE* out = std::fopen(live.c_str(), "ab");
    std::mt19937 rng(2);
    std::vector<double> tick_ms;
    for (int k = 0; k < ticks; ++k) {
        AppendRows(out, 5, rng, true);
        std::fflush(out);
        auto a = Clock::now();
        dlg.session().Tick();
        tick_ms.push_back(Ms(Clock::now() - a));
        app.processEvents();
    }
    std::fclose(out);
    std::sort(tick_ms.begin(), tick_ms.end());
    std::printf(
        "live tick, 15 channels of regulator-like signals, 5 rows per tick, replot included: "
        "median %.2f ms, "
        "95th percentile %.2f ms (target: median <= 5)\n",
        tick_ms[tick_ms.size() / 2], tick_ms[tick_ms.size() * 95 / 100]);
    // The same with random values over the whole range, every segment spanning the plot.
    std::vector<double> worst_ms;
    out = std::fopen(live.c_str(), "ab");
    for (int k = 0; k < ticks / 3; ++k) {
        AppendRows(out, 5, rng, false);
        std::fflush(out);
        auto a = Clock::now();
        dlg.session().Tick();
        worst_ms.push_back(Ms(Clock::now() - a));
        app.processEvents();
    }
    std::fclose(out);
    std::printf("  with random values over +-100 (worst case for drawing): median %.2f ms\n",
                Median(worst_ms));
    std::string rm = "rm -rf " + dir;
    (void)!std::system(rm.c_str());
    return 0;
}
