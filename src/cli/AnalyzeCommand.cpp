// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/OscillationModes.h"
#include "analysis/ResultRows.h"
#include "analysis/SignalWindow.h"
#include "analysis/Spectrum.h"
#include "analysis/StepResponse.h"
#include "app/ErrorReport.h"
#include "app/Language.h"
#include "app/StrPrintf.h"
#include "cli/Args.h"
#include "cli/Commands.h"
#include "cli/RecordingArgs.h"
#include "cli/Terminal.h"
#include "files/ExportFile.h"
#include "files/RecordingData.h"

namespace korvex::cli {

namespace {

constexpr Option kOptions[] = {
    {"channel", 0, true, "ИМЯ|НОМЕР", "NAME|NUMBER",
     "канал (обязателен): его имя из #NAME= или номер от 1",
     "the channel (required): its name from #NAME= or its\nnumber from 1"},
    {"step", 0, false, nullptr, nullptr, "переходная характеристика", "a step response"},
    {"oscillation", 0, false, nullptr, nullptr,
     "колебательные моды затухающего процесса и логарифмический\nдекремент",
     "the oscillation modes of a ring-down and the logarithmic\ndecrement"},
    {"spectrum", 0, false, nullptr, nullptr, "амплитудный спектр и его пики",
     "the amplitude spectrum and its peaks"},
    {"from", 0, true, "СЕК", "SEC", "начало: секунды от первой строки записи",
     "the start, in seconds from the recording's first row"},
    {"to", 0, true, "СЕК", "SEC", "конец, в секундах", "the end, in seconds"},
    {"at", 0, true, "СЕК", "SEC", "момент ступени (без него находится по сигналу)",
     "the step instant (found from the signal without it)"},
    {"band", 0, true, "ПРОЦ", "PCT", "зона установления, % ступени (по умолчанию 2)",
     "the settling band, per cent of the step (default 2)"},
    {"modes", 0, true, "N", "N", "не более N мод или пиков, 1..20 (по умолчанию 4 моды,\n5 пиков)",
     "at most N modes or peaks, 1..20 (default 4 modes, 5 peaks)"},
    {"json", 0, false, nullptr, nullptr, "вывести результаты одним объектом JSON",
     "print the results as one JSON object"},
    {"csv", 0, true, "ВЫХОД", "OUT",
     "записать весь спектр в CSV (существующий файл\nне заменяется)",
     "write the whole spectrum as CSV (an existing file is\nkept)"},
};

const CommandLine kCommandLine = {
    "analyze",
    kOptions,
    false,
    1,
    "Использование: korvex-cli analyze ФАЙЛ --channel ИМЯ|НОМЕР\n"
    "                          (--step | --oscillation | --spectrum)\n"
    "                          [--from СЕК] [--to СЕК] [--at СЕК] [--band ПРОЦ]\n"
    "                          [--modes N] [--json] [--csv ВЫХОД]\n"
    "\n"
    "Анализирует для наладки один канал записи, целиком или в строках между --from\n"
    "и --to (секунды от первой строки записи): переходную характеристику (--step:\n"
    "время нарастания, перерегулирование, время установления и др.), колебательные\n"
    "моды затухающего процесса (--oscillation: частота, демпфирование и амплитуда\n"
    "каждой) или амплитудный спектр (--spectrum: разрешение и наибольшие пики).\n"
    "Результаты выводятся строками для чтения или, с --json, одним объектом JSON\n"
    "для сценариев.\n",
    "Usage: korvex-cli analyze FILE --channel NAME|NUMBER\n"
    "                          (--step | --oscillation | --spectrum)\n"
    "                          [--from SEC] [--to SEC] [--at SEC] [--band PCT]\n"
    "                          [--modes N] [--json] [--csv OUT]\n"
    "\n"
    "Analyses one channel of a recording for commissioning, over the whole recording\n"
    "or over the rows between --from and --to (seconds from its first row): a step\n"
    "response (--step: rise time, overshoot, settling time and the like), the\n"
    "oscillation modes of a ring-down (--oscillation: each mode's frequency, damping\n"
    "and amplitude) or the amplitude spectrum (--spectrum: its resolution and largest\n"
    "peaks). The results are printed as lines for people or, with --json, as one JSON\n"
    "object for scripts.\n",
    nullptr,
    nullptr,
};

enum class Kind { kNone, kStep, kOscillation, kSpectrum };

// Characters of a UTF-8 text, so that Russian labels pad like English ones.
size_t CodePoints(const std::string& s) {
    size_t n = 0;
    for (unsigned char c : s) n += (c & 0xC0) != 0x80;
    return n;
}

// "Label:" padded to one column for every row, then the value.
void PrintRows(const std::vector<ResultRow>& rows) {
    size_t width = 0;
    for (const ResultRow& r : rows) width = std::max(width, CodePoints(r.label));
    for (const ResultRow& r : rows) {
        std::string line = r.label.empty() ? " " : r.label + ":";
        line.append(width + 2 - CodePoints(line), ' ');
        line += r.value;
        line += '\n';
        std::fputs(line.c_str(), stdout);
    }
}

// The whole spectrum, one line per bin, as a new file (never over an existing one, nor
// over the recording). False with the message shown.
bool WriteSpectrumCsv(const SpectrumResult& r, const std::string& path,
                      const std::string& recording) {
    ExportFile file;
    std::string error;
    if (!file.Create(path, false, &error, recording)) {
        ShowError(error);
        return false;
    }
    // CR LF as in every CSV the program writes.
    file.Write("frequency_hz,amplitude\r\n");
    char line[64];
    for (size_t k = 0; k < r.amplitude.size(); ++k) {
        const int n = CSnprintf(line, sizeof line, "%.9g,%.9g\r\n", double(k) * r.resolution_hz,
                                r.amplitude[k]);
        file.Write(std::string_view(line, size_t(std::clamp(n, 0, int(sizeof line) - 1))));
    }
    if (!file.Commit(&error)) {
        ShowError(error);
        return false;
    }
    return true;
}

}  // namespace

int AnalyzeCommand(int argc, char** argv) {
    RecordingArgs args;
    Kind kind = Kind::kNone;
    std::string channel, csv;
    bool has_channel = false, json = false, has_band = false, has_modes = false;
    StepOptions step_options;
    OscillationOptions oscillation_options;
    SpectrumOptions spectrum_options;
    std::vector<char*> files;
    const int status = ParseOptions(
        kCommandLine, argc, argv,
        [&](std::string_view name, const char* value) -> std::string {
            const Kind given = name == "step"          ? Kind::kStep
                               : name == "oscillation" ? Kind::kOscillation
                               : name == "spectrum"    ? Kind::kSpectrum
                                                       : Kind::kNone;
            if (given != Kind::kNone) {
                if (kind != Kind::kNone && kind != given)
                    return Tr("задайте один анализ: --step, --oscillation или --spectrum",
                              "give one analysis only: --step, --oscillation or --spectrum");
                kind = given;
            } else if (name == "channel") {
                channel = value;
                has_channel = true;
            } else if (name == "json") {
                json = true;
            } else if (name == "csv") {
                csv = value;
                if (csv == "-" || csv.empty())
                    return Tr("--csv требует имя файла (\"-\" не допускается)",
                              "--csv needs a file name (\"-\" is not allowed)");
            } else if (name == "at") {
                double v = 0;
                if (!ParseSeconds(value, -1e-300, 1e12, &v))
                    return StrPrintf(Tr("--at требует время в секундах, а не '%s'",
                                        "--at needs a time in seconds, not '%s'"),
                                     value);
                step_options.at = v;
            } else if (name == "band") {
                double v = 0;
                if (!ParseSeconds(value, 0, 100, &v) || v >= 100)
                    return StrPrintf(
                        Tr("--band требует число процентов больше 0 и меньше 100, "
                           "а не '%s'",
                           "--band needs a percentage above 0 and below 100, not '%s'"),
                        value);
                step_options.band_pct = v;
                has_band = true;
            } else if (name == "modes") {
                long v = 0;
                if (!ParseLong(value, 1, 20, &v))
                    return StrPrintf(Tr("--modes требует число от 1 до 20, а не '%s'",
                                        "--modes needs a number from 1 to 20, not '%s'"),
                                     value);
                oscillation_options.max_modes = spectrum_options.max_peaks = int(v);
                has_modes = true;
            } else {
                return args.TakeTime(std::string("--") + std::string(name), value);
            }
            return {};
        },
        &files);
    if (status != kGoOn) return status;
    if (files.empty())
        return UsageError(kCommandLine, Tr("не задан файл записи", "no recording file given"));
    if (!has_channel)
        return UsageError(kCommandLine, Tr("не задан канал: --channel ИМЯ|НОМЕР",
                                           "no channel given: --channel NAME|NUMBER"));
    if (kind == Kind::kNone)
        return UsageError(kCommandLine,
                          Tr("не задан анализ: --step, --oscillation или --spectrum",
                             "no analysis given: --step, --oscillation or --spectrum"));
    // An option the chosen analysis would ignore is refused: the user meant something else.
    if (kind != Kind::kStep && (step_options.at.has_value() || has_band))
        return UsageError(kCommandLine, Tr("--at и --band относятся только к --step",
                                           "--at and --band go with --step only"));
    if (kind == Kind::kStep && has_modes)
        return UsageError(kCommandLine, Tr("--modes относится только к --oscillation и --spectrum",
                                           "--modes goes with --oscillation and --spectrum only"));
    if (kind != Kind::kSpectrum && !csv.empty())
        return UsageError(kCommandLine, Tr("--csv записывает только спектр (--spectrum)",
                                           "--csv writes the spectrum only (--spectrum)"));
    args.path = files[0];

    RecordingData data;
    size_t begin = 0, end = 0;
    if (!LoadRecording(args, &data, &begin, &end)) return 1;
    const int c = FindChannel(data.info(), channel);
    if (c < 0) {
        ShowError(StrPrintf(Tr("нет канала '%s' в '%s'", "no channel '%s' in '%s'"),
                            channel.c_str(), args.path.c_str()));
        return 1;
    }
    const SignalWindow window = ChannelWindow(data, c, begin, end);
    std::string error;

    std::vector<ResultRow> rows;
    std::string text;  // the JSON
    const char* analysis = "";
    bool ok = false;
    if (kind == Kind::kStep) {
        StepResult r;
        ok = AnalyzeStep(window, step_options, &r, &error);
        if (ok) {
            rows = StepRows(r);
            text = StepJson(r);
        }
        analysis = Tr("переходная характеристика", "step response");
    } else if (kind == Kind::kOscillation) {
        OscillationResult r;
        ok = AnalyzeOscillation(window, oscillation_options, &r, &error);
        if (ok) {
            rows = OscillationRows(r);
            text = OscillationJson(r);
        }
        analysis = Tr("колебательные моды", "oscillation modes");
    } else {
        SpectrumResult r;
        ok = AnalyzeSpectrum(window, spectrum_options, &r, &error);
        if (ok) {
            rows = SpectrumRows(r);
            text = SpectrumJson(r);
            // The file before any output: a run that could not write it prints nothing.
            ok = csv.empty() || WriteSpectrumCsv(r, csv, args.path);
            if (!ok) return 1;
        }
        analysis = Tr("спектр", "spectrum");
    }
    if (!ok) {
        ShowError(error);
        return 1;
    }

    // A reader that has gone (`| head`) ends the output with a message, not with SIGPIPE.
    IgnoreBrokenPipeSignal();
    if (json) {
        std::fputs(text.c_str(), stdout);
    } else {
        std::vector<ResultRow> head = {
            {Tr("Файл", "File"), args.path},
            {Tr("Канал", "Channel"),
             StrPrintf(
                 "%s (%d)",
                 size_t(c) < data.info().names.size() ? data.info().names[size_t(c)].c_str() : "",
                 c + 1)},
            {Tr("Окно", "Window"),
             StrPrintf(Tr("%.6f .. %.6f с, отсчётов: %zu", "%.6f .. %.6f s, %zu samples"),
                       window.start, window.end(), window.count)},
            {Tr("Анализ", "Analysis"), analysis},
        };
        if (!csv.empty()) head.push_back({Tr("Спектр в CSV", "Spectrum CSV"), csv});
        head.insert(head.end(), rows.begin(), rows.end());
        PrintRows(head);
    }
    if (!FlushOutput()) {
        std::fprintf(stderr, "%s\n",
                     Tr("korvex-cli analyze: стандартный вывод закрыт",
                        "korvex-cli analyze: the standard output is closed"));
        return 1;
    }
    return 0;
}

}  // namespace korvex::cli
