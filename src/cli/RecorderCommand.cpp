// SPDX-License-Identifier: GPL-3.0-or-later
#include <signal.h>

#include <atomic>
#include <climits>
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
#include "cli/Terminal.h"
#include "link/ModBus.h"
#include "recorder/RecorderLink.h"
#include "recorder/RecorderPoll.h"
#include "recorder/RecorderTexts.h"
#include "recorder/RecordingReader.h"

namespace korvex::cli {

namespace {

constexpr Option kOptions[] = {
    {"port", 0, true, "УСТРОЙСТВО", "DEVICE", "порт регулятора (обязателен)",
     "the regulator's port (required)"},
    {"baud", 0, true, "N", "N", "скорость осциллографа: 115200 (по умолчанию) или 230400",
     "the recorder's speed: 115200 (default) or 230400"},
};

const CommandLine kCommandLine = {
    "recorder",
    kOptions,
    true,
    -1,
    "Использование: korvex-cli recorder --port УСТРОЙСТВО [--baud 115200|230400] "
    "ДЕЙСТВИЕ\n"
    "\n"
    "Переключает регулятор в ModBus на скорости осциллографа, выполняет действие с его\n"
    "аварийным осциллографом и возвращает регулятор в обычный режим.\n",
    "Usage: korvex-cli recorder --port DEVICE [--baud 115200|230400] ACTION\n"
    "\n"
    "Switches the regulator into ModBus at the recorder speed, runs the action on its\n"
    "fault recorder and takes it back to its normal mode.\n",
    "Действия:\n"
    "  list          строка состояния и записи, как их показывает окно осциллографа\n"
    "  read N        читает запись N (с 1) в файл записи и выводит его путь;\n"
    "                Ctrl-C, SIGTERM или закрытый терминал останавливают чтение между\n"
    "                секторами: прочитанное сохраняется, путь выводится, на stderr -\n"
    "                после скольких секторов, код завершения 3\n"
    "  write on|off  включает или выключает ручную запись\n",
    "Actions:\n"
    "  list          the status line and the recordings as the recorder window shows them\n"
    "  read N        reads recording N (from 1) into a recording file and prints its path;\n"
    "                Ctrl-C, SIGTERM or a closed terminal stop it between sectors: what\n"
    "                was read is kept, its path printed, after how many sectors the read\n"
    "                stopped goes to stderr, and the exit status is 3\n"
    "  write on|off  switches manual recording on or off\n",
};

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
    std::vector<char*> words;  // the action and its argument
    const int parsed = ParseOptions(
        kCommandLine, argc, argv,
        [&](std::string_view name, const char* value) -> std::string {
            if (name == "port") settings.port_name = value;
            if (name == "baud" &&
                (!ParseLong(value, 0, LONG_MAX, &baud) || (baud != 115200 && baud != 230400)))
                return Tr("--baud принимает значения 115200 или 230400",
                          "--baud takes 115200 or 230400");
            return {};
        },
        &words);
    if (parsed != kGoOn) return parsed;
    if (settings.port_name.empty())
        return UsageError(kCommandLine, Tr("не задан --port", "--port is required"));
    settings.av_baud = uint32_t(baud);
    if (words.empty())
        return UsageError(kCommandLine, Tr("не задано действие: list, read N или write on|off",
                                           "no action given: list, read N or write on|off"));
    const std::string action = words[0];
    const size_t n = words.size();
    long number = 0;
    bool on = false;
    const bool ok = (action == "list" && n == 1) ||
                    (action == "read" && n == 2 && ParseLong(words[1], 1, 65536, &number)) ||
                    (action == "write" && n == 2 &&
                     (!std::strcmp(words[1], "on") || !std::strcmp(words[1], "off")));
    if (!ok) {
        std::string given;
        for (const char* w : words) given += (given.empty() ? "" : " ") + std::string(w);
        return UsageError(kCommandLine,
                          StrPrintf(Tr("неверное действие '%s' (list, read N с N от 1 до 65536, "
                                       "write on|off)",
                                       "bad action '%s' (list, read N with N from 1 to 65536, "
                                       "write on|off)"),
                                    given.c_str()));
    }
    if (action == "write") on = !std::strcmp(words[1], "on");

    // Ctrl-C, a closed terminal or a kill stop a read between sectors, as Stop does; a
    // list or a switch, which take one exchange or two, run to their end.
    const StopToken& stop = StopOnRequest();

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
