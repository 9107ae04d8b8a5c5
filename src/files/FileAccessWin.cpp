// SPDX-License-Identifier: GPL-3.0-or-later
#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include "files/FileAccess.h"

namespace korvex {

namespace {

// The errno value nearest to a Windows error.
int ErrnoOf(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND: return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION: return EACCES;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS: return EEXIST;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL: return ENOSPC;
        case ERROR_WRITE_PROTECT: return EROFS;
        default: return EIO;
    }
}

}  // namespace

int OpenForReading(const std::string& path) {
    return _open(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
}

void CloseFile(int fd) {
    if (fd >= 0) _close(fd);
}

int64_t ReadAt(int fd, void* buf, size_t n, uint64_t offset) {
    HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    if (h == INVALID_HANDLE_VALUE) {
        errno = EBADF;
        return -1;
    }
    OVERLAPPED at{};
    at.Offset = DWORD(offset & 0xFFFFFFFFu);
    at.OffsetHigh = DWORD(offset >> 32);
    DWORD got = 0;
    DWORD want = n > 0x40000000 ? 0x40000000 : DWORD(n);
    if (!::ReadFile(h, buf, want, &got, &at)) {
        DWORD e = GetLastError();
        if (e == ERROR_HANDLE_EOF) return 0;
        errno = ErrnoOf(e);
        return -1;
    }
    return int64_t(got);
}

bool FileSizeAndTime(int fd, uint64_t* size, int64_t* modified) {
    struct _stat64 st {};
    if (_fstat64(fd, &st) != 0) return false;
    *size = uint64_t(st.st_size);
    if (modified) *modified = int64_t(st.st_mtime);
    return true;
}

int CreateNewFile(const std::string& path) {
    return _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                 _S_IREAD | _S_IWRITE);
}

int64_t WriteBytes(int fd, const void* buf, size_t n) {
    return _write(fd, buf, unsigned(n > 0x40000000 ? 0x40000000 : n));
}

int64_t FilePosition(int fd) {
    return _lseeki64(fd, 0, SEEK_CUR);
}

bool CutFileTo(int fd, uint64_t length) {
    return _chsize_s(fd, int64_t(length)) == 0 && _lseeki64(fd, int64_t(length), SEEK_SET) >= 0;
}

bool SyncFile(int fd) {
    return _commit(fd) == 0;
}

int RenameFile(const std::string& from, const std::string& to, bool replace) {
    if (MoveFileExA(from.c_str(), to.c_str(), replace ? MOVEFILE_REPLACE_EXISTING : 0)) return 0;
    return ErrnoOf(GetLastError());
}

bool RemoveFile(const std::string& path) {
    return DeleteFileA(path.c_str()) != 0;
}

bool PathExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

uint64_t PhysicalMemoryBytes() {
    MEMORYSTATUSEX m{};
    m.dwLength = sizeof m;
    return GlobalMemoryStatusEx(&m) ? uint64_t(m.ullTotalPhys) : 0;
}

std::tm LocalTimeOf(std::time_t t) {
    std::tm tm{};
    localtime_s(&tm, &t);
    return tm;
}

}  // namespace korvex
