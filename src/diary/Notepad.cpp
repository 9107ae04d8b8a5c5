// SPDX-License-Identifier: GPL-3.0-or-later
#include "diary/Notepad.h"

#include <windows.h>

#include "app/ErrorReport.h"
#include "app/Viewer.h"

namespace korvex {

int OpenInNotepad(const std::string& path, std::string* err_text) {
    // No program path: CreateProcess looks for the first word of the line along the
    // search path, the system folder included. The path is UTF-8, the program's ANSI
    // code page (its manifest).
    std::string line = "notepad.exe " + QuoteWindowsArgument(path);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi)) {
        ReportError(err_text, "File notepad.exe not found!");
        return -1;
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return 0;
}

}  // namespace korvex
