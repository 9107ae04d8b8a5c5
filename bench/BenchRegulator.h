// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "BenchDir.h"
#include "sim/Regulator.h"

// A benchmark's surroundings: a data directory of its own (KORVEX_DATA_DIR, removed with
// its recordings at the end) and the simulated regulator on a pseudo-terminal. A
// regulator that cannot start ends the program with its reason and status 1.
struct BenchRegulator {
    BenchRegulator() : data_dir(MakeBenchDir("/tmp/korvex-bench-XXXXXX")) {
        setenv("KORVEX_DATA_DIR", data_dir.c_str(), 1);
        std::string err;
        if (!korvex::sim::StartRegulator(sim, model, &err)) {
            std::fprintf(stderr, "korvex bench: the simulated regulator: %s\n", err.c_str());
            std::exit(1);
        }
    }
    ~BenchRegulator() {
        std::error_code ec;
        std::filesystem::remove_all(data_dir, ec);
    }
    std::string data_dir;
    korvex::sim::SimRegulator sim;
    korvex::sim::RegulatorModel model;
};
