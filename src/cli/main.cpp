// SPDX-License-Identifier: GPL-3.0-or-later
// korvex-cli: Korvex's command-line tool.
#include <signal.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>
#ifdef _WIN32
#include <windows.h>
#endif

#include "app/ErrorReport.h"
#include "app/Language.h"
#include "app/Version.h"
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

void Usage(FILE* out) {
    std::fputs(
        Tr("Использование: korvex-cli [--lang en|ru] КОМАНДА [параметры]\n"
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
           "  export ФАЙЛ --to csv|comtrade|comtrade-ascii [-o ВЫХОД]\n"
           "                      записать запись или её часть в CSV или COMTRADE\n"
           "  sample [параметры]  записать синтетическую запись в каталог данных\n"
           "                      (параметры: --rows N, --rate 50|100|125|166, --port ИМЯ)\n"
           "\n"
           "Параметры:\n"
           "  --lang en|ru        язык сообщений (по умолчанию: по локали пользователя)\n"
           "  --help              показать этот текст (также после команды)\n"
           "  --version           версия программы и лицензия\n"
           "\n"
           "Коды завершения: 0 - успешно, 1 - ошибка, 2 - неверные аргументы, 3 - modbus,\n"
           "recorder read или diary остановлены до конца (Ctrl-C, SIGTERM, закрытый терминал,\n"
           "у modbus также закрытый стандартный вывод); прочитанное до остановки сохраняется.\n"
           "\n"
           "Записи сохраняются в DATA/гггг.мм.дд/ рядом с программой; у установленной программы\n"
           "(или там, куда нельзя писать) - в ~/.local/share/korvex/DATA\n"
           "($XDG_DATA_HOME/korvex/DATA); $KORVEX_DATA_DIR задаёт каталог явно.\n",
           "Usage: korvex-cli [--lang en|ru] COMMAND [options]\n"
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
           "  export FILE --to csv|comtrade|comtrade-ascii [-o OUT]\n"
           "                      write a recording, or part of it, as CSV or COMTRADE\n"
           "  sample [options]    write a synthetic live recording into the data directory\n"
           "                      (options: --rows N, --rate 50|100|125|166, --port NAME)\n"
           "\n"
           "Options:\n"
           "  --lang en|ru        language of the messages (default: by the user's locale)\n"
           "  --help              show this text (also after a command)\n"
           "  --version           the program's version and licence\n"
           "\n"
           "Exit status: 0 done, 1 failed, 2 bad arguments, 3 a modbus run, recorder read or\n"
           "diary run stopped before its end (Ctrl-C, SIGTERM, a closed terminal, for modbus\n"
           "also a closed standard output); what was read before the stop is kept.\n"
           "\n"
           "Recordings go to DATA/yyyy.mm.dd/ beside the program; for an installed program\n"
           "(or where that cannot be written) to ~/.local/share/korvex/DATA\n"
           "($XDG_DATA_HOME/korvex/DATA); $KORVEX_DATA_DIR names the directory itself.\n"),
        out);
}

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
    if (argc >= 2 && !std::strcmp(argv[1], "--version")) {
        std::fputs(korvex::VersionText("korvex-cli").c_str(), stdout);
        return 0;
    }
    if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) {
        Usage(argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    std::string cmd = argv[1];
    if (cmd == "ports") return korvex::cli::PortsCommand(argc - 2, argv + 2);
    if (cmd == "view") return korvex::cli::ViewCommand(argc - 2, argv + 2);
    if (cmd == "osc") return korvex::cli::OscCommand(argc - 2, argv + 2);
    if (cmd == "modbus") return korvex::cli::ModBusCommand(argc - 2, argv + 2);
    if (cmd == "sample") return korvex::cli::SampleCommand(argc - 2, argv + 2);
    if (cmd == "recorder") return korvex::cli::RecorderCommand(argc - 2, argv + 2);
    if (cmd == "stats") return korvex::cli::StatsCommand(argc - 2, argv + 2);
    if (cmd == "export") return korvex::cli::ExportCommand(argc - 2, argv + 2);
    if (cmd == "diary") return korvex::cli::DiaryCommand(argc - 2, argv + 2);
    std::fprintf(
        stderr,
        Tr("korvex-cli: неизвестная команда '%s'\n\n", "korvex-cli: unknown command '%s'\n\n"),
        cmd.c_str());
    Usage(stderr);
    return 2;
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
            std::fprintf(stderr, "%s\n",
                         Tr("korvex-cli: --lang принимает значения en или ru",
                            "korvex-cli: --lang takes en or ru"));
            return 2;
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
