// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/StopToken.h"

namespace korvex::cli {

// The exit status of a command that a stop request (below) or a closed standard output
// ended before its end: what it had read is kept and printed, so that a script can tell
// a part from the whole.
constexpr int kStoppedStatus = 3;

// Calls `handler` (from the signal's context: it may only set a flag) when the user
// stops the program: Ctrl-C, a kill (SIGTERM) or, on POSIX, a closed terminal (SIGHUP);
// on Windows Ctrl-C and Ctrl-Break.
void OnStopRequest(void (*handler)(int));

// The same requests as a stop token: installs the handler and returns the token it
// asks, for workers that look at it between their steps or wait on it in the port.
const StopToken& StopOnRequest();

// Whether standard error is a terminal (progress bars are drawn only there).
bool StderrIsTerminal();

// A write beyond the file-size limit ends with EFBIG, which the writers handle like a
// full disk, instead of the signal that would kill the program in the middle of a row.
void IgnoreFileSizeSignal();

// A write to a closed pipe (a reader such as `head` that has gone) fails with EPIPE, so
// that the program can end its work properly, instead of the signal that would kill it
// at once. No-op on Windows, which has no such signal.
void IgnoreBrokenPipeSignal();

// Flushes standard output; false once any write to it has failed (a closed pipe, a full
// disk). A command that prints as it goes takes that as a request to stop.
bool FlushOutput();

}  // namespace korvex::cli
