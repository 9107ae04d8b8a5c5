// SPDX-License-Identifier: GPL-3.0-or-later
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <string>
#include <string_view>
#include <vector>

#include "app/ErrorReport.h"
#include "app/Language.h"
#include "app/SampleRate.h"
#include "app/StrPrintf.h"
#include "cli/Args.h"
#include "cli/Commands.h"
#include "files/DataDirectory.h"
#include "files/RecordingWriter.h"

namespace korvex::cli {

namespace {

// Ten million rows of 8 channels are about 750 MB; more is a typing error.
constexpr long kMaxRows = 10000000;

constexpr Option kOptions[] = {
    {"rows", 0, true, "N", "N", "число строк, от 0 до 10000000 (по умолчанию 500)",
     "number of rows, 0 to 10000000 (default 500)"},
    {"rate", 0, true, "ГЦ", "HZ", "частота: 50 (по умолчанию), 100, 125 или 166",
     "sample rate: 50 (default), 100, 125 or 166"},
    {"port", 0, true, "ИМЯ", "NAME", "имя порта в заголовке записи (по умолчанию sim)",
     "the port's name in the recording's header (default sim)"},
};

const CommandLine kCommandLine = {
    "sample",
    kOptions,
    false,
    0,
    "Использование: korvex-cli sample [--rows N] [--rate 50|100|125|166] [--port ИМЯ]\n"
    "\n"
    "Записывает в каталог данных синтетическую запись из N строк и выводит её путь.\n",
    "Usage: korvex-cli sample [--rows N] [--rate 50|100|125|166] [--port NAME]\n"
    "\n"
    "Writes a synthetic live recording of N rows into the data directory and prints\n"
    "its path.\n",
    nullptr,
    nullptr,
};

}  // namespace

// A synthetic live recording written through the live writer: three phase voltages and
// currents of a generator near 1.0 per unit, the field current and a state word.
int SampleCommand(int argc, char** argv) {
    long rows = 500, rate = 50;
    std::string port = "sim";
    std::vector<char*> operands;
    const int status = ParseOptions(
        kCommandLine, argc, argv,
        [&](std::string_view name, const char* value) -> std::string {
            if (name == "rows" && !ParseLong(value, 0, kMaxRows, &rows))
                return StrPrintf(
                    Tr("--rows принимает число от 0 до %ld", "--rows takes a number from 0 to %ld"),
                    kMaxRows);
            if (name == "rate" &&
                (!ParseLong(value, 0, LONG_MAX, &rate) || !RateDivider(int(rate))))
                return Tr("--rate принимает значения 50, 100, 125 или 166",
                          "--rate takes 50, 100, 125 or 166");
            if (name == "port") port = value;
            return {};
        },
        &operands);
    if (status != kGoOn) return status;
    const int divider = RateDivider(int(rate));
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
