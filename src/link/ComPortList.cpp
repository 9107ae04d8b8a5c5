// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/ComPortList.h"

#include "link/PortNames.h"
#include "link/RS232PortState.h"

namespace korvex {

ComPortList g_ComPortList;

void RS232_EnumPortsFrom(const std::vector<std::string>& names, ComPortList* out) {
    out->ports.clear();
    for (const auto& name : names) {
        std::string path;
        if (!ResolvePortName(name, &path)) continue;
        int error = 0;
        intptr_t fd = OpenDeviceExclusive(path, &error);
        if (fd >= 0) {
            CloseDevice(fd);
            out->ports.push_back({name, 0});
        } else if (!IsNoSuchDeviceError(error)) {
            out->ports.push_back({name, static_cast<uint32_t>(error)});
        }
    }
}

void RS232_EnumPorts() {
    RS232_EnumPortsFrom(CandidatePortNames(), &g_ComPortList);
}

}  // namespace korvex
