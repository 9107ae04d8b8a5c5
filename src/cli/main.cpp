// korvex-cli: Korvex's command-line tool.
#include <signal.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "app/ErrorReport.h"
#include "cli/Commands.h"
#include "cli/Terminal.h"

namespace {

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
            std::fprintf(stderr, "no answer from the regulator\n");
        std::fflush(stderr);
    }
};

void Usage(FILE* out) {
    std::fprintf(
        out,
        "Usage: korvex-cli COMMAND [options]\n"
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
        "  --help              show this text (also after a command)\n"
        "\n"
        "Recordings go to DATA/yyyy.mm.dd/ beside the program, or to $KORVEX_DATA_DIR.\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) {
        Usage(argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    // A file-size limit ends a write with EFBIG, which the writers handle like a full
    // disk (the row cut back, a message); by default the signal would kill the program
    // in the middle of a row.
    korvex::cli::IgnoreFileSizeSignal();
    CliErrorSink sink;
    korvex::ScopedErrorSink scoped(&sink);
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
    std::fprintf(stderr, "korvex-cli: unknown command '%s'\n\n", cmd.c_str());
    Usage(stderr);
    return 2;
}
