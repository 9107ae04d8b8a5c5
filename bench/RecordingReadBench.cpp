// SPDX-License-Identifier: GPL-3.0-or-later
// Reading recordings: the bulk path against a naive line-by-line reader, and the cost of
// one follower tick on a small and on a large growing file.
//
//   korvex_bench_recording [--rows N] [benchmark options]
//
// Prints the Google Benchmark table and then the ratios with their targets.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "BenchDir.h"
#include "RatioReporter.h"
#include "files/RecordingFollower.h"
#include "files/RecordingHeader.h"

#include "RandomRecording.h"

using namespace korvex;

namespace {

long g_rows = 600000;
constexpr int kChannels = 15;
std::string g_dir;

std::string MakeFile(const std::string& name, long rows, unsigned seed) {
    return WriteRandomRecording(g_dir + "/" + name, rows, kChannels, seed);
}

struct Checksum : RowSink {
    void OnRow(const double* v, int n) override {
        for (int c = 0; c < n; ++c) sum += v[c];
        ++rows;
    }
    double sum = 0;
    long rows = 0;
};

Checksum BulkRead(const std::string& path) {
    RecordingHeader h;
    uint64_t consumed = 0;
    Checksum sink;
    if (ReadRecordingHeader(path, &h, &consumed, nullptr) != 0) std::abort();
    RecordingFollower f;
    f.Open(path, consumed, h.shown);
    f.Poll(sink);
    return sink;
}

// The straightforward reader: fgets into a 500-character buffer, one sscanf per
// value, then on past the next control character.
Checksum NaiveRead(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "r");
    char line[500];
    int num_chan = 0;
    bool names = false;
    while (std::fgets(line, sizeof line, f)) {
        if (!std::strncmp(line, "#CHAN=", 6)) std::sscanf(line + 6, "%d", &num_chan);
        if (!std::strncmp(line, "#NAME=", 6)) names = true;
        if (num_chan && names) break;
    }
    Checksum sink;
    double values[kMaxShownChannels] = {};
    int shown = num_chan < kMaxShownChannels ? num_chan : kMaxShownChannels;
    while (std::fgets(line, sizeof line, f)) {
        if (line[0] == '#') continue;
        char* p = line;
        for (int c = 0; c < shown; ++c) {
            std::sscanf(p, "%lf", &values[c]);
            while (*p >= 0x20) ++p;
            if (*p) ++p;
        }
        sink.OnRow(values, shown);
    }
    std::fclose(f);
    return sink;
}

std::string g_big, g_small10, g_big100;

void BM_OpenBulk(benchmark::State& state) {
    for (auto _ : state) {
        Checksum c = BulkRead(g_big);
        benchmark::DoNotOptimize(c.sum);
    }
}
void BM_OpenNaive(benchmark::State& state) {
    for (auto _ : state) {
        Checksum c = NaiveRead(g_big);
        benchmark::DoNotOptimize(c.sum);
    }
}

// One tick: 100 new rows appended, then the follower reads them. Only the follower's
// read is timed.
void Tick(benchmark::State& state, const std::string& path) {
    RecordingHeader h;
    uint64_t consumed = 0;
    ReadRecordingHeader(path, &h, &consumed, nullptr);
    RecordingFollower f;
    f.Open(path, consumed, h.shown);
    Checksum sink;
    f.Poll(sink);
    std::vector<char> rows;
    std::vector<char> buf(kChannels * kLiveRowBytesPerValue + 2);
    double v[kChannels];
    for (int r = 0; r < 100; ++r) {
        for (int c = 0; c < kChannels; ++c) v[c] = r * 0.5 - c;
        size_t n = FormatLiveRow(v, kChannels, buf.data());
        rows.insert(rows.end(), buf.data(), buf.data() + n);
    }
    FILE* out = std::fopen(path.c_str(), "ab");
    for (auto _ : state) {
        std::fwrite(rows.data(), 1, rows.size(), out);
        std::fflush(out);
        auto t0 = std::chrono::steady_clock::now();
        long lines = f.Poll(sink);
        auto t1 = std::chrono::steady_clock::now();
        if (lines != 100) state.SkipWithError("tick did not read 100 rows");
        state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
    }
    std::fclose(out);
}
void BM_Tick10MB(benchmark::State& state) {
    Tick(state, g_small10);
}
void BM_Tick100MB(benchmark::State& state) {
    Tick(state, g_big100);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--rows") && i + 1 < argc) {
            g_rows = std::atol(argv[++i]);
            continue;
        }
        args.push_back(argv[i]);
    }
    int n = int(args.size());
    benchmark::Initialize(&n, args.data());

    g_dir = MakeBenchDir("/tmp/korvex-bench-XXXXXX");
    g_big = MakeFile("big.trd", g_rows, 1);
    g_small10 = MakeFile("tick10.trd", 60000, 2);
    g_big100 = MakeFile("tick100.trd", 600000, 3);

    Checksum bulk = BulkRead(g_big), naive = NaiveRead(g_big);
    bool same = bulk.rows == naive.rows && bulk.sum == naive.sum;
    FILE* big = std::fopen(g_big.c_str(), "rb");
    std::fseek(big, 0, SEEK_END);
    double mb = double(std::ftell(big)) / 1048576.0;
    std::fclose(big);
    std::printf("recording: %ld rows, %d channels, %.1f MB\n", g_rows, kChannels, mb);

    benchmark::RegisterBenchmark("OpenBulk", BM_OpenBulk)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(5);
    benchmark::RegisterBenchmark("OpenNaive", BM_OpenNaive)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(2);
    benchmark::RegisterBenchmark("Tick10MB", BM_Tick10MB)
        ->UseManualTime()
        ->Iterations(300)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("Tick100MB", BM_Tick100MB)
        ->UseManualTime()
        ->Iterations(300)
        ->Unit(benchmark::kMicrosecond);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    auto t = reporter.times;
    std::printf("\nopen %ld-row recording: naive / bulk = %.1f (target >= 6), same values: %s\n",
                g_rows, t["OpenNaive/iterations:2"] / t["OpenBulk/iterations:5"],
                same ? "yes" : "NO");
    std::printf(
        "tick of 100 rows: 100 MB file / 10 MB file = %.2f (target <= 1.2)\n",
        t["Tick100MB/iterations:300/manual_time"] / t["Tick10MB/iterations:300/manual_time"]);
    std::string rm = "rm -rf " + g_dir;
    (void)!std::system(rm.c_str());
    return same ? 0 : 1;
}
