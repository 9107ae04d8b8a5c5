#include "app/Viewer.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>
#include <vector>

#include "app/ErrorReport.h"
#include "app/ProgramDir.h"
#include "app/StrPrintf.h"

extern char** environ;

namespace korvex {

std::string FindViewer() {
    std::string path = GetProgramDir() + "trendal";
    return access(path.c_str(), X_OK) == 0 ? path : std::string();
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

int RunViewer(const std::string& file) {
    std::string program = FindViewer();
    // Korvex's own viewer shows the whole recording; the main program's viewing mode,
    // its newest rows, where the viewer was not installed.
    if (program.empty()) program = GetProgramDir() + "korvex-view";
    if (access(program.c_str(), X_OK) != 0) program = GetProgramDir() + "korvex";
    // Arguments go to the program as they are: no shell, no quoting needed for blanks.
    std::vector<char*> argv = {program.data(), const_cast<char*>(file.c_str()), nullptr};
    pid_t pid = 0;
    if (access(program.c_str(), X_OK) != 0 ||
        posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
        ShowError("File Trendal.exe not found!");
        return -1;
    }
    // Not waited for: the viewer lives on its own. A detached thread reaps it when it
    // ends, so that no zombie is left behind.
    std::thread([pid] {
        int status = 0;
        waitpid(pid, &status, 0);
    }).detach();
    return 0;
}

}  // namespace korvex
