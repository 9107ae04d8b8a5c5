// SPDX-License-Identifier: GPL-3.0-or-later
#include <signal.h>

#include <atomic>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/ErrorReport.h"
#include "app/Language.h"
#include "app/StrPrintf.h"
#include "cli/Args.h"
#include "cli/Commands.h"
#include "cli/Terminal.h"
#include "link/ModBus.h"
#include "recorder/RecorderLink.h"
#include "recorder/RecorderPoll.h"
#include "recorder/RecorderTexts.h"
#include "recorder/RecordingReader.h"

namespace korvex::cli {

namespace {

void Usage(FILE* out) {
    std::fputs(
        Tr("Использование: korvex-cli recorder --port УСТРОЙСТВО [--baud 115200|230400] "
           "ДЕЙСТВИЕ\n"
           "\n"
           "Переключает регулятор в ModBus на скорости осциллографа, выполняет действие с его\n"
           "аварийным осциллографом и возвращает регулятор в обычный режим.\n"
           "\n"
           "Действия:\n"
           "  list          строка состояния и записи, как их показывает окно осциллографа\n"
           "  read N        читает запись N (с 1) в файл записи и выводит его путь;\n"
           "                Ctrl-C, SIGTERM или закрытый терминал останавливают чтение между\n"
           "                секторами: прочитанное сохраняется, путь выводится, на stderr -\n"
           "                после скольких секторов, код завершения 3\n"
           "  write on|off  включает или выключает ручную запись\n",
           "Usage: korvex-cli recorder --port DEVICE [--baud 115200|230400] ACTION\n"
           "\n"
           "Switches the regulator into ModBus at the recorder speed, runs the action on its\n"
           "fault recorder and takes it back to its normal mode.\n"
           "\n"
           "Actions:\n"
           "  list          the status line and the recordings as the recorder window shows them\n"
           "  read N        reads recording N (from 1) into a recording file and prints its path;\n"
           "                Ctrl-C, SIGTERM or a closed terminal stop it between sectors: what\n"
           "                was read is kept, its path printed, after how many sectors the read\n"
           "                stopped goes to stderr, and the exit status is 3\n"
           "  write on|off  switches manual recording on or off\n"),
        out);
}

void Show(const std::vector<std::string>& messages) {
    for (const auto& m : messages) ShowError(m);
}

// Characters of a UTF-8 text, for padding columns.
size_t Width(const std::string& s) {
    size_t n = 0;
    for (unsigned char c : s) n += (c & 0xC0) != 0x80;
    return n;
}

std::string Pad(const std::string& s, size_t width) {
    size_t w = Width(s);
    return w >= width ? s + " " : s + std::string(width - w, ' ');
}

void PrintTable(const RecorderPollResult& r) {
    std::printf("%s\n", r.status_text.c_str());
    size_t widths[kRecorderColumns];
    std::string line;
    for (int c = 0; c < kRecorderColumns; ++c) {
        widths[c] = Width(RecorderColumnWidthSample(c));
        line += Pad(RecorderColumnCaption(c), widths[c]);
    }
    std::printf("%s\n", line.c_str());
    for (size_t i = 0; i < r.table.size(); ++i) {
        line.clear();
        for (int c = 0; c < kRecorderColumns; ++c)
            line += Pad(RecorderCellText(r.table[i], int(i), c, int(i) == r.header.current_file),
                        widths[c]);
        while (!line.empty() && line.back() == ' ') line.pop_back();
        std::printf("%s\n", line.c_str());
    }
}

}  // namespace

int RecorderCommand(int argc, char** argv) {
    LinkSettings settings;
    settings.av_baud = 115200;
    long baud = 115200;
    int i = 0;
    for (; i < argc && argv[i][0] == '-'; ++i) {
        std::string a = argv[i];
        bool v = i + 1 < argc;
        if (a == "--help") {
            Usage(stdout);
            return 0;
        } else if (a == "--port" && v) {
            settings.port_name = argv[++i];
        } else if (a == "--baud" && v) {
            if (!ParseLong(argv[++i], 0, LONG_MAX, &baud) || (baud != 115200 && baud != 230400)) {
                std::fprintf(stderr, "%s\n",
                             Tr("korvex-cli recorder: --baud принимает значения 115200 или 230400",
                                "korvex-cli recorder: --baud takes 115200 or 230400"));
                return 2;
            }
        } else {
            Usage(stderr);
            return 2;
        }
    }
    settings.av_baud = uint32_t(baud);
    std::string action = i < argc ? argv[i] : "";
    long number = 0;
    bool on = false;
    bool ok = settings.port_name.size() &&
              ((action == "list" && i + 1 == argc) ||
               (action == "read" && i + 2 == argc && ParseLong(argv[i + 1], 1, 65536, &number)) ||
               (action == "write" && i + 2 == argc &&
                (!std::strcmp(argv[i + 1], "on") || !std::strcmp(argv[i + 1], "off"))));
    if (!ok) {
        Usage(stderr);
        return 2;
    }
    if (action == "write") on = !std::strcmp(argv[i + 1], "on");

    // Ctrl-C, a closed terminal or a kill stop a read between sectors, as Stop does; a
    // list or a switch, which take one exchange or two, run to their end.
    const std::atomic<bool>& stop = StopFlagOnRequest();

    std::vector<std::string> messages;
    RecorderLink link = OpenRecorder(settings, &messages);
    Show(messages);
    if (!link.port) return 1;

    int status = 0;
    RecorderPoller poller(link.port);
    if (action == "write") {
        std::string err;
        if (ModBus_WriteSingleReg(link.port, 1, kRecorderSwitchReg, on ? 1 : 0, &err)) {
            ShowError(err);
            status = 1;
        }
    }
    RecorderPollResult table = poller.Poll();
    Show(table.messages);
    link.link_status = table.link_status;
    if (table.close) {
        status = 1;
    } else if (action == "list" || action == "write") {
        PrintTable(table);
    } else {
        int index = int(number - 1);
        if (index >= int(table.table.size())) {
            ShowError("Недопустимый номер файла");
            status = 1;
        } else if (table.table[size_t(index)].status() == 0) {
            ShowError("Файл нельзя считать");
            status = 1;
        } else if (table.table[size_t(index)].sectors == 0) {
            ShowError("Файл пустой");
            status = 1;
        } else {
            const bool bar = StderrIsTerminal();
            RecorderReadEvents events;
            events.progress = [bar, number](int p) {
                if (bar)
                    std::fprintf(stderr,
                                 Tr("\rЧтение записи %ld: [%-50s] %3d %%",
                                    "\rReading recording %ld: [%-50s] %3d %%"),
                                 number, std::string(size_t(p / 2), '#').c_str(), p);
            };
            RecorderReadResult r =
                ReadRecording(link.port, index, table.table[size_t(index)], stop, events);
            if (bar) std::fprintf(stderr, "\n");
            Show(r.messages);
            if (r.stopped) {
                // A script must be able to tell part of a recording from all of it.
                CFprintf(stderr,
                         Tr("korvex-cli recorder: чтение остановлено, прочитано секторов: %d "
                            "из %d\n",
                            "korvex-cli recorder: read stopped after %d of %d sectors\n"),
                         r.sectors, int(table.table[size_t(index)].sectors));
                status = kStoppedStatus;
            }
            if (!r.path.empty()) std::printf("%s\n", r.path.c_str());
            if (!r.messages.empty()) status = 1;
        }
    }
    messages.clear();
    CloseRecorder(&link, &messages);
    Show(messages);
    return status;
}

}  // namespace korvex::cli
