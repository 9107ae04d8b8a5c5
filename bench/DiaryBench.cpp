// SPDX-License-Identifier: GPL-3.0-or-later
// "Diary and Parameters" against the paced simulated regulator at 115200 baud: two
// diaries of 100 and 400 records (60 distinct message codes) and three parameter sets of
// 150 parameters. Measured from the first request to the last answer, against the ideal
// wire time of the exchanges made; the exchanges counted against those prescribed, and
// each message text read once per code.
//
//   korvex_bench_diary [--rounds N]
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "BenchRegulator.h"
#include "app/ErrorReport.h"
#include "diary/DiaryRun.h"
#include "link/LinkTrace.h"
#include "sim/Regulator.h"

using namespace korvex;
using Clock = std::chrono::steady_clock;

namespace {

struct Trace {
    std::mutex mu;
    int requests = 0, answers = 0;
    long bytes = 0;  // answered requests and their answers
    long pending_request = 0;
    Clock::time_point first{}, last{};
};

// The exchanges the run is to make for the simulator's content.
int Prescribed(sim::RegulatorModel& model) {
    int n = 1 + 5 + 2;  // channel word, identification (4) and version, clock (2)
    n += 1 + 1 + 1;     // selector 0, the block's first four registers, the next four
    n += 2 + 1;         // selector 1 and the second capacity, the fill words
    auto sets = model.parameters->sets();
    n += 1 + int(sets.size());  // set count, first pass
    std::set<uint16_t> codes;
    auto texts = model.diaries->texts();
    for (const auto& d : model.diaries->diaries()) {
        bool wrapped = d.fill & 0x8000;
        int count = wrapped ? d.capacity : d.fill;
        int start = wrapped ? d.fill & 0x7FFF : 0;
        if (count == 0) continue;
        n += 1;  // the selector
        for (int k = 0; k < count; ++k) {
            uint16_t code = d.places[size_t((start + k) % d.capacity)].code;
            n += 1;                                                            // the record
            if (code < texts.size() && codes.insert(code).second) n += 3 + 1;  // text, selector
        }
    }
    for (size_t s = 0; s < sets.size(); ++s) {
        n += 1;  // select again
        for (const auto& p : sets[s].params) {
            if (s < 2) n += std::min<int>(4, int(p.name.size()) / 5 + 1);  // name parts
            n += 1;                                                        // value
        }
    }
    return n;
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = 3;
    for (int i = 1; i + 1 < argc; ++i)
        if (!std::strcmp(argv[i], "--rounds")) rounds = std::atoi(argv[++i]);
    BenchRegulator regulator;
    sim::SimRegulator& sim = regulator.sim;
    sim::RegulatorModel& model = regulator.model;
    // 60 message texts, all used, in two diaries of 100 (wrapped) and 400 records.
    std::vector<std::string> texts;
    for (int c = 0; c < 60; ++c) texts.push_back("Message text " + std::to_string(c));
    model.diaries->SetTexts(texts);
    std::vector<uint16_t> first, second;
    for (uint16_t c = 0; c < 30; ++c) first.push_back(c);
    for (uint16_t c = 30; c < 60; ++c) second.push_back(c);
    model.diaries->SetDiaries(
        {sim::MakeDiary(100, 130, first, 60000), sim::MakeDiary(400, 400, second, 20000)});
    std::vector<sim::SimParameterSet> sets(3);
    for (int s = 0; s < 3; ++s)
        for (int j = 0; j < 150; ++j) {
            sim::SimParameter p;
            p.name = "Parameter " + std::to_string(j) + (j % 3 ? " gain" : "");
            p.is_float = j % 2;
            p.f = float(j) * 0.5f + float(s);
            p.i = j * 10 + s;
            sets[size_t(s)].params.push_back(p);
        }
    model.parameters->SetSets(sets);
    const int prescribed = Prescribed(model);

    std::vector<double> measured, wire;
    int requests = 0;
    bool once = true;
    for (int round = 0; round < rounds; ++round) {
        auto trace = std::make_shared<Trace>();
        SetLinkTrace([trace](bool tx, const uint8_t*, size_t n) {
            std::lock_guard<std::mutex> lock(trace->mu);
            auto now = Clock::now();
            if (tx) {
                // From the first request: the mode-switch frame before it gets no answer.
                if (!trace->answers) trace->first = now;
                ++trace->requests;
                trace->pending_request = long(n);
            } else {
                ++trace->answers;
                trace->bytes += trace->pending_request + long(n);
                trace->last = now;
            }
        });
        LinkSettings settings;
        settings.port_name = sim.port_path();
        model.diaries->SetTexts(texts);  // the read counts start again
        DiaryRunResult r = ReadDiariesAndParameters(settings, {});
        SetLinkTrace(nullptr);
        if (!r.complete) return 1;
        measured.push_back(
            std::chrono::duration<double, std::milli>(trace->last - trace->first).count());
        wire.push_back(double(trace->bytes) * 11 * 1000.0 / 115200);
        requests = trace->answers;
        for (uint16_t c = 0; c < 60 && once; ++c)
            if (model.diaries->text_reads(c) != 1) {
                std::printf("text %d read %d times\n", c, model.diaries->text_reads(c));
                once = false;
            }
    }
    std::sort(measured.begin(), measured.end());
    double w = wire[0];
    double m = measured[measured.size() / 2];
    std::printf(
        "diaries of 100 and 400 records (60 codes), 3 sets of 150 parameters, 115200 baud, "
        "median of %d runs:\n",
        rounds);
    std::printf("  exchanges made %d, prescribed %d%s\n", requests, prescribed,
                requests == prescribed ? " (equal)" : " (DIFFERENT)");
    std::printf("  each text read once per code: %s\n", once ? "yes" : "NO");
    std::printf("  wire time of the exchanges    %8.1f ms\n", w);
    std::printf("  first request to last answer  %8.1f ms   %.3f x wire (target <= 1.05)\n", m,
                m / w);
    return 0;
}
