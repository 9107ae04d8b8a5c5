// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/ExportFile.h"

#include <errno.h>
#include <string.h>
#include <sys/stat.h>

#include <random>

#include "app/ErrorReport.h"
#include "app/Language.h"
#include "app/PathNames.h"
#include "app/StrPrintf.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace korvex {

namespace {

#ifdef _WIN32
// The volume and the file index name a file whatever path, case or link leads to it.
bool FileIdentity(const std::string& path, BY_HANDLE_FILE_INFORMATION* info) {
    HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    bool ok = GetFileInformationByHandle(h, info) != 0;
    CloseHandle(h);
    return ok;
}

std::string FullPathName(const std::string& path) {
    char buf[4096];
    DWORD n = GetFullPathNameA(path.c_str(), DWORD(sizeof buf), buf, nullptr);
    return n && n < sizeof buf ? std::string(buf, n) : path;
}

bool SameFile(const std::string& a, const std::string& b) {
    BY_HANDLE_FILE_INFORMATION x{}, y{};
    if (FileIdentity(a, &x) && FileIdentity(b, &y))
        return x.dwVolumeSerialNumber == y.dwVolumeSerialNumber &&
               x.nFileIndexHigh == y.nFileIndexHigh && x.nFileIndexLow == y.nFileIndexLow;
    // Names on Windows are compared without regard to case.
    return _stricmp(FullPathName(a).c_str(), FullPathName(b).c_str()) == 0;
}
#else
bool SameFile(const std::string& a, const std::string& b) {
    struct stat x, y;
    return stat(a.c_str(), &x) == 0 && stat(b.c_str(), &y) == 0 && x.st_dev == y.st_dev &&
           x.st_ino == y.st_ino;
}
#endif

}  // namespace

ExportFile::~ExportFile() {
    Discard();
}

bool ExportFile::Create(const std::string& path, bool overwrite, std::string* err_text,
                        const std::string& source) {
    Discard();
    path_ = path;
    overwrite_ = overwrite;
    error_ = 0;
    buf_.clear();
    // The recording may be named otherwise than the output ("./r.trd", a link); only the
    // file itself tells.
    if (!source.empty() && PathExists(path) && SameFile(path, source)) {
        ReportError(err_text, StrPrintf(Tr("'%s' — экспортируемая запись: она не заменяется",
                                           "'%s' is the recording being exported: it is not "
                                           "replaced"),
                                        path.c_str()));
        return false;
    }
    buf_.reserve(kFlushAt + (64 << 10));
    if (!overwrite && PathExists(path)) {
        ReportError(err_text, StrPrintf("'%s' already exists", path.c_str()));
        return false;
    }
    size_t slash = LastSeparator(path);
    std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    // Created with the mode a new file gets (0666 less the umask), under a name no one
    // else uses: the name's own random suffix, tried again on the rare clash.
    static thread_local std::mt19937_64 rng{std::random_device{}()};
    int e = EEXIST;
    for (int attempt = 0; attempt < 100 && fd_ < 0 && e == EEXIST; ++attempt) {
        temp_ = dir + "." + name + StrPrintf(".%016llx", static_cast<unsigned long long>(rng()));
        fd_ = CreateNewFile(temp_);
        e = errno;
    }
    if (fd_ < 0) {
        temp_.clear();
        ReportError(err_text, StrPrintf("Create File '%s' error: error %d", path.c_str(), e));
        return false;
    }
    return true;
}

void ExportFile::Flush() {
    const char* p = buf_.data();
    size_t left = buf_.size();
    while (left && !error_ && fd_ >= 0) {
        int64_t n = WriteBytes(fd_, p, left);
        if (n <= 0) {
            error_ = n < 0 ? errno : ENOSPC;
            break;
        }
        p += n;
        left -= size_t(n);
    }
    buf_.clear();
}

bool ExportFile::Commit(std::string* err_text) {
    Flush();
    // On the disk before it takes its name: after a power cut the name shows the whole
    // export or nothing.
    if (!error_ && !SyncFile(fd_)) error_ = errno;
    CloseFile(fd_);
    fd_ = -1;
    if (error_) {
        ReportError(err_text, StrPrintf("Write File '%s' error: error %d", path_.c_str(), error_));
        Discard();
        return false;
    }
    int e = RenameFile(temp_, path_, overwrite_);
    if (e != 0) {
        if (e == EEXIST)
            ReportError(err_text, StrPrintf("'%s' already exists", path_.c_str()));
        else
            ReportError(err_text, StrPrintf("Write File '%s' error: error %d", path_.c_str(), e));
        Discard();
        return false;
    }
    temp_.clear();
    return true;
}

void ExportFile::Discard() {
    CloseFile(fd_);
    fd_ = -1;
    if (!temp_.empty()) RemoveFile(temp_);
    temp_.clear();
    buf_.clear();
}

}  // namespace korvex
