#include <signal.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/CodePages.h"
#include "app/ErrorReport.h"
#include "cli/Commands.h"
#include "cli/Terminal.h"
#include "diary/DiaryRun.h"

namespace korvex::cli {

namespace {

void Usage(FILE* out) {
    std::fprintf(
        out,
        "Usage: korvex-cli diary --port DEVICE [--print]\n"
        "\n"
        "Reads the regulator's identification, clock, event diaries and parameter sets\n"
        "into a report in the data directory and prints its path (--print also prints the\n"
        "report itself). The report is Windows-1251 text with CR LF line ends, as it has\n"
        "always been; --print shows it in UTF-8. Ctrl-C stops between exchanges.\n");
}

std::string ReadFile(const std::string& path) {
    std::string bytes;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return bytes;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.append(buf, n);
    std::fclose(f);
    return bytes;
}

}  // namespace

int DiaryCommand(int argc, char** argv) {
    LinkSettings settings;
    bool print = false;
    for (int i = 0; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--help") {
            Usage(stdout);
            return 0;
        } else if (a == "--port" && i + 1 < argc) {
            settings.port_name = argv[++i];
        } else if (a == "--print") {
            print = true;
        } else {
            Usage(stderr);
            return 2;
        }
    }
    if (settings.port_name.empty()) {
        Usage(stderr);
        return 2;
    }
    const std::atomic<bool>& stop = StopFlagOnRequest();

    const bool bar = StderrIsTerminal();
    int maximum = 100;
    DiaryRunEvents events;
    events.progress_range = [&](int m) { maximum = m > 0 ? m : 1; };
    events.progress_position = [&](int p) {
        if (!bar) return;
        int percent = std::min(100, p * 100 / maximum);
        std::fprintf(stderr, "\rReading diaries and parameters: [%-50s] %3d %%",
                     std::string(size_t(percent / 2), '#').c_str(), percent);
    };
    DiaryRunResult r = ReadDiariesAndParameters(settings, events, &stop);
    if (bar && r.linked) std::fprintf(stderr, "\n");
    for (const auto& m : r.messages) ShowError(m);
    if (!r.report_path.empty()) {
        if (print && r.complete) {
            std::string text = Cp1251ToUtf8(ReadFile(r.report_path));
            std::string out;
            for (char c : text)
                if (c != '\r') out += c;
            std::fwrite(out.data(), 1, out.size(), stdout);
        }
        std::printf("%s\n", r.report_path.c_str());
    }
    return r.complete ? 0 : 1;
}

}  // namespace korvex::cli
