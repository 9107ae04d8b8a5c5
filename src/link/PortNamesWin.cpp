// SPDX-License-Identifier: GPL-3.0-or-later
#include <windows.h>

#include "link/PortNames.h"

namespace korvex {

bool ResolvePortName(const std::string& name, std::string* device_path) {
    if (name.size() < 4 || name.size() > 6 || name.compare(0, 3, "COM") != 0) return false;
    *device_path = "\\\\.\\" + name;
    return true;
}

std::vector<std::string> CandidatePortNames() {
    std::vector<std::string> out;
    for (int n = 1; n <= 19; ++n) out.push_back("COM" + std::to_string(n));
    return out;
}

bool IsNoSuchDeviceError(int error) {
    return error == ERROR_FILE_NOT_FOUND;
}

}  // namespace korvex
