// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/DataDirectory.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <cstdlib>
#include <cstring>

#include "app/ErrorReport.h"
#include "app/ProgramDir.h"
#include "app/StrPrintf.h"
#include "files/FileAccess.h"

namespace korvex {

namespace {

#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

std::tm SystemLocalTime() {
    return LocalTimeOf(std::time(nullptr));
}

std::string EnvOrEmpty(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

bool IsSeparator(char c) {
    return c == '/' || c == kSeparator;
}

#ifdef _WIN32
// The user's local application data folder.
std::string UserDataDir() {
    std::string local = EnvOrEmpty("LOCALAPPDATA");
    return local.empty() ? std::string() : local + "\\Korvex\\DATA";
}

// CreateDirectory that treats an existing directory as success (error 183); 0 or the
// system error code.
int MakeDir(const std::string& path) {
    if (CreateDirectoryA(path.c_str(), nullptr)) return 0;
    DWORD e = GetLastError();
    if (e == ERROR_ALREADY_EXISTS) {
        DWORD a = GetFileAttributesA(path.c_str());
        if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY)) return 0;
    }
    return int(e);
}

// Whether files can be made in the directory: a file made and removed again (a
// directory's attributes do not tell). 0 or the system error code.
int CheckWritable(const std::string& dir) {
    std::string probe = dir + "\\.korvex-write-check";
    HANDLE h = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE) return int(GetLastError());
    CloseHandle(h);
    return 0;
}

bool IsAccessError(int e) {
    return e == ERROR_ACCESS_DENIED || e == ERROR_WRITE_PROTECT;
}

bool Missing(const std::string& path) {
    return GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES;
}
#else
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

int CheckWritable(const std::string& dir) {
    return access(dir.c_str(), W_OK | X_OK) == 0 ? 0 : errno;
}

bool IsAccessError(int e) {
    return e == EACCES || e == EROFS || e == EPERM;
}

bool Missing(const std::string& path) {
    return access(path.c_str(), F_OK) != 0 && errno == ENOENT;
}
#endif

// A directory that installed programs live in: never a place for a user's recordings,
// even where it can be written (a program run as root).
bool IsSystemProgramDir(const std::string& dir) {
#ifdef _WIN32
    (void)dir;
    return false;  // Program Files cannot be written; the check below finds it
#else
    for (const char* prefix : {"/usr/", "/bin/", "/sbin/", "/opt/", "/lib", "/snap/"})
        if (dir.rfind(prefix, 0) == 0) return true;
    return false;
#endif
}

// Makes a directory with its missing parents, for the user's data directory.
int MakeDirs(const std::string& path) {
    for (size_t pos = 1; pos < path.size(); ++pos) {
        if (!IsSeparator(path[pos])) continue;
        // A drive ("C:") is no directory to make.
        if (pos == 2 && path[1] == ':') continue;
        int e = MakeDir(path.substr(0, pos));
        if (e) return e;
    }
    return MakeDir(path);
}

// Opens a data file; with a "w" mode the file must be new: -1 and *taken when its name
// is. Always binary: the writers put the CR LF line ends in themselves.
FILE* OpenFile(const std::string& path, const char* mode, bool* taken) {
    *taken = false;
    bool plus = std::strchr(mode, '+') != nullptr;
#ifdef _WIN32
    int flags = _O_BINARY | _O_NOINHERIT;
    const int create = _O_CREAT, exclusive = _O_EXCL, append = _O_APPEND;
    const int rdwr = _O_RDWR, wronly = _O_WRONLY, rdonly = _O_RDONLY;
#else
    int flags = O_CLOEXEC;
    const int create = O_CREAT, exclusive = O_EXCL, append = O_APPEND;
    const int rdwr = O_RDWR, wronly = O_WRONLY, rdonly = O_RDONLY;
#endif
    std::string fmode;
    switch (mode[0]) {
        case 'w':
            flags |= (plus ? rdwr : wronly) | create | exclusive;
            fmode = plus ? "w+b" : "wb";
            break;
        case 'a':
            flags |= (plus ? rdwr : wronly) | create | append;
            fmode = plus ? "a+b" : "ab";
            break;
        default:
            flags |= plus ? rdwr : rdonly;
            fmode = plus ? "r+b" : "rb";
            break;
    }
#ifdef _WIN32
    int fd = _open(path.c_str(), flags, _S_IREAD | _S_IWRITE);
#else
    int fd = open(path.c_str(), flags, 0666);
#endif
    if (fd < 0) {
        *taken = errno == EEXIST && mode[0] == 'w';
        return nullptr;
    }
    FILE* f = fdopen(fd, fmode.c_str());
    if (!f) CloseFile(fd);
    return f;
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
    if (!program_dir_.empty() && !IsSeparator(program_dir_.back())) program_dir_ += kSeparator;

    std::string path;
    int error;
    if (!options_.env_data_dir.empty()) {
        path = options_.env_data_dir;
        while (path.size() > 1 && IsSeparator(path.back())) path.pop_back();
        error = MakeDirs(path);
    } else if (IsSystemProgramDir(program_dir_) && !options_.user_data_dir.empty()) {
        path = options_.user_data_dir;
        error = MakeDirs(path);
    } else {
        path = program_dir_ + "DATA";
        error = MakeDir(path);
        // DATA may exist and still not take files (left by another user's run).
        if (!error) error = CheckWritable(path);
        // An installed program cannot write beside itself; its user's data directory
        // takes the recordings instead.
        if (IsAccessError(error) && !options_.user_data_dir.empty()) {
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
        std::string day = StrPrintf("%s%c%4.4d.%2.2d.%2.2d", data_dir_.c_str(), kSeparator,
                                    now.tm_year + 1900, now.tm_mon + 1, now.tm_mday);
        int error = MakeDir(day);
        if (error) {
            ReportError(err_text, StrPrintf("Create Directory '%s':  Error=%d (0x%X)", day.c_str(),
                                            error, unsigned(error)));
            return nullptr;
        }
        day_dir_ = day;
    }
    // A day directory removed while the program runs is made again, not failed on.
    if (Missing(day_dir_)) {
        int error = MakeDirs(day_dir_);
        if (error) {
            ReportError(err_text, StrPrintf("Create Directory '%s':  Error=%d (0x%X)",
                                            day_dir_.c_str(), error, unsigned(error)));
            return nullptr;
        }
    }
    std::string prefix = StrPrintf("%s%c%2.2d.%2.2d.%2.2d", day_dir_.c_str(), kSeparator,
                                   now.tm_hour, now.tm_min, now.tm_sec);
    std::string path = prefix + "_" + base_name;
    bool taken = false;
    FILE* f = OpenFile(path, mode, &taken);
    for (int n = 2; !f && taken && n < 10000; ++n) {
        path = prefix + "-" + std::to_string(n) + "_" + base_name;
        f = OpenFile(path, mode, &taken);
    }
    if (full_path) *full_path = path;
    if (!f) {
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
