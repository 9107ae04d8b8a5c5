// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

namespace korvex {

// The file calls whose form differs between POSIX and Windows, on plain descriptors.
// Errors come back as -1 (or false) with errno set; Windows calls' errors are turned into
// the nearest errno. Files are always binary: recordings carry their CR LF themselves.

// Opens an existing file for reading; -1 on failure.
int OpenForReading(const std::string& path);
void CloseFile(int fd);

// Reads up to n bytes from `offset` without moving a position that other threads share
// (pread; on Windows ReadFile with the offset in an OVERLAPPED record). Returns the bytes
// read, 0 at the end, -1 on failure.
int64_t ReadAt(int fd, void* buf, size_t n, uint64_t offset);

// The file's length and its time stamp (seconds since 1970).
bool FileSizeAndTime(int fd, uint64_t* size, int64_t* modified);

// Creates a file that must not exist yet (mode 0666 less the umask where there is one);
// -1 with EEXIST when the name is taken.
int CreateNewFile(const std::string& path);
int64_t WriteBytes(int fd, const void* buf, size_t n);
// The position of a descriptor opened for writing, and cutting the file back to it.
int64_t FilePosition(int fd);
bool CutFileTo(int fd, uint64_t length);
// Flushes the file to the disk.
bool SyncFile(int fd);

// Gives `from` the name `to`: replacing a file of that name only with `replace`, else
// failing with EEXIST. 0 or the errno value.
int RenameFile(const std::string& from, const std::string& to, bool replace);
bool RemoveFile(const std::string& path);
bool PathExists(const std::string& path);

// The machine's memory in bytes (0 when unknown).
uint64_t PhysicalMemoryBytes();

// Local time of a time stamp (localtime_r).
std::tm LocalTimeOf(std::time_t t);

}  // namespace korvex
