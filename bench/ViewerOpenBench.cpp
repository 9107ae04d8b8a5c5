// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer on Qt's offscreen platform with a 600,000-row, 15-channel live recording:
// opening it until the whole file is drawn, a pan or zoom frame anywhere from the whole
// file down to 100 rows (against the same frames on a 4000-row file), the resident
// size once it is open, and opening the same rows as a COMTRADE BINARY record.
//
//   korvex_bench_view [--rows N] [--frames N]
#include <stdlib.h>
#include <unistd.h>

#include <QApplication>
#include <QSignalSpy>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "BenchDir.h"
#include "files/ComtradeExport.h"
#include "files/RecordingData.h"
#include "gui/ViewerPlot.h"
#include "gui/ViewerSession.h"
#include "gui/ViewerWindow.h"

#include "RandomRecording.h"

using namespace korvex;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kChannels = 15;

double Ms(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

double Percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size())))];
}

double ResidentMb() {
    FILE* f = std::fopen("/proc/self/status", "r");
    char line[256];
    long kb = 0;
    while (f && std::fgets(line, sizeof line, f))
        if (!std::strncmp(line, "VmRSS:", 6)) kb = std::atol(line + 6);
    if (f) std::fclose(f);
    return double(kb) * 1024 / 1e6;
}

// Opens the file in a new window and returns the milliseconds until the whole file is
// drawn.
double OpenAndDraw(gui::ViewerWindow*& window, const std::string& path) {
    window = new gui::ViewerWindow;
    window->resize(1100, 760);  // the size the figures have always been taken at
    window->show();
    QApplication::processEvents();
    QSignalSpy loaded(window, &gui::ViewerWindow::loaded);
    auto t0 = Clock::now();
    window->Open(QString::fromStdString(path));
    if (!loaded.wait(30000) || !loaded.at(0).at(0).toString().isEmpty()) std::abort();
    window->plot()->replot(QCustomPlot::rpImmediateRefresh);
    return Ms(t0, Clock::now());
}

// Frames at zoom levels from the whole file down to 100 rows, each at a random place.
std::vector<double> Frames(gui::ViewerWindow* window, int count) {
    gui::ViewerPlot* plot = window->plot();
    const RecordingData& data = window->session()->data();
    std::mt19937 rng(7);
    std::vector<double> times;
    double whole = double(data.rows()), least = 100;
    for (int i = 0; i < count; ++i) {
        double rows = whole * std::pow(least / whole, double(i % 20) / 19.0);
        if (getenv("KORVEX_BENCH_LEVEL")) rows = std::atof(getenv("KORVEX_BENCH_LEVEL"));
        std::uniform_real_distribution<double> at(0, whole - rows);
        double from = at(rng) * data.step();
        auto t0 = Clock::now();
        plot->SetView(QCPRange(from, from + rows * data.step()), false);
        plot->replot(QCustomPlot::rpImmediateRefresh);
        times.push_back(Ms(t0, Clock::now()));
        if (getenv("KORVEX_BENCH_LEVELS") && i < 20)
            std::printf("  %9.0f rows in view: %.2f ms\n", rows, times.back());
    }
    return times;
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    long rows = 600000;
    int frames = 400;
    for (int i = 1; i + 1 < argc; ++i) {
        if (!std::strcmp(argv[i], "--rows"))
            rows = std::atol(argv[++i]);
        else if (!std::strcmp(argv[i], "--frames"))
            frames = std::atoi(argv[++i]);
    }
    QApplication app(argc, argv);
    std::string dir = MakeBenchDir("/tmp/korvex-view-XXXXXX");
    std::string big = WriteRandomRecording(dir + "/big.trd", rows);
    std::string small = WriteRandomRecording(dir + "/small.trd", 4000);
    {  // the page cache warm, as for a file just recorded
        std::string warm = "cat '" + big + "' > /dev/null";
        if (std::system(warm.c_str()) != 0) return 1;
    }
    double columns_mb = double(rows) * kChannels * 8 / 1e6;
    std::printf("recording: %ld rows, %d channels (%.1f MB of columns), window 1100 x 760\n", rows,
                kChannels, columns_mb);

    double before = ResidentMb();
    gui::ViewerWindow* window = nullptr;
    double first = OpenAndDraw(window, big);
    double resident = ResidentMb();
    std::vector<double> big_frames = Frames(window, frames);
    delete window;

    gui::ViewerWindow* small_window = nullptr;
    OpenAndDraw(small_window, small);
    std::vector<double> small_frames = Frames(small_window, frames);
    delete small_window;

    std::vector<double> opens = {first};
    for (int i = 0; i < 4; ++i) {
        opens.push_back(OpenAndDraw(window, big));
        delete window;
    }
    // The same rows as a COMTRADE BINARY record, opened as often.
    std::vector<double> record_opens;
    {
        RecordingData data;
        std::string error;
        if (!data.Load(big, &error) ||
            !ExportComtrade(data, 0, data.rows(), dir + "/big", true, false, &error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
        std::string warm = "cat '" + dir + "/big.dat' > /dev/null";
        if (std::system(warm.c_str()) != 0) return 1;
    }
    for (int i = 0; i < 5; ++i) {
        record_opens.push_back(OpenAndDraw(window, dir + "/big.cfg"));
        delete window;
    }
    std::printf(
        "open until the whole file is drawn: first %.1f ms, median of %zu %.1f ms (target <= "
        "250)\n",
        first, opens.size(), Percentile(opens, 0.5));
    std::printf("the same rows as a COMTRADE BINARY record: median of %zu %.1f ms, %.2f x the "
                "recording's\n",
                record_opens.size(), Percentile(record_opens, 0.5),
                Percentile(record_opens, 0.5) / Percentile(opens, 0.5));
    std::printf("pan/zoom frame, whole file down to 100 rows, %d frames:\n", frames);
    std::printf("  600,000 rows: median %.2f ms, p95 %.2f ms, max %.2f ms (target median <= 16)\n",
                Percentile(big_frames, 0.5), Percentile(big_frames, 0.95),
                Percentile(big_frames, 1.0));
    std::printf("  4,000 rows:   median %.2f ms, p95 %.2f ms; 600,000 / 4,000 = %.2f\n",
                Percentile(small_frames, 0.5), Percentile(small_frames, 0.95),
                Percentile(big_frames, 0.5) / Percentile(small_frames, 0.5));
    std::printf(
        "resident size once open: %.1f MB (before opening %.1f MB); limit 1.3 x %.1f + 40 = %.1f "
        "MB\n",
        resident, before, columns_mb, 1.3 * columns_mb + 40);
    std::string cleanup = "rm -rf '" + dir + "'";
    return std::system(cleanup.c_str()) == 0 ? 0 : 1;
}
