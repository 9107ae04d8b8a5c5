// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace korvex {

// The directory of the running program, ending with a separator: where Korvex.cfg, the
// DATA directory and a separate viewer program are looked for.
std::string GetProgramDir();

}  // namespace korvex
