// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Config.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/ProgramDir.h"
#include "app/StrPrintf.h"

namespace korvex {

namespace {

uint32_t NumberAfter(const char* p) {
    while (*p == ' ' || *p == '\t') ++p;
    uint32_t v = 0;
    while (*p >= '0' && *p <= '9') v = v * 10 + uint32_t(*p++ - '0');
    return v;
}

}  // namespace

bool ReadConfigFile(const std::string& path, ConfigValues* cfg) {
    FILE* f = std::fopen(path.c_str(), "r");
    if (!f) return false;
    char line[199];
    while (std::fgets(line, sizeof line, f)) {
        for (char* c = line; *c; ++c) *c = char(std::toupper(static_cast<unsigned char>(*c)));
        if (!std::strncmp(line, "COM=", 4))
            cfg->cfg_port = StrPrintf("COM%d", int(NumberAfter(line + 4)));
        else if (!std::strncmp(line, "BAUD1=", 6))
            cfg->cfg_baud1 = NumberAfter(line + 6);
        else if (!std::strncmp(line, "FSAM=", 5))
            cfg->cfg_fsam = NumberAfter(line + 5);
        else if (!std::strncmp(line, "BAUD2=", 6))
            cfg->cfg_baud2 = NumberAfter(line + 6);
    }
    std::fclose(f);
    return true;
}

std::vector<std::string> ConfigFilePaths() {
    std::vector<std::string> paths = {GetProgramDir() + "Korvex.cfg"};
#ifdef _WIN32
    return paths;  // beside the program only, as it always was there
#endif
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    if (xdg && xdg[0] == '/')
        paths.push_back(std::string(xdg) + "/korvex/Korvex.cfg");
    else if (home && home[0])
        paths.push_back(std::string(home) + "/.config/korvex/Korvex.cfg");
    return paths;
}

ConfigValues ReadConfigFile() {
    ConfigValues cfg;
    for (const auto& p : ConfigFilePaths()) ReadConfigFile(p, &cfg);
    return cfg;
}

}  // namespace korvex
