// korvex-sim: the simulated regulator on a pseudo-terminal.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "sim/SimRegulator.h"

namespace {

volatile sig_atomic_t g_stop = 0;
void OnSignal(int) { g_stop = 1; }

void Usage(FILE* out) {
    std::fprintf(out,
                 "Usage: korvex-sim [options]\n"
                 "\n"
                 "Simulates the regulator's RS-232 port on a pseudo-terminal. The first line of\n"
                 "output is \"PORT <device>\": give that device to korvex or korvex-cli as the port.\n"
                 "The port starts in the regulator's normal mode (9600 baud) and follows the\n"
                 "mode-switch frames the program sends. Runs until interrupted (Ctrl-C).\n"
                 "\n"
                 "Options:\n"
                 "  --link PATH   also make PATH a symbolic link to the device (removed at exit;\n"
                 "                an existing file that is not a link is never replaced)\n"
                 "  --verbose     log mode changes and frames on standard error\n"
                 "  --help        show this text\n");
}

}  // namespace

int main(int argc, char** argv) {
    std::string link_path;
    bool verbose = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            Usage(stdout);
            return 0;
        } else if (a == "--link" && i + 1 < argc) {
            link_path = argv[++i];
        } else if (a == "--verbose" || a == "-v") {
            verbose = true;
        } else {
            std::fprintf(stderr, "korvex-sim: unknown option '%s'\n\n", a.c_str());
            Usage(stderr);
            return 2;
        }
    }

    korvex::sim::SimRegulator sim;
    if (verbose) sim.SetLogger([](const std::string& t) { std::fprintf(stderr, "sim: %s\n", t.c_str()); });
    std::string error;
    if (!sim.Start(&error)) {
        std::fprintf(stderr, "korvex-sim: %s\n", error.c_str());
        return 1;
    }
    std::printf("PORT %s\n", sim.port_path().c_str());
    std::fflush(stdout);

    if (!link_path.empty()) {
        struct stat st {};
        if (lstat(link_path.c_str(), &st) == 0) {
            if (!S_ISLNK(st.st_mode)) {
                std::fprintf(stderr, "korvex-sim: %s exists and is not a link; not replaced\n",
                             link_path.c_str());
                return 1;
            }
            unlink(link_path.c_str());
        }
        if (symlink(sim.port_path().c_str(), link_path.c_str()) != 0) {
            std::fprintf(stderr, "korvex-sim: cannot link %s: %s\n", link_path.c_str(), std::strerror(errno));
            return 1;
        }
    }

    sigset_t block, old;
    sigemptyset(&block);
    sigaddset(&block, SIGINT);
    sigaddset(&block, SIGTERM);
    sigaddset(&block, SIGHUP);
    sigprocmask(SIG_BLOCK, &block, &old);
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    while (!g_stop) sigsuspend(&old);

    sim.Stop();
    if (!link_path.empty()) unlink(link_path.c_str());
    return 0;
}
