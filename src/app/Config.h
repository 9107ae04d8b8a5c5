// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korvex {

// Korvex.cfg: "COM=", "BAUD1=", "FSAM=", "BAUD2=" lines, used only to preselect the
// start dialog. Never written.
struct ConfigValues {
    std::string cfg_port;  // "COM%d" of the COM= number; empty when there was no line
    uint32_t cfg_baud1 = 0;
    uint32_t cfg_fsam = 0;
    uint32_t cfg_baud2 = 0;
};

// Reads one file into `cfg` (values it does not name stay as they are). Each line (at
// most 198 characters; a longer one continues as the next line) is upper-cased and
// tested against the keys in order; the number behind '=' skips leading blanks and
// stops at the first non-digit (no digits: 0). Lines with leading blanks match no key.
// A later line wins. False when the file cannot be opened.
bool ReadConfigFile(const std::string& path, ConfigValues* cfg);

// Where Korvex.cfg is looked for, in reading order (a later file wins): beside the
// program, then the user's configuration directory ($XDG_CONFIG_HOME/korvex, else
// ~/.config/korvex).
std::vector<std::string> ConfigFilePaths();

// Reads every Korvex.cfg of ConfigFilePaths().
ConfigValues ReadConfigFile();

}  // namespace korvex
