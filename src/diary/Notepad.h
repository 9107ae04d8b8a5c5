// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace korvex {

// Windows: starts notepad.exe from the system folder (else found along the search path)
// on the report `path` (its only argument; argument 0 is "notepad.exe") without waiting
// for it. Returns 0, or -1 with "File notepad.exe not
// found!" (buffer rule) when it could not start; the report stays complete on disk.
// Any thread. Linux desktops have no Notepad: there the report opens in Korvex's own
// report window instead.
int OpenInNotepad(const std::string& path, std::string* err_text = nullptr);

}  // namespace korvex
