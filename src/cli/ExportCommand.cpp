// SPDX-License-Identifier: GPL-3.0-or-later
#include <cstdio>
#include <cstring>
#include <string>

#include "app/ErrorReport.h"
#include "app/Language.h"
#include "app/PathNames.h"
#include "cli/Commands.h"
#include "cli/RecordingArgs.h"
#include "files/ComtradeExport.h"
#include "files/CsvExport.h"

namespace korvex::cli {

namespace {

void Usage(FILE* out) {
    std::fputs(
        Tr("Использование: korvex-cli export ФАЙЛ --to csv|comtrade|comtrade-ascii [-o ВЫХОД]\n"
           "                         [--from СЕК] [--to СЕК] [--overwrite]\n"
           "\n"
           "Записывает запись или строки между --from и --to (секунды от её первой строки)\n"
           "в CSV или в запись COMTRADE (IEEE C37.111-1999: ВЫХОД.cfg и ВЫХОД.dat, BINARY\n"
           "или ASCII с comtrade-ascii). По умолчанию ВЫХОД - ФАЙЛ без расширения;\n"
           "существующие файлы сохраняются, если не задан --overwrite, а сам ФАЙЛ не\n"
           "заменяется никогда.\n",
           "Usage: korvex-cli export FILE --to csv|comtrade|comtrade-ascii [-o OUT]\n"
           "                         [--from SEC] [--to SEC] [--overwrite]\n"
           "\n"
           "Writes a recording, or the rows between --from and --to (seconds from its first\n"
           "row), as CSV or as a COMTRADE record (IEEE C37.111-1999: OUT.cfg and OUT.dat,\n"
           "BINARY, or ASCII with comtrade-ascii). OUT defaults to FILE without its\n"
           "extension; existing files are kept unless --overwrite is given, and FILE\n"
           "itself is never replaced.\n"),
        out);
}

}  // namespace

int ExportCommand(int argc, char** argv) {
    RecordingArgs args;
    std::string format, out;
    bool overwrite = false, files_only = false;
    for (int i = 0; i < argc; ++i) {
        std::string a = argv[i];
        bool value = i + 1 < argc;
        if (!files_only && a == "--help") {
            Usage(stdout);
            return 0;
        } else if (!files_only && a == "--") {
            files_only = true;
        } else if (!files_only && a == "--overwrite") {
            overwrite = true;
        } else if (!files_only && (a == "-o" || a == "--output") && value) {
            out = argv[++i];
        } else if (!files_only && a == "--to" && value &&
                   (!std::strcmp(argv[i + 1], "csv") || !std::strcmp(argv[i + 1], "comtrade") ||
                    !std::strcmp(argv[i + 1], "comtrade-ascii"))) {
            // "--to" names the format when followed by one, else the end of the range.
            format = argv[++i];
        } else if (int taken = args.Take(argc, argv, &i, files_only, "export"); taken != 0) {
            if (taken < 0) return 2;
        } else {
            Usage(stderr);
            return 2;
        }
    }
    if (args.path.empty() || format.empty()) {
        Usage(stderr);
        return 2;
    }
    if (out.empty()) {
        // Beside the recording, under its name without its type.
        out = WithoutType(args.path);
        if (format == "csv") out += ".csv";
    }
    RecordingData data;
    size_t begin = 0, end = 0;
    if (!LoadRecording(args, &data, &begin, &end)) return 1;
    std::string error;
    bool ok = format == "csv"
                  ? ExportCsv(data, begin, end, out, overwrite, &error)
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
