// SPDX-License-Identifier: GPL-3.0-or-later
// A whole recording as korvex-cli's stats and export read and write it: the per-channel
// statistics against the naive line-by-line reader (fgets + one sscanf per value) in the
// same run, and the export of the whole file to COMTRADE and CSV.
//
//   korvex_bench_stats [--rows N] [--runs N]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "BenchDir.h"
#include "files/ComtradeExport.h"
#include "files/CsvExport.h"
#include "files/RecordingData.h"
#include "files/RecordingStats.h"

#include "RandomRecording.h"

using namespace korvex;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kChannels = 15;

// The statistics by the naive reader: fgets into a line buffer, one sscanf per value.
std::vector<ChannelStats> NaiveStats(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "r");
    char line[1024];
    std::vector<ChannelStats> s(kChannels);
    std::vector<double> sum(kChannels), sq(kChannels);
    for (auto& c : s) c.min = INFINITY, c.max = -INFINITY;
    size_t row = 0;
    while (std::fgets(line, sizeof line, f)) {
        if (line[0] == '#') continue;
        char* p = line;
        for (int c = 0; c < kChannels; ++c) {
            double v = 0;
            int used = 0;
            if (std::sscanf(p, "%lf%n", &v, &used) != 1) break;
            p += used;
            if (v < s[size_t(c)].min) s[size_t(c)].min = v, s[size_t(c)].min_row = row;
            if (v > s[size_t(c)].max) s[size_t(c)].max = v, s[size_t(c)].max_row = row;
            sum[size_t(c)] += v;
            sq[size_t(c)] += v * v;
        }
        ++row;
    }
    std::fclose(f);
    for (int c = 0; c < kChannels; ++c) {
        s[size_t(c)].count = row;
        s[size_t(c)].mean = sum[size_t(c)] / double(row);
        s[size_t(c)].rms = std::sqrt(sq[size_t(c)] / double(row));
    }
    return s;
}

// As korvex-cli stats reads it.
std::vector<ChannelStats> FastStats(const std::string& path) {
    FileStats stats;
    if (!ScanFileStats(path, nullptr, nullptr, &stats, nullptr)) std::abort();
    return stats.channels;
}

template <typename F>
double Seconds(F&& f) {
    auto t0 = Clock::now();
    f();
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

long ResidentKb() {
    FILE* f = std::fopen("/proc/self/status", "r");
    char line[256];
    long kb = 0;
    while (f && std::fgets(line, sizeof line, f))
        if (!std::strncmp(line, "VmRSS:", 6)) kb = std::atol(line + 6);
    if (f) std::fclose(f);
    return kb;
}

}  // namespace

int main(int argc, char** argv) {
    long rows = 600000;
    int runs = 5;
    for (int i = 1; i + 1 < argc; ++i) {
        if (!std::strcmp(argv[i], "--rows"))
            rows = std::atol(argv[++i]);
        else if (!std::strcmp(argv[i], "--runs"))
            runs = std::atoi(argv[++i]);
    }
    std::string dir = MakeBenchDir("/tmp/korvex-stats-XXXXXX");
    std::string path = WriteRandomRecording(dir + "/big.trd", rows);
    FILE* f = std::fopen(path.c_str(), "rb");
    std::fseek(f, 0, SEEK_END);
    double mb = double(std::ftell(f)) / 1e6;
    std::fclose(f);
    std::printf("recording: %ld rows, %d channels, %.1f MB, %u processors\n", rows, kChannels, mb,
                std::thread::hardware_concurrency());

    // Warm the page cache, and check that both readers agree.
    auto naive = NaiveStats(path);
    auto fast = FastStats(path);
    bool same = true;
    for (int c = 0; c < kChannels; ++c) {
        const ChannelStats &a = naive[size_t(c)], &b = fast[size_t(c)];
        same = same && a.min == b.min && a.max == b.max && a.min_row == b.min_row &&
               a.max_row == b.max_row && std::fabs(a.mean - b.mean) < 1e-9 &&
               std::fabs(a.rms - b.rms) < 1e-9;
    }
    std::vector<double> t_naive, t_fast;
    for (int r = 0; r < runs; ++r) {
        t_naive.push_back(Seconds([&] { naive = NaiveStats(path); }));
        t_fast.push_back(Seconds([&] { fast = FastStats(path); }));
    }
    double n = Median(t_naive), q = Median(t_fast);
    std::printf("stats, median of %d runs:\n", runs);
    std::printf("  naive (fgets + sscanf)      %8.1f ms\n", n * 1e3);
    std::printf(
        "  korvex-cli stats          %8.1f ms   %.1f x faster (target >= 12), same results: %s\n",
        q * 1e3, n / q, same ? "yes" : "NO");

    RecordingData data;
    long before = ResidentKb();
    double load = Seconds([&] { data.Load(path); });
    long after = ResidentKb();
    std::printf("load into columns: %.1f ms, resident growth %.1f MB for %.1f MB of columns\n",
                load * 1e3, (after - before) / 1024.0,
                double(data.rows()) * kChannels * 8 / 1048576.0);

    struct Kind {
        const char* name;
        double target;
        std::function<bool(const std::string&)> run;
    };
    std::vector<Kind> kinds = {
        {"COMTRADE BINARY", 1.5,
         [&](const std::string& out) {
             return ExportComtrade(data, 0, data.rows(), out, true, true, nullptr);
         }},
        {"COMTRADE ASCII", 0,
         [&](const std::string& out) {
             return ExportComtrade(data, 0, data.rows(), out, false, true, nullptr);
         }},
        {"CSV", 2.0,
         [&](const std::string& out) {
             return ExportCsv(data, 0, data.rows(), out + ".csv", true, nullptr);
         }},
    };
    std::printf("export of the whole file, median of %d runs:\n", runs);
    for (const Kind& k : kinds) {
        std::vector<double> t;
        for (int r = 0; r < runs; ++r)
            t.push_back(Seconds([&] {
                if (!k.run(dir + "/out")) std::abort();
            }));
        if (k.target > 0)
            std::printf("  %-16s %8.1f ms (target <= %.0f ms)\n", k.name, Median(t) * 1e3,
                        k.target * 1e3);
        else
            std::printf("  %-16s %8.1f ms\n", k.name, Median(t) * 1e3);
    }
    std::string cleanup = "rm -rf '" + dir + "'";
    return std::system(cleanup.c_str()) == 0 ? 0 : 1;
}
