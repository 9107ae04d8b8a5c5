#include "files/ExportFile.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <random>

#include "app/ErrorReport.h"
#include "app/StrPrintf.h"

namespace korvex {

bool PathExists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

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
    size_t slash = path.rfind('/');
    std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    // Created with the mode a new file gets (0666 less the umask), under a name no one
    // else uses: the name's own random suffix, tried again on the rare clash.
    static thread_local std::mt19937_64 rng{std::random_device{}()};
    int e = EEXIST;
    for (int attempt = 0; attempt < 100 && fd_ < 0 && e == EEXIST; ++attempt) {
        temp_ = dir + "." + name + StrPrintf(".%016llx", static_cast<unsigned long long>(rng()));
        fd_ = open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
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
        ssize_t n = write(fd_, p, left);
        if (n < 0 && errno == EINTR) continue;
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
    if (!error_ && fsync(fd_) != 0 && errno != EINVAL && errno != EROFS) error_ = errno;
    if (close(fd_) != 0 && !error_) error_ = errno;
    fd_ = -1;
    if (error_) {
        ReportError(err_text, StrPrintf("Write File '%s' error: error %d", path_.c_str(), error_));
        Discard();
        return false;
    }
    int r;
    if (overwrite_) {
        r = rename(temp_.c_str(), path_.c_str());
    } else {
        // Never replaces a file that appeared while the export ran. Where the file system
        // cannot rename without replacing, a last look is all there is.
        r = renameat2(AT_FDCWD, temp_.c_str(), AT_FDCWD, path_.c_str(), RENAME_NOREPLACE);
        if (r != 0 && (errno == EINVAL || errno == ENOSYS)) {
            if (PathExists(path_)) {
                errno = EEXIST;
            } else {
                r = rename(temp_.c_str(), path_.c_str());
            }
        }
    }
    if (r != 0) {
        int e = errno;
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
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    if (!temp_.empty()) unlink(temp_.c_str());
    temp_.clear();
    buf_.clear();
}

}  // namespace korvex
