// korvex-cli: Korvex's command-line tool.
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/Commands.h"

namespace {

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
    std::string cmd = argv[1];
    if (cmd == "ports") return korvex::cli::PortsCommand(argc - 2, argv + 2);
    if (cmd == "view") return korvex::cli::ViewCommand(argc - 2, argv + 2);
    if (cmd == "osc") return korvex::cli::OscCommand(argc - 2, argv + 2);
    if (cmd == "modbus") return korvex::cli::ModBusCommand(argc - 2, argv + 2);
    if (cmd == "sample") return korvex::cli::SampleCommand(argc - 2, argv + 2);
    std::fprintf(stderr, "korvex-cli: unknown command '%s'\n\n", cmd.c_str());
    Usage(stderr);
    return 2;
}
