// SPDX-License-Identifier: GPL-3.0-or-later
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <string>
#include <vector>

#include "app/ErrorReport.h"
#include "app/Language.h"
#include "cli/Args.h"
#include "cli/Commands.h"
#include "files/DataDirectory.h"
#include "files/RecordingWriter.h"

namespace korvex::cli {

namespace {

// Ten million rows of 8 channels are about 750 MB; more is a typing error.
constexpr long kMaxRows = 10000000;

}  // namespace

// A synthetic live recording written through the live writer: three phase voltages and
// currents of a generator near 1.0 per unit, the field current and a state word.
int SampleCommand(int argc, char** argv) {
    long rows = 500, rate = 50;
    std::string port = "sim";
    auto usage = [](FILE* out) {
        std::fprintf(
            out,
            Tr("Использование: korvex-cli sample [--rows N] [--rate 50|100|125|166] [--port ИМЯ]\n"
               "\n"
               "Записывает в каталог данных синтетическую запись из N строк (от 0 до %ld,\n"
               "по умолчанию 500) и выводит её путь.\n",
               "Usage: korvex-cli sample [--rows N] [--rate 50|100|125|166] [--port NAME]\n"
               "\n"
               "Writes a synthetic live recording of N rows (0 to %ld, default 500) into\n"
               "the data directory and prints its path.\n"),
            kMaxRows);
    };
    for (int i = 0; i < argc; ++i) {
        std::string a = argv[i];
        bool v = i + 1 < argc;
        if (a == "--help") {
            usage(stdout);
            return 0;
        } else if (a == "--rows" && v) {
            if (!ParseLong(argv[++i], 0, kMaxRows, &rows)) {
                std::fprintf(stderr,
                             Tr("korvex-cli sample: --rows принимает число от 0 до %ld\n",
                                "korvex-cli sample: --rows takes a number from 0 to %ld\n"),
                             kMaxRows);
                return 2;
            }
        } else if (a == "--rate" && v) {
            if (!ParseLong(argv[++i], 0, LONG_MAX, &rate) ||
                (rate != 50 && rate != 100 && rate != 125 && rate != 166)) {
                std::fprintf(stderr, "%s\n",
                             Tr("korvex-cli sample: --rate принимает значения 50, 100, 125 или 166",
                                "korvex-cli sample: --rate takes 50, 100, 125 or 166"));
                return 2;
            }
        } else if (a == "--port" && v) {
            port = argv[++i];
        } else {
            usage(stderr);
            return 2;
        }
    }
    int divider = rate == 100 ? 5 : rate == 125 ? 4 : rate == 166 ? 3 : 10;
    std::string path;
    FILE* f = OpenDataFile("osc.trd", "w", &path);
    if (!f) {
        ShowError("Open File error");
        return 1;
    }
    std::vector<std::string> names = {"Ua", "Ub", "Uc", "Ia", "Ib", "Ic", "If", "State"};
    bool ok = WriteLiveHeader(f, port, names, divider);
    double dt = divider / 500.0;
    for (long r = 0; ok && r < rows; ++r) {
        double t = r * dt;
        double v[8];
        for (int p = 0; p < 3; ++p) {
            v[p] = 1.0 + 0.01 * std::sin(2 * std::numbers::pi * 0.7 * t + p * 2.1);
            v[3 + p] = 0.8 + 0.02 * std::sin(2 * std::numbers::pi * 0.3 * t + p * 2.1);
        }
        v[6] = 1.5 + (std::fmod(t, 6.0) < 0.5 ? 1.5 : 0.0);
        v[7] = std::fmod(t, 6.0) < 0.5 ? 3.0 : 1.0;
        ok = WriteLiveRow(f, v, 8);
    }
    if (std::fclose(f) != 0 || !ok) {
        ShowError("Write File error");
        return 1;
    }
    std::printf("%s\n", path.c_str());
    return 0;
}

}  // namespace korvex::cli
