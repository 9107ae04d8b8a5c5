#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/ErrorReport.h"
#include "cli/Commands.h"
#include "files/DataDirectory.h"
#include "files/RecordingWriter.h"

namespace korvex::cli {

// A synthetic live recording written through the live writer: three phase voltages and
// currents of a generator near 1.0 per unit, the field current and a state word.
int SampleCommand(int argc, char** argv) {
    long rows = 500;
    int divider = 10;
    std::string port = "sim";
    for (int i = 0; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--rows" && i + 1 < argc) {
            rows = std::strtol(argv[++i], nullptr, 10);
        } else if (a == "--rate" && i + 1 < argc) {
            int rate = std::atoi(argv[++i]);
            divider = rate == 100 ? 5 : rate == 125 ? 4 : rate == 166 ? 3 : 10;
        } else if (a == "--port" && i + 1 < argc) {
            port = argv[++i];
        } else {
            std::fprintf(
                stderr,
                "Usage: korvex-cli sample [--rows N] [--rate 50|100|125|166] [--port NAME]\n");
            return a == "--help" ? 0 : 2;
        }
    }
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
            v[p] = 1.0 + 0.01 * std::sin(2 * M_PI * 0.7 * t + p * 2.1);
            v[3 + p] = 0.8 + 0.02 * std::sin(2 * M_PI * 0.3 * t + p * 2.1);
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
