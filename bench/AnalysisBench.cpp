// SPDX-License-Identifier: GPL-3.0-or-later
// The commissioning analyses on an hour at 166.7 Hz (600,000 rows):
//  - each analysis of the whole window against one plain pass over it (its mean and
//    standard deviation) in the same run;
//  - korvex-view's Analysis dock following the cursors over that window in a 15-channel
//    recording: the GUI thread's longest stall meanwhile, from a 5 ms timer that records
//    how late it fires (offscreen), as the recorder benchmark measures it.
//
//   korvex_bench_analysis [--rows N] [--runs N]
#include <stdlib.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "BenchDir.h"
#include "analysis/OscillationModes.h"
#include "analysis/Spectrum.h"
#include "analysis/StepResponse.h"
#include "files/RecordingWriter.h"
#include "gui/AnalysisDock.h"
#include "gui/ViewerPlot.h"
#include "gui/ViewerSession.h"
#include "gui/ViewerWindow.h"

using namespace korvex;
using Clock = std::chrono::steady_clock;

namespace {

constexpr double kRate = 166.7;

// A step of 5 at a tenth of the window, its ring-down at 1.1 Hz (damping ratio 0.1), and
// noise of 0.3 % of the step.
std::vector<double> TestSignal(size_t rows) {
    std::mt19937 rng(3);
    std::normal_distribution<double> noise(0, 0.015);
    std::vector<double> v(rows);
    const double at = double(rows / 10) / kRate, w = 2 * std::numbers::pi * 1.1;
    for (size_t i = 0; i < rows; ++i) {
        const double t = double(i) / kRate - at;
        v[i] = 100 + noise(rng) + (t < 0 ? 0 : 5 - 5 * std::exp(-0.1 * w * t) * std::cos(w * t));
    }
    return v;
}

double MedianMs(int runs, const std::function<void()>& f) {
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = Clock::now();
        f();
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    size_t rows = 600000;
    int runs = 5;
    for (int i = 1; i + 1 < argc; ++i) {
        if (!std::strcmp(argv[i], "--rows"))
            rows = size_t(std::atol(argv[++i]));
        else if (!std::strcmp(argv[i], "--runs"))
            runs = std::atoi(argv[++i]);
    }
    const std::vector<double> v = TestSignal(rows);
    const SignalWindow window{v.data(), v.size(), 1 / kRate, 0};
    volatile double sink = 0;
    const double pass = MedianMs(runs, [&] {
        double s = 0, q = 0;
        for (double x : v) s += x;
        const double mean = s / double(v.size());
        for (double x : v) q += (x - mean) * (x - mean);
        sink = sink + q;
    });
    std::printf("window: %zu rows at %.1f Hz; median of %d runs\n", rows, kRate, runs);
    std::printf("  one pass (mean and sd):  %8.2f ms (the baseline)\n", pass);
    bool ok = true;
    auto report = [&](const char* name, const std::function<bool()>& f) {
        const double ms = MedianMs(runs, [&] { ok = f() && ok; });
        std::printf("  %-23s %8.2f ms = %6.1f x the pass (target <= 200 ms)\n", name, ms,
                    ms / pass);
    };
    report("step response:", [&] {
        StepResult r;
        return AnalyzeStep(window, {}, &r, nullptr);
    });
    report("oscillation modes:", [&] {
        OscillationResult r;
        return AnalyzeOscillation(window, {}, &r, nullptr);
    });
    report("spectrum:", [&] {
        SpectrumResult r;
        return AnalyzeSpectrum(window, {}, &r, nullptr);
    });

    // The dock, on a 15-channel recording whose first channel is the test signal.
    QApplication app(argc, argv);
    const std::string dir = MakeBenchDir("/tmp/korvex-analysis-XXXXXX");
    const std::string path = dir + "/step.trd";
    {
        FILE* f = std::fopen(path.c_str(), "wb");
        std::vector<std::string> names;
        for (int c = 0; c < 15; ++c) names.push_back("ch" + std::to_string(c));
        WriteLiveHeader(f, "COM1", names, 3);
        std::vector<char> buf(15 * kLiveRowBytesPerValue + 2);
        std::vector<double> row(15, 0.0);
        for (size_t r = 0; r < rows; ++r) {
            row[0] = v[r];
            for (int c = 1; c < 15; ++c) row[size_t(c)] = std::sin(double(r + size_t(c)) * 0.01);
            std::fwrite(buf.data(), 1, FormatLiveRow(row.data(), 15, buf.data()), f);
        }
        std::fclose(f);
    }
    qputenv("QT_LOGGING_RULES", "qt.qpa.*=false");
    gui::ViewerWindow viewer;
    viewer.show();
    QSignalSpy loaded(&viewer, &gui::ViewerWindow::loaded);
    viewer.Open(QString::fromStdString(path));
    if (!loaded.wait(60000)) return 1;
    gui::AnalysisDock* dock = viewer.analysis();
    dock->show();
    QSignalSpy results(dock, &gui::AnalysisDock::resultChanged);
    const long last = long(viewer.session()->data().rows()) - 1;

    QElapsedTimer since;
    double stall = 0;
    QTimer timer;
    timer.setInterval(5);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        stall = std::max(stall, double(since.nsecsElapsed()) / 1e6 - 5);
        since.restart();
    });
    since.start();
    timer.start();
    // Each round moves both cursors (the window's channel readings over A..B follow too,
    // on the GUI thread) with one analysis chosen, then switches to the two others.
    int updates = 0;
    double moved = 0, switched[3] = {0, 0, 0};
    for (int round = 0; round < 3 * runs; ++round)
        for (int i = 0; i < 3; ++i) {
            const int kind = (dock->kind_box()->currentIndex() + (i ? 1 : 0)) % 3;
            results.clear();
            stall = 0;
            if (i == 0) {
                viewer.plot()->SetCursor(gui::ViewerPlot::kCursorA, round % 2);
                viewer.plot()->SetCursor(gui::ViewerPlot::kCursorB, last - round);
            } else {
                dock->kind_box()->setCurrentIndex(kind);
            }
            if (!results.wait(10000)) return 1;
            QTest::qWait(50);  // the marks, the table and the spectrum drawn
            (i == 0 ? moved : switched[kind]) = std::max(i == 0 ? moved : switched[kind], stall);
            ++updates;
        }
    timer.stop();
    std::printf(
        "dock over all %zu rows of 15 channels, %d updates; the GUI thread's longest "
        "stall (target <= 50 ms):\n  cursors moved (with the window's readings): %.1f "
        "ms\n  switched to a step response %.1f ms, to the modes %.1f ms, to a spectrum "
        "%.1f ms\n",
        rows, updates, moved, switched[0], switched[1], switched[2]);
    std::string clean = "rm -rf '" + dir + "'";
    if (std::system(clean.c_str()) != 0) return 1;
    return ok ? 0 : 1;
}
