// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korvex {

struct ComPortEntry {
    std::string name;
    // 0 if the port could be opened; otherwise the error number of the trial open
    // (16, busy, when another program holds the port).
    uint32_t error = 0;
};

// The ports found at start, in list order.
struct ComPortList {
    std::vector<ComPortEntry> ports;
};

extern ComPortList g_ComPortList;

// Rebuilds g_ComPortList from the ports of this machine: each candidate is opened as
// RS232_Open would and closed at once; a port that does not exist is left out, any
// other failure is listed with its error number. Called on the UI thread while no port
// of the program is open.
void RS232_EnumPorts();

// The same over a given list of names (tests, and ports named on the command line).
void RS232_EnumPortsFrom(const std::vector<std::string>& names, ComPortList* out);

}  // namespace korvex
