// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "app/ErrorReport.h"
#include "app/Language.h"
#include "app/StrPrintf.h"
#include "cli/Args.h"
#include "cli/Commands.h"
#include "cli/RecordingArgs.h"
#include "files/RecordingStats.h"

namespace korvex::cli {

int StatsCommand(int argc, char** argv) {
    static constexpr Option kOptions[] = {
        {"from", 0, true, "СЕК", "SEC", "начало: секунды от первой строки записи",
         "the start, in seconds from the recording's first row"},
        {"to", 0, true, "СЕК", "SEC", "конец, в секундах", "the end, in seconds"},
    };
    static const CommandLine kCommandLine = {
        "stats",
        kOptions,
        false,
        1,
        "Использование: korvex-cli stats [--from СЕК] [--to СЕК] [--] ФАЙЛ\n"
        "\n"
        "Выводит для каждого канала записи минимум и максимум со временем их первого\n"
        "появления, среднее и действующее значение (RMS) по всей записи или по строкам\n"
        "между --from и --to (секунды от её первой строки).\n",
        "Usage: korvex-cli stats [--from SEC] [--to SEC] [--] FILE\n"
        "\n"
        "Prints, for each channel of a recording, its minimum and maximum with the time\n"
        "of their first occurrence, its mean and its RMS, over the whole recording or\n"
        "over the rows between --from and --to (seconds from its first row).\n",
        nullptr,
        nullptr,
    };
    RecordingArgs args;
    std::vector<char*> files;
    const int status = ParseOptions(
        kCommandLine, argc, argv,
        [&args](std::string_view name, const char* value) {
            return args.TakeTime(std::string("--") + std::string(name), value);
        },
        &files);
    if (status != kGoOn) return status;
    if (files.empty())
        return UsageError(kCommandLine, Tr("не задан файл записи", "no recording file given"));
    args.path = files[0];
    FileStats stats;
    std::string error;
    if (!ScanFileStats(args.path, args.has_from ? &args.from : nullptr,
                       args.has_to ? &args.to : nullptr, &stats, &error)) {
        ShowError(error);
        return 1;
    }
    if (stats.pending_bytes) NotePendingRow(stats.pending_bytes);
    const double step = stats.info.step;
    std::printf("File: %s\n", args.path.c_str());
    CFprintf(stdout, "Rows: %zu, %.6f s apart, %.6f s in all\n", stats.rows, step,
             double(stats.rows - 1) * step);
    if (stats.begin != 0 || stats.end != stats.rows)
        CFprintf(stdout, "Range: %.6f s to %.6f s, rows %zu to %zu\n", double(stats.begin) * step,
                 double(stats.end - 1) * step, stats.begin, stats.end - 1);
    if (stats.seq_errors) std::printf("Seq. Errors: %zu\n", stats.seq_errors);
    int width = 7;
    for (const auto& n : stats.info.names) width = std::max(width, int(n.size()));
    CFprintf(stdout, "%-*s %14s %14s %14s %14s %14s %14s\n", width, "Channel", "Min", "at (s)",
             "Max", "at (s)", "Mean", "RMS");
    for (int c = 0; c < stats.info.channels; ++c) {
        const ChannelStats& s = stats.channels[size_t(c)];
        const char* name = stats.info.names[size_t(c)].c_str();
        if (s.count == 0) {
            std::printf("%-*s %14s\n", width, name, "no numbers");
            continue;
        }
        CFprintf(stdout, "%-*s %14.6f %14.6f %14.6f %14.6f %14.6f %14.6f\n", width, name, s.min,
                 double(s.min_row) * step, s.max, double(s.max_row) * step, s.mean, s.rms);
    }
    return 0;
}

}  // namespace korvex::cli
