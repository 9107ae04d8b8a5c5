// SPDX-License-Identifier: GPL-3.0-or-later
#include <dirent.h>
#include <errno.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>

#include "link/PortNames.h"

namespace korvex {

namespace {

bool AllDigits(const std::string& s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c); });
}

// A ttyS node exists for every possible 8250 line; only those with a UART behind them
// are ports. The kernel reports the UART type in sysfs; 0 means no UART.
bool HasUart(const std::string& tty) {
    std::ifstream in("/sys/class/tty/" + tty + "/type");
    int type = 0;
    if (!(in >> type)) return false;
    return type != 0;
}

// Natural order: ttyS2 before ttyS10.
bool NaturalLess(const std::string& a, const std::string& b) {
    size_t ia = a.find_first_of("0123456789");
    size_t ib = b.find_first_of("0123456789");
    std::string pa = a.substr(0, ia), pb = b.substr(0, ib);
    if (pa != pb) return pa < pb;
    long na = ia == std::string::npos ? -1 : std::strtol(a.c_str() + ia, nullptr, 10);
    long nb = ib == std::string::npos ? -1 : std::strtol(b.c_str() + ib, nullptr, 10);
    return na < nb;
}

}  // namespace

bool ResolvePortName(const std::string& name, std::string* device_path) {
    if (!name.empty() && name[0] == '/') {
        *device_path = name;
        return true;
    }
    // The Windows name rule still applies to COM aliases: 4 to 6 characters.
    if (name.size() < 4 || name.size() > 6 || name.compare(0, 3, "COM") != 0) return false;
    std::string number = name.substr(3);
    if (AllDigits(number) && std::stoi(number) >= 1)
        *device_path = "/dev/ttyS" + std::to_string(std::stoi(number) - 1);
    else
        *device_path = "/dev/" + name;  // such as COMX: passes the check, fails to open
    return true;
}

std::vector<std::string> CandidatePortNames() {
    static const char* const kFamilies[] = {"ttyS", "ttyUSB", "ttyACM", "ttyAMA"};
    std::vector<std::string> out;
    DIR* dir = opendir("/dev");
    if (!dir) return out;
    std::vector<std::string> found[4];
    while (dirent* e = readdir(dir)) {
        std::string n = e->d_name;
        for (int f = 0; f < 4; ++f) {
            std::string prefix = kFamilies[f];
            if (n.size() > prefix.size() && n.compare(0, prefix.size(), prefix) == 0 &&
                AllDigits(n.substr(prefix.size()))) {
                if (f == 0 && !HasUart(n)) break;
                found[f].push_back(n);
                break;
            }
        }
    }
    closedir(dir);
    for (auto& family : found) {
        std::sort(family.begin(), family.end(), NaturalLess);
        for (auto& n : family) out.push_back("/dev/" + n);
    }
    return out;
}

bool IsNoSuchDeviceError(int error) {
    return error == ENOENT || error == ENODEV || error == ENXIO;
}

}  // namespace korvex
