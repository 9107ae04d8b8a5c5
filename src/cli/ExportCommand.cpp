// SPDX-License-Identifier: GPL-3.0-or-later
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "app/ErrorReport.h"
#include "app/Language.h"
#include "app/PathNames.h"
#include "app/StrPrintf.h"
#include "cli/Args.h"
#include "cli/Commands.h"
#include "cli/RecordingArgs.h"
#include "cli/Terminal.h"
#include "files/ComtradeExport.h"
#include "files/CsvExport.h"

namespace korvex::cli {

namespace {

constexpr Option kOptions[] = {
    {"format", 0, true, "csv|comtrade|comtrade-ascii", "csv|comtrade|comtrade-ascii",
     "формат (обязателен): CSV, COMTRADE с данными BINARY или ASCII",
     "the format (required): CSV, COMTRADE with BINARY or with ASCII data"},
    {"output", 'o', true, "ВЫХОД", "OUT",
     "имя выхода (по умолчанию ФАЙЛ без расширения); \"-\" - CSV\n"
     "в стандартный вывод",
     "the output's name (default: FILE without its extension); \"-\":\n"
     "CSV on standard output"},
    {"from", 0, true, "СЕК", "SEC", "начало: секунды от первой строки записи",
     "the start, in seconds from the recording's first row"},
    {"to", 0, true, "СЕК", "SEC", "конец, в секундах", "the end, in seconds"},
    {"overwrite", 0, false, nullptr, nullptr, "заменять существующие файлы",
     "replace existing files"},
    {"decimal-comma", 0, false, nullptr, nullptr,
     "CSV с \";\" между полями и десятичной запятой, как его\n"
     "читают таблицы с русскими настройками",
     "CSV with \";\" between fields and a decimal comma, as\n"
     "spreadsheets set to Russian read it"},
};

const CommandLine kCommandLine = {
    "export",
    kOptions,
    false,
    1,
    "Использование: korvex-cli export ФАЙЛ --format csv|comtrade|comtrade-ascii\n"
    "                         [-o ВЫХОД] [--from СЕК] [--to СЕК] [--overwrite]\n"
    "                         [--decimal-comma]\n"
    "\n"
    "Записывает запись или строки между --from и --to (секунды от её первой строки)\n"
    "в CSV или в запись COMTRADE (IEEE C37.111-1999: ВЫХОД.cfg и ВЫХОД.dat, BINARY\n"
    "или ASCII с comtrade-ascii). По умолчанию ВЫХОД - ФАЙЛ без расширения;\n"
    "существующие файлы сохраняются, если не задан --overwrite, а сам ФАЙЛ не\n"
    "заменяется никогда. CSV пишется с \",\" между полями и десятичной точкой, а с\n"
    "--decimal-comma - с \";\" и десятичной запятой.\n",
    "Usage: korvex-cli export FILE --format csv|comtrade|comtrade-ascii\n"
    "                         [-o OUT] [--from SEC] [--to SEC] [--overwrite]\n"
    "                         [--decimal-comma]\n"
    "\n"
    "Writes a recording, or the rows between --from and --to (seconds from its first\n"
    "row), as CSV or as a COMTRADE record (IEEE C37.111-1999: OUT.cfg and OUT.dat,\n"
    "BINARY, or ASCII with comtrade-ascii). OUT defaults to FILE without its\n"
    "extension; existing files are kept unless --overwrite is given, and FILE\n"
    "itself is never replaced. CSV has \",\" between fields and a decimal point; with\n"
    "--decimal-comma \";\" and a decimal comma.\n",
    nullptr,
    nullptr,
};

bool IsFormat(const std::string& s) {
    return s == "csv" || s == "comtrade" || s == "comtrade-ascii";
}

// CSV on standard output: written as a file first, in the temporary directory, so that
// the rows go out as the file export writes them, then copied. False with the message
// shown.
bool ExportCsvToStdout(const RecordingData& data, size_t begin, size_t end, CsvStyle style) {
    std::error_code ec;
    const std::filesystem::path dir = std::filesystem::temp_directory_path(ec);
    if (ec) {
        ShowError(StrPrintf(Tr("Нет временного каталога: %s", "No temporary directory: %s"),
                            ec.message().c_str()));
        return false;
    }
    std::string temp;
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (int n = 0; temp.empty() || std::filesystem::exists(temp, ec); ++n)
        temp = (dir / StrPrintf("korvex-export-%lld-%d.csv", (long long)stamp, n)).string();
    std::string error;
    if (!ExportCsv(data, begin, end, temp, false, &error, {}, style)) {
        ShowError(error);
        return false;
    }
    struct Remove {
        const std::string& path;
        ~Remove() {
            std::error_code ignored;
            std::filesystem::remove(path, ignored);
        }
    } remove{temp};
    FILE* f = std::fopen(temp.c_str(), "rb");
    if (!f) {
        ShowError(StrPrintf("Open File '%s' error", temp.c_str()));
        return false;
    }
#ifdef _WIN32
    // The rows end in CR LF already: a text-mode stdout would make that CR CR LF.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    // A reader that has gone (`| head`) ends the copy with a message, not with SIGPIPE.
    IgnoreBrokenPipeSignal();
    char buf[65536];
    size_t n;
    bool ok = true;
    while (ok && (n = std::fread(buf, 1, sizeof buf, f)) > 0)
        ok = std::fwrite(buf, 1, n, stdout) == n;
    std::fclose(f);
    if (!ok || !FlushOutput()) {
        std::fprintf(stderr, "%s\n",
                     Tr("korvex-cli export: стандартный вывод закрыт",
                        "korvex-cli export: the standard output is closed"));
        return false;
    }
    return true;
}

}  // namespace

int ExportCommand(int argc, char** argv) {
    RecordingArgs args;
    std::string format, out;
    bool overwrite = false;
    // Off unless asked for, in either language: scripts read the output as they always have.
    CsvStyle style;
    std::vector<char*> files;
    const int status = ParseOptions(
        kCommandLine, argc, argv,
        [&](std::string_view name, const char* value) -> std::string {
            if (name == "format") {
                format = value;
                if (!IsFormat(format))
                    return Tr("--format принимает значения csv, comtrade или comtrade-ascii",
                              "--format takes csv, comtrade or comtrade-ascii");
            } else if (name == "output") {
                out = value;
            } else if (name == "overwrite") {
                overwrite = true;
            } else if (name == "decimal-comma") {
                style.decimal_comma = true;
            } else if (name == "to" && IsFormat(value)) {
                // What "--to" meant before the format had an option of its own.
                return Tr(
                    "--to принимает время в секундах; формат задаёт --format "
                    "csv|comtrade|comtrade-ascii",
                    "--to takes a time in seconds; the format is given with --format "
                    "csv|comtrade|comtrade-ascii");
            } else {
                return args.TakeTime(std::string("--") + std::string(name), value);
            }
            return {};
        },
        &files);
    if (status != kGoOn) return status;
    if (files.empty())
        return UsageError(kCommandLine, Tr("не задан файл записи", "no recording file given"));
    if (format.empty())
        return UsageError(kCommandLine,
                          Tr("не задан формат: --format csv|comtrade|comtrade-ascii",
                             "no format given: --format csv|comtrade|comtrade-ascii"));
    if (style.decimal_comma && format != "csv")
        return UsageError(kCommandLine, Tr("--decimal-comma действует только с --format csv",
                                           "--decimal-comma goes with --format csv only"));
    const bool to_stdout = out == "-";
    if (to_stdout && format != "csv")
        return UsageError(kCommandLine,
                          Tr("-o - выводит только CSV: запись COMTRADE - это два файла",
                             "-o - writes CSV only: a COMTRADE record is two files"));
    args.path = files[0];
    if (out.empty()) {
        // Beside the recording, under its name without its type.
        out = WithoutType(args.path);
        if (format == "csv") out += ".csv";
    }
    RecordingData data;
    size_t begin = 0, end = 0;
    if (!LoadRecording(args, &data, &begin, &end)) return 1;
    // The data alone on standard output, for a pipe.
    if (to_stdout) return ExportCsvToStdout(data, begin, end, style) ? 0 : 1;
    std::string error;
    bool ok = format == "csv"
                  ? ExportCsv(data, begin, end, out, overwrite, &error, {}, style)
                  : ExportComtrade(data, begin, end, out, format == "comtrade", overwrite, &error);
    if (!ok) {
        ShowError(error);
        return 1;
    }
    if (format == "csv") {
        std::printf("%s\n", out.c_str());
    } else {
        std::string base = ComtradeBase(out);
        std::printf("%s.cfg\n%s.dat\n", base.c_str(), base.c_str());
    }
    std::printf("%zu rows\n", end - begin);
    return 0;
}

}  // namespace korvex::cli
