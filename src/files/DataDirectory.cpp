#include "files/DataDirectory.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "app/ErrorReport.h"
#include "app/ProgramDir.h"
#include "app/StrPrintf.h"

namespace korvex {

namespace {

std::tm SystemLocalTime() {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return tm;
}

std::string EnvOrEmpty(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

std::string UserDataDir() {
    std::string xdg = EnvOrEmpty("XDG_DATA_HOME");
    if (!xdg.empty() && xdg[0] == '/') return xdg + "/korvex/DATA";
    std::string home = EnvOrEmpty("HOME");
    if (home.empty()) return {};
    return home + "/.local/share/korvex/DATA";
}

// mkdir that treats an existing directory as success; 0 or the error number.
int MakeDir(const std::string& path) {
    if (mkdir(path.c_str(), 0777) == 0) return 0;
    int e = errno;
    struct stat st {};
    if (e == EEXIST && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return 0;
    return e;
}

// mkdir -p for the user's data directory, whose parents may not exist yet.
int MakeDirs(const std::string& path) {
    for (size_t pos = 1; (pos = path.find('/', pos)) != std::string::npos; ++pos) {
        int e = MakeDir(path.substr(0, pos));
        if (e) return e;
    }
    return MakeDir(path);
}

int OpenFlags(const char* mode, bool* exclusive) {
    bool plus = std::strchr(mode, '+') != nullptr;
    *exclusive = false;
    switch (mode[0]) {
        case 'w': *exclusive = true; return (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_EXCL;
        case 'a': return (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_APPEND;
        default: return plus ? O_RDWR : O_RDONLY;
    }
}

}  // namespace

DataDirectory::DataDirectory()
    : DataDirectory(Options{"", EnvOrEmpty("KORVEX_DATA_DIR"), UserDataDir(), {}}) {}

DataDirectory::DataDirectory(Options options) : options_(std::move(options)) {
    if (!options_.clock) options_.clock = SystemLocalTime;
}

bool DataDirectory::EnsureDataDir(std::string* err_text) {
    if (!data_dir_.empty()) return true;
    if (program_dir_.empty())
        program_dir_ = options_.program_dir.empty() ? GetProgramDir() : options_.program_dir;
    if (!program_dir_.empty() && program_dir_.back() != '/') program_dir_ += '/';

    std::string path;
    int error;
    if (!options_.env_data_dir.empty()) {
        path = options_.env_data_dir;
        while (path.size() > 1 && path.back() == '/') path.pop_back();
        error = MakeDirs(path);
    } else {
        path = program_dir_ + "DATA";
        error = MakeDir(path);
        // DATA may exist and still not take files (left by another user's run).
        if (!error && access(path.c_str(), W_OK | X_OK) != 0) error = errno;
        // An installed program cannot write beside itself; its user's data directory
        // takes the recordings instead.
        if ((error == EACCES || error == EROFS || error == EPERM) &&
            !options_.user_data_dir.empty()) {
            path = options_.user_data_dir;
            error = MakeDirs(path);
        }
    }
    if (error) {
        ReportError(err_text, StrPrintf("Create Directory %s:  Error=%d (0x%X)", path.c_str(),
                                        error, unsigned(error)));
        return false;
    }
    data_dir_ = path;
    return true;
}

FILE* DataDirectory::Open(const std::string& base_name, const char* mode, std::string* full_path,
                          std::string* err_text) {
    if (!EnsureDataDir(err_text)) return nullptr;
    std::tm now = options_.clock();
    if (day_dir_.empty()) {
        std::string day = StrPrintf("%s/%4.4d.%2.2d.%2.2d", data_dir_.c_str(), now.tm_year + 1900,
                                    now.tm_mon + 1, now.tm_mday);
        int error = MakeDir(day);
        if (error) {
            ReportError(err_text, StrPrintf("Create Directory '%s':  Error=%d (0x%X)", day.c_str(),
                                            error, unsigned(error)));
            return nullptr;
        }
        day_dir_ = day;
    }
    // A day directory removed while the program runs is made again, not failed on.
    if (access(day_dir_.c_str(), F_OK) != 0 && errno == ENOENT) {
        int error = MakeDirs(day_dir_);
        if (error) {
            ReportError(err_text, StrPrintf("Create Directory '%s':  Error=%d (0x%X)",
                                            day_dir_.c_str(), error, unsigned(error)));
            return nullptr;
        }
    }
    std::string prefix =
        StrPrintf("%s/%2.2d.%2.2d.%2.2d", day_dir_.c_str(), now.tm_hour, now.tm_min, now.tm_sec);
    std::string path = prefix + "_" + base_name;

    bool exclusive = false;
    int flags = OpenFlags(mode, &exclusive) | O_CLOEXEC;
    int fd = open(path.c_str(), flags, 0666);
    for (int n = 2; fd < 0 && exclusive && errno == EEXIST && n < 10000; ++n) {
        path = prefix + "-" + std::to_string(n) + "_" + base_name;
        fd = open(path.c_str(), flags, 0666);
    }
    if (full_path) *full_path = path;
    FILE* f = fd >= 0 ? fdopen(fd, mode) : nullptr;
    if (!f) {
        if (fd >= 0) close(fd);
        ReportError(err_text, StrPrintf("Open file '%s' Error", path.c_str()));
        return nullptr;
    }
    return f;
}

DataDirectory& ProcessDataDirectory() {
    static DataDirectory dir;
    return dir;
}

FILE* OpenDataFile(const std::string& base_name, const char* mode, std::string* full_path,
                   std::string* err_text) {
    return ProcessDataDirectory().Open(base_name, mode, full_path, err_text);
}

}  // namespace korvex
