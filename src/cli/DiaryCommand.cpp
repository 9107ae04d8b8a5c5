// SPDX-License-Identifier: GPL-3.0-or-later
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "app/CodePages.h"
#include "app/ErrorReport.h"
#include "app/Language.h"
#include "app/StrPrintf.h"
#include "cli/Args.h"
#include "cli/Commands.h"
#include "cli/Terminal.h"
#include "diary/DiaryRun.h"

namespace korvex::cli {

namespace {

constexpr Option kOptions[] = {
    {"port", 0, true, "УСТРОЙСТВО", "DEVICE", "порт регулятора (обязателен)",
     "the regulator's port (required)"},
    {"print", 0, false, nullptr, nullptr, "вывести и сам отчёт, в UTF-8",
     "print the report itself too, in UTF-8"},
};

const CommandLine kCommandLine = {
    "diary",
    kOptions,
    false,
    0,
    "Использование: korvex-cli diary --port УСТРОЙСТВО [--print]\n"
    "\n"
    "Читает идентификацию регулятора, часы, дневники событий и наборы параметров в отчёт\n"
    "в каталоге данных и выводит его путь (--print выводит и сам отчёт). Отчёт - текст\n"
    "в Windows-1251 с концами строк CR LF, как всегда; --print показывает его в UTF-8.\n"
    "Ctrl-C, SIGTERM или закрытый терминал останавливают чтение между обменами: отчёт\n"
    "остаётся неполным, его путь выводится, на stderr - где остановлено, код\n"
    "завершения 3.\n",
    "Usage: korvex-cli diary --port DEVICE [--print]\n"
    "\n"
    "Reads the regulator's identification, clock, event diaries and parameter sets\n"
    "into a report in the data directory and prints its path (--print also prints the\n"
    "report itself). The report is Windows-1251 text with CR LF line ends, as it has\n"
    "always been; --print shows it in UTF-8. Ctrl-C, SIGTERM or a closed terminal stop\n"
    "the read between exchanges: the report stays incomplete, its path is printed,\n"
    "where the read stopped goes to stderr, and the exit status is 3.\n",
    nullptr,
    nullptr,
};

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
    std::vector<char*> operands;
    const int status = ParseOptions(
        kCommandLine, argc, argv,
        [&](std::string_view name, const char* value) {
            if (name == "port") settings.port_name = value;
            if (name == "print") print = true;
            return std::string();
        },
        &operands);
    if (status != kGoOn) return status;
    if (settings.port_name.empty())
        return UsageError(kCommandLine, Tr("не задан --port", "--port is required"));
    const StopToken& stop = StopOnRequest();

    const bool bar = StderrIsTerminal();
    int maximum = 100, position = 0, ranges = 0, total = -1;
    DiaryRunEvents events;
    events.progress_range = [&](int m) {
        maximum = m > 0 ? m : 1;
        // The first range is a placeholder; the second is the count of the diaries'
        // messages and the parameters.
        if (++ranges == 2) total = m;
    };
    events.progress_position = [&](int p) {
        position = p;
        if (!bar) return;
        int percent = std::min(100, p * 100 / maximum);
        std::fprintf(stderr,
                     Tr("\rЧтение дневников и параметров: [%-50s] %3d %%",
                        "\rReading diaries and parameters: [%-50s] %3d %%"),
                     std::string(size_t(percent / 2), '#').c_str(), percent);
    };
    DiaryRunResult r = ReadDiariesAndParameters(settings, events, &stop);
    if (bar && r.linked) std::fprintf(stderr, "\n");
    for (const auto& m : r.messages) ShowError(m);
    // A run ends early without a message only when it was asked to stop.
    const bool stopped = !r.complete && r.messages.empty() && stop.stop_requested();
    if (stopped && total >= 0)
        CFprintf(stderr,
                 Tr("korvex-cli diary: чтение остановлено, прочитано сообщений и параметров: %d "
                    "из %d\n",
                    "korvex-cli diary: read stopped after %d of %d diary messages and "
                    "parameters\n"),
                 position, total);
    else if (stopped)
        std::fprintf(stderr, "%s\n",
                     Tr("korvex-cli diary: чтение остановлено до чтения дневников",
                        "korvex-cli diary: read stopped before the diaries were read"));
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
    return r.complete ? 0 : stopped ? kStoppedStatus : 1;
}

}  // namespace korvex::cli
