// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>
#include <ctime>
#include <functional>
#include <string>

namespace korvex {

// Where new data files go: DATA beside the program, one directory per day, names that
// begin with the time of day ("hh.mm.ss_" + base name).
//
// The DATA directory is, in this order: $KORVEX_DATA_DIR when set; DATA in the program
// directory when it can be created there and takes files; otherwise the user's data
// directory (Linux: $XDG_DATA_HOME/korvex/DATA, else ~/.local/share/korvex/DATA;
// Windows: %LOCALAPPDATA%\Korvex\DATA). A directory is cached only once it exists, so a
// passing failure is retried by the next call. The day directory is the one of the first
// file of the process: a run past midnight keeps writing into the previous day's
// directory while the names follow the clock. Paths use the platform's separator.
//
// A file is never overwritten: with a "w" mode the file is created exclusively, and
// when the name is taken (two files in one second) a number is added to the time
// prefix: 14.03.09_osc.trd, 14.03.09-2_osc.trd, 14.03.09-3_osc.trd, ... Files are
// binary on every platform: the writers put in the CR LF line ends themselves.
//
// Messages, by the buffer rule, with the system's error code (errno; on Windows
// GetLastError, an existing directory's 183 being no error):
//   "Create Directory %s:  Error=%d (0x%X)"    the DATA directory
//   "Create Directory '%s':  Error=%d (0x%X)"  the day directory
//   "Open file '%s' Error"                     the file
// Not thread-safe: one mode runs at a time.
class DataDirectory {
public:
    struct Options {
        std::string program_dir;         // empty: GetProgramDir()
        std::string env_data_dir;        // value of KORVEX_DATA_DIR, empty when unset
        std::string user_data_dir;       // the user's data directory fallback
        std::function<std::tm()> clock;  // local time; empty: the system clock
    };

    DataDirectory();  // options from the process environment
    explicit DataDirectory(Options options);

    // Creates a new file and returns the open stream (the caller closes it), or null.
    // `full_path`, when given, receives the path built, also when the open fails.
    FILE* Open(const std::string& base_name, const char* mode, std::string* full_path = nullptr,
               std::string* err_text = nullptr);

    const std::string& data_dir() const { return data_dir_; }

private:
    bool EnsureDataDir(std::string* err_text);

    Options options_;
    std::string program_dir_;
    std::string data_dir_;
    std::string day_dir_;
};

// The process-wide data directory.
DataDirectory& ProcessDataDirectory();

// OpenDataFile(base, "w", &path): a new file in the process-wide data directory.
FILE* OpenDataFile(const std::string& base_name, const char* mode, std::string* full_path = nullptr,
                   std::string* err_text = nullptr);

}  // namespace korvex
