// SPDX-License-Identifier: GPL-3.0-or-later
// How long a stop takes: from the request (Exit, Stop, a closed window) until the
// acquisition worker has sent its stop byte, closed the recording and the port, and been
// joined. Measured over 20 stops of a live stream from the simulated regulator, and over
// stops requested while the regulator has gone silent (the worker waits for a packet).
//
//   korvex_bench_stop [--stops N]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "BenchRegulator.h"
#include "app/ErrorReport.h"
#include "osc/OscStream.h"
#include "sim/Regulator.h"

using namespace korvex;
using Clock = std::chrono::steady_clock;

namespace {

class Quiet : public ErrorSink {
public:
    void ShowError(const std::string&) override {}
};

struct Figures {
    double median, max;
};

Figures Summarise(std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.back()};
}

// One opening and stop; returns the stop's duration in ms, or -1 when the stream did
// not open.
double OneStop(sim::SimRegulator& sim, sim::RegulatorModel& model, int divider, bool silent) {
    LinkSettings link;
    link.port_name = sim.port_path();
    link.osc_baud = 115200;
    link.rate_divider = divider;
    OscState osc;
    if (OSC_Open(link, osc) != 0) return -1;
    OscWorker worker;
    worker.Start(link, osc);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    if (silent) {
        model.stream_faults->silent = -1;
        // The last packet in flight has arrived; the worker now waits for the next one.
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
    }
    auto t0 = Clock::now();
    worker.Stop();
    double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    model.stream_faults->silent = 0;
    // The regulator is back in its normal mode before the next opening.
    for (int i = 0; i < 300 && sim.current_mode() != "normal"; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return ms;
}

}  // namespace

int main(int argc, char** argv) {
    int stops = 20;
    for (int i = 1; i < argc; ++i)
        if (!std::strcmp(argv[i], "--stops") && i + 1 < argc) stops = std::atoi(argv[++i]);
    BenchRegulator regulator;
    sim::SimRegulator& sim = regulator.sim;
    sim::RegulatorModel& model = regulator.model;
    Quiet quiet;
    ScopedErrorSink scoped(&quiet);
    struct Case {
        const char* name;
        int divider;
        bool silent;
    } cases[] = {{"streaming at 166.7 Hz", 3, false},
                 {"streaming at 50 Hz", 10, false},
                 {"regulator silent (packet time-out)", 10, true}};
    std::printf("stop to worker joined, %d stops each (ms):\n", stops);
    for (const auto& c : cases) {
        std::vector<double> ms;
        for (int i = 0; i < stops; ++i) {
            double t = OneStop(sim, model, c.divider, c.silent);
            if (t < 0) {
                std::fprintf(stderr, "the stream did not open\n");
                return 1;
            }
            ms.push_back(t);
        }
        Figures f = Summarise(ms);
        std::printf("  %-36s median %7.1f   max %7.1f\n", c.name, f.median, f.max);
    }
    return 0;
}
