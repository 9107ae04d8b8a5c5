// SPDX-License-Identifier: GPL-3.0-or-later
#include "diary/Notepad.h"

#include <windows.h>

#include "app/ErrorReport.h"
#include "app/Viewer.h"

namespace korvex {

int OpenInNotepad(const std::string& path, std::string* err_text) {
    // Windows' own Notepad from the system folder, named in full: a bare "notepad.exe"
    // would be looked for in the program's folder and the current one first, where
    // anyone who can write there could leave another. Only where the system folder has
    // none is it looked for along the search path. The path is UTF-8, the program's
    // ANSI code page (its manifest).
    char system_dir[MAX_PATH];
    UINT n = GetSystemDirectoryA(system_dir, MAX_PATH);
    std::string program;
    if (n > 0 && n < MAX_PATH) {
        program = std::string(system_dir, n) + "\\notepad.exe";
        if (GetFileAttributesA(program.c_str()) == INVALID_FILE_ATTRIBUTES) program.clear();
    }
    std::string line = "notepad.exe " + QuoteWindowsArgument(path);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(program.empty() ? nullptr : program.c_str(), line.data(), nullptr, nullptr,
                        FALSE, 0, nullptr, nullptr, &si, &pi)) {
        ReportError(err_text, "File notepad.exe not found!");
        return -1;
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return 0;
}

}  // namespace korvex
