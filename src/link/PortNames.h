// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

namespace korvex {

// Port naming of the platform. On Linux a port is named by its device path
// ("/dev/ttyUSB0", or any absolute path such as a symlink to a pseudo-terminal); a
// Windows-style "COMn" is taken as an alias of /dev/ttyS(n-1), so that a configuration
// line COM=3 still means something. On Windows the names are COM1..COM999 (4 to 6
// characters beginning with "COM").

// Checks a name and gives the path to open. False: the name is refused as invalid
// before any system call. A name that passes may still fail to open.
bool ResolvePortName(const std::string& name, std::string* device_path);

// The ports that exist on this machine, in the order the start dialog lists them.
// Each is then trial-opened by RS232_EnumPorts.
std::vector<std::string> CandidatePortNames();

// True when an open failed because the device does not exist (such a port is not listed).
bool IsNoSuchDeviceError(int error);

}  // namespace korvex
