// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Terminal.h"

#include <signal.h>

#include <cstdio>
#ifdef _WIN32
#include <io.h>
#include <stdio.h>
#else
#include <unistd.h>
#endif

namespace korvex::cli {

void OnStopRequest(void (*handler)(int)) {
#ifdef _WIN32
    signal(SIGINT, handler);
    signal(SIGTERM, handler);
    signal(SIGBREAK, handler);
#else
    struct sigaction sa {};
    sa.sa_handler = handler;
    // A write to a full pipe goes on after the signal instead of failing with EINTR, which
    // stdio would take for a closed output; the commands look at the stop flag between
    // their steps, and the port layer's waits end on the signal all the same.
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
#endif
}

namespace {
// Constructed before any handler can run (the first StopOnRequest makes it); RequestStop
// only stores an atomic and writes to a descriptor, which a signal handler may do.
StopToken& Token() {
    static StopToken token;
    return token;
}
void SetStopRequested(int) {
    Token().RequestStop();
}
}  // namespace

const StopToken& StopOnRequest() {
    const StopToken& token = Token();
    OnStopRequest(SetStopRequested);
    return token;
}

bool StderrIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}

void IgnoreFileSizeSignal() {
#ifdef SIGXFSZ
    signal(SIGXFSZ, SIG_IGN);
#endif
}

void IgnoreBrokenPipeSignal() {
#ifdef SIGPIPE
    signal(SIGPIPE, SIG_IGN);
#endif
}

bool FlushOutput() {
    return std::fflush(stdout) == 0 && !std::ferror(stdout);
}

}  // namespace korvex::cli
