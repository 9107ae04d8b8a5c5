// SPDX-License-Identifier: GPL-3.0-or-later
// The live oscilloscope under load: a stream at 166.7 Hz with 12 channels and a SELVO
// panel from the simulated regulator, recorded by the real worker; then the cost of
// decoding and formatting one packet against a row of snprintf calls.
//
//   korvex_bench_osc [--seconds N] [benchmark options]
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <thread>
#include <vector>

#include "BenchRegulator.h"
#include "RatioReporter.h"
#include "files/RecordingFollower.h"
#include "files/RecordingHeader.h"
#include "files/RecordingWriter.h"
#include "osc/OscStream.h"

using namespace korvex;

namespace {

struct Counter : RowSink {
    void OnRow(const double*, int) override { ++rows; }
    long rows = 0;
};

// A 12-channel packet with every encoding, as the simulator sends them.
struct Packet {
    std::vector<uint8_t> bytes;
    std::vector<OscChannel> channels;
};

Packet MakePacket() {
    Packet p;
    const uint32_t types[12] = {2, 2, 2, 4, 20, 1, 2, 2, 2, 2, 2, 20};
    std::mt19937 rng(7);
    p.bytes.resize(10 + 48);
    for (int i = 0; i < 12; ++i) {
        OscChannel ch;
        ch.type = types[i];
        ch.scale = types[i] == 4 ? 0.0001 : types[i] == 2 ? 0.001 : 1.0;
        p.channels.push_back(ch);
        uint8_t* slot = &p.bytes[10 + 4 * size_t(i)];
        if (types[i] == 20) {
            float f = 1.0f + float(rng() % 1000) / 1000.0f;
            uint32_t bits;
            std::memcpy(&bits, &f, 4);
            for (int k = 0; k < 4; ++k) slot[k] = uint8_t(bits >> (24 - 8 * k));
        } else {
            uint32_t v = 900 + rng() % 200;
            for (int k = 0; k < 4; ++k) slot[k] = uint8_t(v >> (24 - 8 * k));
        }
    }
    return p;
}

void BM_DecodeFormat(benchmark::State& state) {
    Packet p = MakePacket();
    double values[12];
    char row[12 * kLiveRowBytesPerValue + 2];
    for (auto _ : state) {
        for (int i = 0; i < 12; ++i)
            values[i] = DecodeOscValue(&p.bytes[10 + 4 * size_t(i)], p.channels[size_t(i)].type,
                                       p.channels[size_t(i)].scale);
        size_t n = FormatLiveRow(values, 12, row);
        benchmark::DoNotOptimize(n);
        benchmark::ClobberMemory();
    }
}

void BM_DecodeSnprintf(benchmark::State& state) {
    Packet p = MakePacket();
    char row[12 * kLiveRowBytesPerValue + 2];
    for (auto _ : state) {
        size_t n = 0;
        for (int i = 0; i < 12; ++i) {
            float v = DecodeOscValue(&p.bytes[10 + 4 * size_t(i)], p.channels[size_t(i)].type,
                                     p.channels[size_t(i)].scale);
            n += size_t(std::snprintf(row + n, sizeof row - n, "%.6f\t", double(v)));
        }
        n += size_t(std::snprintf(row + n, sizeof row - n, "\r\n"));
        benchmark::DoNotOptimize(n);
        benchmark::ClobberMemory();
    }
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = 30;
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--seconds") && i + 1 < argc) {
            seconds = std::atof(argv[++i]);
            continue;
        }
        args.push_back(argv[i]);
    }
    int n = int(args.size());
    benchmark::Initialize(&n, args.data());

    BenchRegulator regulator;
    // Taken when the regulator enters the stream mode, at OSC_Open.
    regulator.model.stream_options->channels = 12;
    regulator.model.stream_options->panel = 1;
    LinkSettings link;
    link.port_name = regulator.sim.port_path();
    link.osc_baud = 115200;
    link.rate_divider = RateDivider(167);
    OscState osc;
    if (OSC_Open(link, osc) != 0) {
        std::fprintf(stderr, "korvex bench: the stream did not open\n");
        return 1;
    }
    OscWorker worker;
    auto t0 = std::chrono::steady_clock::now();
    worker.Start(link, osc);
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    worker.Stop();
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    long sent = regulator.model.stream_stats->packets;

    RecordingHeader h;
    uint64_t consumed = 0;
    ReadRecordingHeader(link.file_arg, &h, &consumed, nullptr);
    RecordingFollower f;
    f.Open(link.file_arg, consumed, h.shown);
    Counter rows;
    f.Poll(rows);
    std::printf(
        "stream %.1f s at 166.7 Hz, 12 channels, SELVO panel: %ld packets sent, %ld rows recorded, "
        "%s\n",
        wall, sent, rows.rows,
        osc.StopMessage().empty() ? "stopped by request" : osc.StopMessage().c_str());
    std::printf("worker CPU %.3f s = %.2f %% of wall time (target <= 1 %%)\n\n",
                osc.worker_cpu_seconds, 100.0 * osc.worker_cpu_seconds / wall);

    benchmark::RegisterBenchmark("DecodeFormat", BM_DecodeFormat);
    benchmark::RegisterBenchmark("DecodeSnprintf", BM_DecodeSnprintf);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\ndecode and format one 12-channel packet: snprintf / ours = %.1f\n",
                reporter.times["DecodeSnprintf"] / reporter.times["DecodeFormat"]);
    return 0;
}
