#include "files/ExportFile.h"

#include <errno.h>

#include <random>

#include "app/ErrorReport.h"
#include "app/PathNames.h"
#include "app/StrPrintf.h"

namespace korvex {

ExportFile::~ExportFile() {
    Discard();
}

bool ExportFile::Create(const std::string& path, bool overwrite, std::string* err_text) {
    Discard();
    path_ = path;
    overwrite_ = overwrite;
    error_ = 0;
    buf_.clear();
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
