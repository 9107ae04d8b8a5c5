// SPDX-License-Identifier: GPL-3.0-or-later
// The fault recorder, end to end, against the paced simulated regulator:
//  - reading a 200-sector recording at 230400 baud (select, read, validate, convert,
//    write) against the ideal wire time of its exchanges, and against libmodbus making
//    the same exchanges in the same run without validating or writing anything; the
//    reader thread's CPU time against the wall time;
//  - the first poll of a 512-entry table at 115200 baud through the recorder session:
//    the GUI thread's longest stall meanwhile, from a 5 ms timer that records how late
//    it fires (offscreen).
//
//   korvex_bench_recorder [--sectors N] [--rounds N]
#include <errno.h>
#include <modbus/modbus.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "BenchRegulator.h"
#include "app/ErrorReport.h"
#include "gui/RecorderDialog.h"
#include "gui/RecorderSession.h"
#include "link/ModBus.h"
#include "link/ModeSwitch.h"
#include "recorder/RecorderLink.h"
#include "recorder/RecordingReader.h"
#include "sim/Regulator.h"

using namespace korvex;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double ThreadCpuSeconds() {
    rusage ru{};
    getrusage(RUSAGE_THREAD, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// Bytes on the line of reading `sectors` sectors: the recording selected once (write
// single register and its echo), then per sector the sector selected (write multiple
// registers, 11 bytes, and its 8-byte answer) and three reads (8-byte requests,
// answers of 5 + 2 N bytes); 11 bits per character at even parity.
double WireMs(int sectors, uint32_t baud) {
    const int per_sector = 11 + 8 + (8 + 5 + 2 * 86) * 2 + (8 + 5 + 2 * 84);
    return (16 + double(per_sector) * sectors) * 11 * 1000.0 / baud;
}

}  // namespace

int main(int argc, char** argv) {
    int sectors = 200, rounds = 3;
    for (int i = 1; i + 1 < argc; ++i) {
        if (!std::strcmp(argv[i], "--sectors")) sectors = std::atoi(argv[++i]);
        if (!std::strcmp(argv[i], "--rounds")) rounds = std::atoi(argv[++i]);
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    BenchRegulator regulator;
    sim::SimRegulator& sim = regulator.sim;
    sim::RegulatorModel& model = regulator.model;
    model.recorder->faults->busy_ms = 0;
    model.recorder->Clear();
    sim::SimRecording rec;
    rec.div = 2;
    rec.nchan = 12;
    rec.sectors = sectors;
    rec.scenario = sim::RecordingScenario::kNetworkDip;
    rec.start = {2026, 12, 6, 10, 0, 0, 0};
    model.recorder->Add(rec);
    uint16_t words[5];
    model.recorder->EntryWords(0, words);
    RecorderFileEntry entry = DecodeFileEntry(words);
    const uint32_t baud = 230400;

    std::vector<double> ours, theirs, cpu_share;
    for (int round = 0; round < rounds; ++round) {
        LinkSettings settings;
        settings.port_name = sim.port_path();
        settings.av_baud = baud;
        std::vector<std::string> messages;
        RecorderLink link = OpenRecorder(settings, &messages);
        if (!link.port) return 1;
        StopToken stop;
        RecorderReadResult result;
        double cpu = 0;
        auto t0 = Clock::now();
        std::thread reader([&] {
            result = ReadRecording(link.port, 0, entry, stop, {});
            cpu = ThreadCpuSeconds();
        });
        reader.join();
        double ms = Ms(Clock::now() - t0);
        if (!result.messages.empty() || result.sectors != sectors) {
            std::fprintf(stderr, "read failed: %s\n",
                         result.messages.empty() ? "short" : result.messages[0].c_str());
            return 1;
        }
        ours.push_back(ms);
        cpu_share.push_back(cpu * 1000.0 / ms);
        CloseRecorder(&link, &messages);

        // libmodbus, the same exchanges, on the regulator switched the same way.
        std::string err;
        RS232Port* port =
            TSR_RS232_Open_ModBus(settings.port_name, kKeyRecorder230400, baud, kParityEven, &err);
        if (!port) return 1;
        RS232_Close(port);
        modbus_t* ctx = modbus_new_rtu(settings.port_name.c_str(), int(baud), 'E', 8, 1);
        modbus_set_slave(ctx, 1);
        if (modbus_connect(ctx) != 0) {
            std::fprintf(stderr, "libmodbus: %s\n", modbus_strerror(errno));
            return 1;
        }
        uint16_t v[125];
        t0 = Clock::now();
        bool ok = modbus_write_register(ctx, 0x8100, 0) == 1;
        for (int s = 0; ok && s < sectors; ++s) {
            uint16_t sector = uint16_t(s);
            ok = modbus_write_registers(ctx, 0x8101, 1, &sector) == 1 &&
                 modbus_read_registers(ctx, 0x8200, 86, v) == 86 &&
                 modbus_read_registers(ctx, 0x8256, 86, v) == 86 &&
                 modbus_read_registers(ctx, 0x82AC, 84, v) == 84;
        }
        if (!ok) {
            std::fprintf(stderr, "libmodbus: %s\n", modbus_strerror(errno));
            return 1;
        }
        theirs.push_back(Ms(Clock::now() - t0));
        modbus_close(ctx);
        modbus_free(ctx);
        port = RS232_Open(settings.port_name, baud, kParityEven, 0, 1000, 0);
        TSR_RS232_exit_ModBus(port);
    }
    const double wire = WireMs(sectors, baud);
    std::printf("read a %d-sector, 12-channel recording at %u baud, medians of %d rounds:\n",
                sectors, baud, rounds);
    std::printf("  wire time of its exchanges    %8.1f ms\n", wire);
    std::printf("  korvex, end to end            %8.1f ms   %.3f x wire (target <= 1.03)\n",
                Median(ours), Median(ours) / wire);
    std::printf("  libmodbus, exchanges only     %8.1f ms   %.3f x wire\n", Median(theirs),
                Median(theirs) / wire);
    std::printf("  korvex / libmodbus            %.3f (target <= 1.0)\n",
                Median(ours) / Median(theirs));
    std::printf("  reader thread CPU             %.2f %% of the wall time (target <= 5 %%)\n",
                Median(cpu_share) * 100);

    // The first poll of a full table, through the session.
    model.recorder->Clear();
    for (int i = 0; i < 512; ++i) {
        sim::SimRecording r;
        r.sectors = 10 + i;
        r.start = {2026, 1 + i % 12, 1 + i % 28, i % 24, i % 60, i % 60, i % 1000};
        model.recorder->Add(r);
    }
    LinkSettings settings;
    settings.port_name = sim.port_path();
    settings.av_baud = 115200;
    // The window as the program shows it: it applies the 512 rows and paints them while
    // the GUI thread's gaps are measured.
    gui::RecorderSession session;
    std::unique_ptr<gui::RecorderDialog> dialog;
    bool polled = false;
    double poll_ms = 0;
    QElapsedTimer poll_clock;
    QObject::connect(&session, &gui::RecorderSession::opened, [&] {
        poll_clock.start();
        dialog = std::make_unique<gui::RecorderDialog>(session);
        dialog->show();
    });
    QObject::connect(&session, &gui::RecorderSession::polled, [&](const RecorderPollResult& r) {
        if (!polled && r.rows_after == 512) {
            poll_ms = double(poll_clock.elapsed());
            polled = true;
        }
    });
    QTimer timer;
    QElapsedTimer since;
    double worst = 0;
    timer.setInterval(5);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (since.isValid()) worst = std::max(worst, double(since.nsecsElapsed()) / 1e6 - 5.0);
        since.start();
    });
    timer.start();
    session.Start(settings);
    QElapsedTimer limit;
    limit.start();
    while (!polled && limit.elapsed() < 20000) app.processEvents(QEventLoop::WaitForMoreEvents, 50);
    // The table drawn with its rows, scrolled to the end and back as a user would.
    if (dialog) {
        dialog->list()->scrollToBottom();
        app.processEvents();
        dialog->list()->scrollToTop();
        app.processEvents();
    }
    timer.stop();
    const int rows_shown = dialog ? dialog->model().rowCount() : 0;
    session.Close();
    while (!session.is_ended() && limit.elapsed() < 25000)
        app.processEvents(QEventLoop::WaitForMoreEvents, 50);
    dialog.reset();
    std::printf(
        "first poll of a 512-entry table at 115200 baud: %.0f ms, %d rows in the window; GUI "
        "thread's longest stall meanwhile, the window applying and painting them: %.1f ms "
        "(target <= 100)\n",
        poll_ms, rows_shown, worst);
    return polled ? 0 : 1;
}
