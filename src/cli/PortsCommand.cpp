// SPDX-License-Identifier: GPL-3.0-or-later
#include <cstdio>
#include <string>
#include <vector>

#include "app/Language.h"
#include "cli/Args.h"
#include "cli/Commands.h"
#include "link/ComPortList.h"

namespace korvex::cli {

int PortsCommand(int argc, char** argv) {
    static const CommandLine kCommandLine = {
        "ports",
        {},
        false,
        -1,
        "Использование: korvex-cli ports [УСТРОЙСТВО...]\n\n"
        "Выводит последовательные порты этой машины, по одному в строке; порт,\n"
        "занятый другой программой, показан как \"ИМЯ - Error N\". Устройства,\n"
        "названные в командной строке (например, псевдотерминал симулятора),\n"
        "проверяются и выводятся первыми.\n",
        "Usage: korvex-cli ports [DEVICE...]\n\n"
        "Lists the serial ports of this machine, one per line; a port that another\n"
        "program holds is shown as \"NAME - Error N\". Devices named on the command\n"
        "line (a simulator's pseudo-terminal, say) are tried and listed first.\n",
        nullptr,
        nullptr,
    };
    std::vector<char*> devices;
    const int status = ParseOptions(kCommandLine, argc, argv, nullptr, &devices);
    if (status != kGoOn) return status;
    const std::vector<std::string> extra(devices.begin(), devices.end());
    ComPortList list;
    if (!extra.empty()) RS232_EnumPortsFrom(extra, &list);
    RS232_EnumPorts();
    list.ports.insert(list.ports.end(), g_ComPortList.ports.begin(), g_ComPortList.ports.end());
    if (list.ports.empty()) {
        std::fprintf(stderr, "%s\n", Tr("Нет ни одного COM-порта", "COM-Ports not found"));
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
