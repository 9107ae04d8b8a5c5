#include <cstdio>
#include <cstring>

#include "cli/Commands.h"
#include "link/ComPortList.h"

namespace korvex::cli {

int PortsCommand(int argc, char** argv) {
    std::vector<std::string> extra;
    for (int i = 0; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--help")) {
            std::printf(
                "Usage: korvex-cli ports [DEVICE...]\n\n"
                "Lists the serial ports of this machine, one per line; a port that another\n"
                "program holds is shown as \"NAME - Error N\". Devices named on the command\n"
                "line (a simulator's pseudo-terminal, say) are tried and listed first.\n");
            return 0;
        }
        extra.push_back(argv[i]);
    }
    ComPortList list;
    if (!extra.empty()) RS232_EnumPortsFrom(extra, &list);
    RS232_EnumPorts();
    list.ports.insert(list.ports.end(), g_ComPortList.ports.begin(), g_ComPortList.ports.end());
    if (list.ports.empty()) {
        std::fprintf(stderr, "COM-Ports not found\n");
        return 1;
    }
    for (const auto& p : list.ports) {
        if (p.error)
            std::printf("%s - Error %u\n", p.name.c_str(), p.error);
        else
            std::printf("%s\n", p.name.c_str());
    }
    return 0;
}

}  // namespace korvex::cli
