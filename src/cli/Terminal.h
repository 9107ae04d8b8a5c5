#pragma once

#include <atomic>

namespace korvex::cli {

// Calls `handler` (from the signal's context: it may only set a flag) when the user
// stops the program: Ctrl-C, a kill (SIGTERM) or, on POSIX, a closed terminal (SIGHUP);
// on Windows Ctrl-C and Ctrl-Break.
void OnStopRequest(void (*handler)(int));

// The same requests as a flag: installs the handler and returns the flag it sets, for
// workers that look at a stop flag between their steps.
const std::atomic<bool>& StopFlagOnRequest();

// Whether standard error is a terminal (progress bars are drawn only there).
bool StderrIsTerminal();

// A write beyond the file-size limit ends with EFBIG, which the writers handle like a
// full disk, instead of the signal that would kill the program in the middle of a row.
void IgnoreFileSizeSignal();

}  // namespace korvex::cli
