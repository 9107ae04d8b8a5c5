// SPDX-License-Identifier: GPL-3.0-or-later
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include "files/FileAccess.h"

namespace korvex {

int OpenForReading(const std::string& path) {
    return open(path.c_str(), O_RDONLY | O_CLOEXEC);
}

void CloseFile(int fd) {
    if (fd >= 0) close(fd);
}

int64_t ReadAt(int fd, void* buf, size_t n, uint64_t offset) {
    for (;;) {
        ssize_t r = pread(fd, buf, n, off_t(offset));
        if (r < 0 && errno == EINTR) continue;
        return r;
    }
}

bool FileSizeAndTime(int fd, uint64_t* size, int64_t* modified) {
    struct stat st {};
    if (fstat(fd, &st) != 0) return false;
    *size = uint64_t(st.st_size);
    if (modified) *modified = int64_t(st.st_mtime);
    return true;
}

int CreateNewFile(const std::string& path) {
    return open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}

int64_t WriteBytes(int fd, const void* buf, size_t n) {
    for (;;) {
        ssize_t w = write(fd, buf, n);
        if (w < 0 && errno == EINTR) continue;
        return w;
    }
}

int64_t FilePosition(int fd) {
    return lseek(fd, 0, SEEK_CUR);
}

bool CutFileTo(int fd, uint64_t length) {
    return ftruncate(fd, off_t(length)) == 0 && lseek(fd, off_t(length), SEEK_SET) >= 0;
}

bool SyncFile(int fd) {
    // A file system that keeps nothing to sync (a pipe, a read-only mount) is no failure.
    return fsync(fd) == 0 || errno == EINVAL || errno == EROFS;
}

int RenameFile(const std::string& from, const std::string& to, bool replace) {
    if (replace) return rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
    // Never replaces a file that appeared meanwhile. Where the file system cannot rename
    // without replacing, a last look is all there is.
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    if (PathExists(to)) return EEXIST;
    return rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

bool RemoveFile(const std::string& path) {
    return unlink(path.c_str()) == 0;
}

bool PathExists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

uint64_t PhysicalMemoryBytes() {
    long pages = sysconf(_SC_PHYS_PAGES), size = sysconf(_SC_PAGE_SIZE);
    return pages > 0 && size > 0 ? uint64_t(pages) * uint64_t(size) : 0;
}

std::tm LocalTimeOf(std::time_t t) {
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm;
}

}  // namespace korvex
