// SPDX-License-Identifier: GPL-3.0-or-later
// korvex-cli: Korvex's command-line tool.
#include <signal.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <vector>
#ifdef _WIN32
#include <windows.h>
#endif

#include "app/ErrorReport.h"
#include "app/Language.h"
#include "app/StrPrintf.h"
#include "app/Version.h"
#include "cli/Args.h"
#include "cli/Commands.h"
#include "cli/Terminal.h"

namespace {

using korvex::Tr;

// Messages go to standard error as the operations wrote them, followed by plain lines
// that say what they mean: the error number's meaning, and for a receive that ended
// without an answer (the bare "@" of the link layer) that the regulator did not answer.
class CliErrorSink : public korvex::ErrorSink {
public:
    void ShowError(const std::string& text) override {
        std::fprintf(stderr, "%s\n", text.c_str());
        std::string detail = korvex::ErrorExplanation(text);
        if (!detail.empty()) std::fprintf(stderr, "%s\n", detail.c_str());
        if (text == "@" || (text.size() >= 2 && text.compare(text.size() - 2, 2, "\n@") == 0))
            std::fprintf(stderr, "%s\n",
                         Tr("регулятор не ответил", "no answer from the regulator"));
        std::fflush(stderr);
    }
};

// The program's own options; --lang is taken out before (TakeLanguage) and is listed
// for the usage.
constexpr korvex::cli::Option kOptions[] = {
    {"lang", 0, true, "en|ru", "en|ru", "язык сообщений (по умолчанию: по локали пользователя)",
     "language of the messages (default: by the user's locale)"},
    {"version", 0, false, nullptr, nullptr, "версия программы и лицензия",
     "the program's version and licence"},
};

const korvex::cli::CommandLine kCommandLine = {
    nullptr,
    kOptions,
    true,
    -1,
    "Использование: korvex-cli [--lang en|ru] КОМАНДА [параметры]\n"
    "               korvex-cli КОМАНДА --help\n"
    "\n"
    "Команды:\n"
    "  ports               список последовательных портов, как в стартовом диалоге\n"
    "  view ФАЙЛ           прочитать запись (.trd), как окно просмотра, и вывести\n"
    "                      строку файла, строку состояния и последние значения каналов\n"
    "  osc --port P ...    записать поток осциллографа регулятора без окна\n"
    "                      (--baud, --rate 50|100|125|166, --seconds N;\n"
    "                      Ctrl-C останавливает)\n"
    "  modbus --port P ... переключить регулятор в ModBus RTU, читать и писать регистры,\n"
    "                      посылать сообщения CAN-туннеля (подробнее: --help)\n"
    "  recorder --port P ДЕЙСТВИЕ\n"
    "                      аварийный осциллограф регулятора: список записей, чтение\n"
    "                      записи в файл, включение и выключение ручной записи\n"
    "  diary --port P      прочитать дневники и наборы параметров регулятора в отчёт\n"
    "                      (--print также выводит его)\n"
    "  stats ФАЙЛ          минимум и максимум каждого канала с их временем, среднее\n"
    "                      и СКЗ (--from СЕК --to СЕК для части записи)\n"
    "  export ФАЙЛ --format csv|comtrade|comtrade-ascii [-o ВЫХОД]\n"
    "                      записать запись или её часть в CSV или COMTRADE\n"
    "  analyze ФАЙЛ --channel К --step|--oscillation|--spectrum\n"
    "                      переходная характеристика, колебательные моды или спектр\n"
    "                      одного канала (--json для сценариев)\n"
    "  sample [параметры]  записать синтетическую запись в каталог данных\n"
    "                      (параметры: --rows N, --rate 50|100|125|166, --port ИМЯ)\n",
    "Usage: korvex-cli [--lang en|ru] COMMAND [options]\n"
    "       korvex-cli COMMAND --help\n"
    "\n"
    "Commands:\n"
    "  ports               list the serial ports as the start dialog lists them\n"
    "  view FILE           read a recording (.trd) as the viewer window does and print\n"
    "                      its file line, status line and the latest channel values\n"
    "  osc --port P ...    record the regulator's oscilloscope stream without a window\n"
    "                      (--baud, --rate 50|100|125|166, --seconds N; Ctrl-C stops)\n"
    "  modbus --port P ... switch the regulator into ModBus RTU and read or write\n"
    "                      registers, send CAN-tunnel messages (--help for details)\n"
    "  recorder --port P ACTION\n"
    "                      the regulator's fault recorder: list its recordings, read\n"
    "                      one into a recording file, switch manual recording on or off\n"
    "  diary --port P      read the regulator's diaries and parameter sets into a\n"
    "                      report (--print also prints it)\n"
    "  stats FILE          each channel's minimum and maximum with their times, mean\n"
    "                      and RMS (--from SEC --to SEC for a part of it)\n"
    "  export FILE --format csv|comtrade|comtrade-ascii [-o OUT]\n"
    "                      write a recording, or part of it, as CSV or COMTRADE\n"
    "  analyze FILE --channel C --step|--oscillation|--spectrum\n"
    "                      one channel's step response, oscillation modes or spectrum\n"
    "                      (--json for scripts)\n"
    "  sample [options]    write a synthetic live recording into the data directory\n"
    "                      (options: --rows N, --rate 50|100|125|166, --port NAME)\n",
    "Коды завершения: 0 - успешно, 1 - ошибка, 2 - неверные аргументы, 3 - modbus,\n"
    "recorder read или diary остановлены до конца (Ctrl-C, SIGTERM, закрытый терминал,\n"
    "у modbus также закрытый стандартный вывод); прочитанное до остановки сохраняется.\n"
    "\n"
    "Записи сохраняются в DATA/гггг.мм.дд/ рядом с программой; у установленной программы\n"
    "(или там, куда нельзя писать) - в ~/.local/share/korvex/DATA\n"
    "($XDG_DATA_HOME/korvex/DATA); $KORVEX_DATA_DIR задаёт каталог явно.\n",
    "Exit status: 0 done, 1 failed, 2 bad arguments, 3 a modbus run, recorder read or\n"
    "diary run stopped before its end (Ctrl-C, SIGTERM, a closed terminal, for modbus\n"
    "also a closed standard output); what was read before the stop is kept.\n"
    "\n"
    "Recordings go to DATA/yyyy.mm.dd/ beside the program; for an installed program\n"
    "(or where that cannot be written) to ~/.local/share/korvex/DATA\n"
    "($XDG_DATA_HOME/korvex/DATA); $KORVEX_DATA_DIR names the directory itself.\n",
};

// Takes "--lang en|ru" out of the arguments, wherever it stands before a "--" (the
// commands' own parsers never see it), and chooses the language: that one, or the one
// the user's locale asks for, as the GUI chooses it. False for any other value.
bool TakeLanguage(std::vector<char*>* args) {
    bool russian = korvex::LocaleIsRussian();
    bool ok = true;
    for (size_t i = 1; i < args->size() && std::strcmp((*args)[i], "--") != 0;) {
        if (std::strcmp((*args)[i], "--lang") != 0) {
            ++i;
            continue;
        }
        const char* value = i + 1 < args->size() ? (*args)[i + 1] : "";
        if (!std::strcmp(value, "ru") || !std::strcmp(value, "en"))
            russian = !std::strcmp(value, "ru");
        else
            ok = false;
        const size_t taken = i + 1 < args->size() ? 2 : 1;
        args->erase(args->begin() + std::ptrdiff_t(i), args->begin() + std::ptrdiff_t(i + taken));
    }
    korvex::g_bRussian = russian;
    return ok;
}

int Run(int argc, char** argv) {
    using namespace korvex::cli;
    static const struct {
        const char* name;
        int (*run)(int argc, char** argv);
    } kCommands[] = {
        {"ports", PortsCommand},     {"view", ViewCommand},     {"osc", OscCommand},
        {"modbus", ModBusCommand},   {"sample", SampleCommand}, {"recorder", RecorderCommand},
        {"stats", StatsCommand},     {"export", ExportCommand}, {"diary", DiaryCommand},
        {"analyze", AnalyzeCommand},
    };
    bool version = false;
    std::vector<char*> rest;  // the command and its arguments
    const int status = ParseOptions(
        kCommandLine, argc, argv,
        [&version](std::string_view name, const char*) {
            version = version || name == "version";
            return std::string();
        },
        &rest);
    if (status != kGoOn) return status;
    if (version) {
        std::fputs(korvex::VersionText("korvex-cli").c_str(), stdout);
        return 0;
    }
    if (rest.empty()) return UsageError(kCommandLine, Tr("не задана команда", "no command given"));
    const int count = int(rest.size());
    rest.push_back(nullptr);  // argv[argc]
    for (const auto& c : kCommands)
        if (!std::strcmp(rest[0], c.name)) return c.run(count, rest.data());
    return UsageError(
        kCommandLine,
        korvex::StrPrintf(Tr("неизвестная команда '%s'", "unknown command '%s'"), rest[0]));
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    // Every text is UTF-8: a console shows it as such for this run, and gets its own code
    // page (866 on a Russian system) back at the end.
    struct ConsoleCodePage {
        UINT saved = GetConsoleOutputCP();
        ConsoleCodePage() { SetConsoleOutputCP(CP_UTF8); }
        ~ConsoleCodePage() {
            if (saved) SetConsoleOutputCP(saved);
        }
    } console_code_page;
#endif
    // Every operation returns its errors as values; only memory can run out on the way,
    // and that ends the program with a message instead of an abort.
    try {
        std::vector<char*> args(argv, argv + argc);
        if (!TakeLanguage(&args)) {
            return korvex::cli::UsageError(
                kCommandLine, Tr("--lang принимает значения en или ru", "--lang takes en or ru"));
        }
        // A file-size limit ends a write with EFBIG, which the writers handle like a full
        // disk (the row cut back, a message); by default the signal would kill the program
        // in the middle of a row.
        korvex::cli::IgnoreFileSizeSignal();
        CliErrorSink sink;
        korvex::ScopedErrorSink scoped(&sink);
        const int count = int(args.size());
        args.push_back(nullptr);  // argv[argc]
        return Run(count, args.data());
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "%s\n",
                     Tr("korvex-cli: не хватает памяти", "korvex-cli: out of memory"));
        return 1;
    } catch (const std::exception& e) {
        // A thread the system would not start, and the like.
        std::fprintf(stderr,
                     Tr("korvex-cli: системная ошибка: %s\n", "korvex-cli: system error: %s\n"),
                     e.what());
        return 1;
    }
}
