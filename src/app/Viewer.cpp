// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Viewer.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>
#include <vector>
#endif

#include "app/ErrorReport.h"
#include "app/ProgramDir.h"
#include "app/StrPrintf.h"

#ifndef _WIN32
extern char** environ;
#endif

namespace korvex {

namespace {

#ifdef _WIN32
const char* const kViewerFile = "Trendal.exe";
const char* const kOwnViewer = "korvex-view.exe";
const char* const kProgram = "korvex.exe";

bool Executable(const std::string& path) {
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}
#else
const char* const kViewerFile = "trendal";
const char* const kOwnViewer = "korvex-view";
const char* const kProgram = "korvex";

bool Executable(const std::string& path) {
    return access(path.c_str(), X_OK) == 0;
}
#endif

// Starts `program` on `file` without waiting for it; false when it could not start.
bool Start(const std::string& program, const std::string& file) {
#ifdef _WIN32
    // The command line as the started program's runtime splits it back into its words.
    std::string line = QuoteWindowsArgument(program) + " " + QuoteWindowsArgument(file);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &si, &pi))
        return false;
    // The viewer lives on its own; its handles are not kept.
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
#else
    // Arguments go to the program as they are: no shell, no quoting needed for blanks.
    std::string prog = program;
    std::vector<char*> argv = {prog.data(), const_cast<char*>(file.c_str()), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, prog.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return false;
    // Not waited for: the viewer lives on its own. A detached thread reaps it when it
    // ends, so that no zombie is left behind.
    std::thread([pid] {
        int status = 0;
        waitpid(pid, &status, 0);
    }).detach();
    return true;
#endif
}

}  // namespace

std::string QuoteWindowsArgument(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) return arg;
    // Backslashes count only before a quote: there each one is doubled, and the quote
    // itself escaped; elsewhere they stand as they are.
    std::string out = "\"";
    size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
        } else if (c == '"') {
            out.append(backslashes + 1, '\\');  // the n already there doubled, and one
            backslashes = 0;
        } else {
            backslashes = 0;
        }
        out += c;
    }
    out.append(backslashes, '\\');  // doubled before the closing quote
    out += '"';
    return out;
}

std::string FindViewer() {
    std::string path = GetProgramDir() + kViewerFile;
    return Executable(path) ? path : std::string();
}

std::string ViewerStartupMessage(bool present, bool has_version_record, const Version4& version,
                                 bool own_viewer) {
    if (!present)
        return own_viewer ? std::string()
                          : "Не найден файл Trendal.exe - невозможен просмотр графиков\n";
    const Version4 required = {1, 0, 4, 0};
    if (!has_version_record || CompareVersion4(version, required) >= 0) return {};
    return StrPrintf(
        "Версия файла Trendal.exe устарела (v%d.%d.%d)\nРекомендуется обновить до v%d.%d.%d+",
        int(version[0]), int(version[1]), int(version[2]), 1, 0, 4);
}

int RunViewer(const std::string& file, std::string* err_text) {
    std::string program = FindViewer();
    // Korvex's own viewer shows the whole recording; the main program's viewing mode,
    // its newest rows, where the viewer was not installed.
    if (program.empty()) program = GetProgramDir() + kOwnViewer;
    if (!Executable(program)) program = GetProgramDir() + kProgram;
    if (!Executable(program) || !Start(program, file)) {
        ReportError(err_text, "File Trendal.exe not found!");
        return -1;
    }
    return 0;
}

}  // namespace korvex
