// SPDX-License-Identifier: GPL-3.0-or-later
// korvex-sim: the simulated regulator on a pseudo-terminal.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/Version.h"
#include "sim/Regulator.h"

namespace {

volatile sig_atomic_t g_stop = 0;
void OnSignal(int) {
    g_stop = 1;
}

void Usage(FILE* out) {
    std::fprintf(
        out,
        "Usage: korvex-sim [options]\n"
        "\n"
        "Simulates the regulator's RS-232 port on a pseudo-terminal. The first line of\n"
        "output is \"PORT <device>\": give that device to korvex or korvex-cli as the port.\n"
        "The port starts in the regulator's normal mode (9600 baud) and follows the\n"
        "mode-switch frames the program sends. Runs until interrupted (Ctrl-C).\n"
        "\n"
        "Options:\n"
        "  --link PATH         also make PATH a symbolic link to the device (removed at\n"
        "                      exit; an existing file that is not a link is never replaced)\n"
        "  --mode MODE         start in MODE: normal (default) or modbus; in modbus mode\n"
        "                      third-party ModBus masters can poll the port directly\n"
        "  --baud N            ModBus speed with --mode modbus: 115200 (default) or 230400\n"
        "  --modbus-watchdog S back to the normal mode after S seconds without a byte from\n"
        "                      the client in a ModBus mode entered by a switch frame, as the\n"
        "                      stream goes back without keep-alives (default 5; 0: never,\n"
        "                      for a client that leaves it in ModBus mode on purpose)\n"
        "  --fault KIND[:N]    spoil the next N ModBus answers (all when N is left out):\n"
        "                      wrong-address, bad-crc, silent, exception=CODE,\n"
        "                      truncate=BYTES, delay=MS (delay applies to every answer)\n"
        "  --panel KIND        front panel of the stream: selvo (default), selvom, both, none\n"
        "  --version           print the program's version and licence, then end\n"
        "  --stream-version N  stream version in the identify reply (0: 50 Hz only; 2 is\n"
        "                      refused by the program)\n"
        "  --channels N        channels in the stream, 0 to 16 (default 12)\n"
        "  --nbyte N           channel description length (default 40; 0 and 113 are faults)\n"
        "  --stream-fault KIND[:N]  spoil the next N packets (all when N is left out):\n"
        "                      skip-number, repeat-number, out-of-range, nan, silent\n"
        "  --recorder KIND[=N] the fault recorder: bad-format=SECTOR, sequence-gap=SECTOR,\n"
        "                      flags-change=SECTOR, timebeg-change=SECTOR spoil that sector\n"
        "                      of every recording; busy=MS after each sector selection\n"
        "                      (default 30), busy-second=N sectors busy on their second\n"
        "                      chunk, files=N reported, version=N, nchan14 (adds a\n"
        "                      14-channel recording), automatic=SECONDS (records at once)\n"
        "  --diary KIND[=N]    the diaries and parameter sets: input-variant (diaries kept\n"
        "                      in input registers), no-diaries, text-count=N (1001 is\n"
        "                      refused), fail-after=N (diary window reads, then exception\n"
        "                      4), set-count=N (8 is refused), short-select=N,\n"
        "                      short-value=N, wrong-name-echo=N (so many replies spoilt)\n"
        "  --verbose           log mode changes and frames on standard error\n"
        "  --help              show this text\n"
        "\n"
        "ModBus side: slave address 1, 8 data bits, even parity, 1 stop bit; functions 3, 4,\n"
        "6, 16 and 0x41. Registers: 0 channel word, 130-131 version, 144-159 identification,\n"
        "560-565 clock, 0x8000-0x8006 fault recorder header and switch, 0x8100-0x8101\n"
        "recording and sector selection, 0x8200.. sector, 0x8300.. file table, 0x1000-0x1009\n"
        "diary block, 0x1100.. diary window; CAN 0x690 (function 0x41) the service channel's\n"
        "parameter sets.\n");
}

// A fault argument KIND[=VALUE][:N]; N (how many answers or packets it spoils) is -1,
// all of them, when left out. False for a count that is not a positive number.
struct FaultArg {
    std::string kind, value;
    int count = -1;
};

bool ParseFaultArg(const std::string& arg, FaultArg* out) {
    out->kind = arg;
    size_t colon = arg.find(':');
    if (colon != std::string::npos) {
        out->kind = arg.substr(0, colon);
        out->count = std::atoi(arg.c_str() + colon + 1);
        if (out->count <= 0) return false;
    }
    size_t eq = out->kind.find('=');
    if (eq != std::string::npos) {
        out->value = out->kind.substr(eq + 1);
        out->kind.resize(eq);
    }
    return true;
}

// wrong-address, bad-crc, silent, exception=CODE, truncate=BYTES, delay=MS.
bool ApplyFault(const std::string& arg, korvex::sim::ModBusFaults& f) {
    FaultArg a;
    if (!ParseFaultArg(arg, &a)) return false;
    int value = std::atoi(a.value.c_str());
    bool has_value = !a.value.empty();
    if (a.kind == "wrong-address")
        f.wrong_address = a.count;
    else if (a.kind == "bad-crc")
        f.bad_crc = a.count;
    else if (a.kind == "silent")
        f.silent = a.count;
    else if (a.kind == "exception" && has_value)
        f.exception_code = value, f.exception = a.count;
    else if (a.kind == "truncate" && has_value)
        f.truncate_to = value, f.truncate = a.count;
    else if (a.kind == "delay" && has_value)
        f.delay_ms = value;
    else
        return false;
    return true;
}

// skip-number, repeat-number, out-of-range, nan, silent.
bool ApplyStreamFault(const std::string& arg, korvex::sim::StreamFaults& f) {
    FaultArg a;
    if (!ParseFaultArg(arg, &a) || !a.value.empty()) return false;
    if (a.kind == "skip-number")
        f.skip_number = a.count;
    else if (a.kind == "repeat-number")
        f.repeat_number = a.count;
    else if (a.kind == "out-of-range")
        f.out_of_range = a.count;
    else if (a.kind == "nan")
        f.nan = a.count;
    else if (a.kind == "silent")
        f.silent = a.count;
    else
        return false;
    return true;
}

// An option KIND or KIND=N, N from 0 to 65535, against the kinds that take no number and
// the numbers the kinds with one set. False for anything else.
struct NumberSetting {
    const char* kind;
    std::atomic<int>* target;
};

bool ApplyKindOption(const std::string& arg,
                     const std::vector<std::pair<const char*, std::function<void()>>>& flags,
                     const std::vector<NumberSetting>& numbers) {
    size_t eq = arg.find('=');
    std::string kind = arg.substr(0, eq);
    if (eq == std::string::npos) {
        for (const auto& [name, apply] : flags)
            if (kind == name) return apply(), true;
        return false;
    }
    char* end = nullptr;
    long value = std::strtol(arg.c_str() + eq + 1, &end, 10);
    if (end == arg.c_str() + eq + 1 || *end || value < 0 || value > 65535) return false;
    for (const auto& n : numbers)
        if (kind == n.kind) return *n.target = int(value), true;
    return false;
}

// bad-format=K, sequence-gap=K, flags-change=K, timebeg-change=K, busy=MS,
// busy-second=N, files=N, version=N, nchan14, automatic=SECONDS.
bool ApplyRecorderOption(const std::string& arg, korvex::sim::RecorderMemory& recorder) {
    auto& f = *recorder.faults;
    std::atomic<int> automatic{-1};
    bool ok = ApplyKindOption(arg,
                              {{"nchan14",
                                [&] {
                                    korvex::sim::SimRecording r;
                                    r.nchan = 14;
                                    r.start = {2026, 12, 6, 8, 0, 0, 0};
                                    recorder.Add(r);
                                }}},
                              {{"bad-format", &f.bad_format_sector},
                               {"sequence-gap", &f.sequence_gap_sector},
                               {"flags-change", &f.flags_change_sector},
                               {"timebeg-change", &f.timebeg_change_sector},
                               {"busy", &f.busy_ms},
                               {"busy-second", &f.busy_second_chunk},
                               {"files", &f.file_count},
                               {"version", &f.version},
                               {"automatic", &automatic}});
    if (ok && automatic >= 0) recorder.StartAutomatic(9, double(automatic.load()));
    return ok;
}

// input-variant, no-diaries, text-count=N, fail-after=N, set-count=N, short-select=N,
// short-value=N, wrong-name-echo=N.
bool ApplyDiaryOption(const std::string& arg, const korvex::sim::RegulatorModel& model) {
    auto& d = *model.diaries->faults;
    auto& p = *model.parameters->faults;
    return ApplyKindOption(arg,
                           {{"input-variant", [&] { d.input_variant = true; }},
                            {"no-diaries", [&] { model.diaries->SetDiaries({}); }}},
                           {{"text-count", &d.text_count},
                            {"fail-after", &d.fail_after_reads},
                            {"set-count", &p.set_count},
                            {"short-select", &p.short_select},
                            {"short-value", &p.short_value},
                            {"wrong-name-echo", &p.wrong_name_echo}});
}

}  // namespace

int main(int argc, char** argv) {
    std::string link_path;
    std::string mode = "normal";
    uint32_t baud = 115200;
    bool verbose = false;
    korvex::sim::RegulatorModel model;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            Usage(stdout);
            return 0;
        } else if (a == "--link" && i + 1 < argc) {
            link_path = argv[++i];
        } else if (a == "--mode" && i + 1 < argc) {
            mode = argv[++i];
            if (mode != "normal" && mode != "modbus") {
                std::fprintf(stderr, "korvex-sim: unknown mode '%s'\n", mode.c_str());
                return 2;
            }
        } else if (a == "--baud" && i + 1 < argc) {
            baud = uint32_t(std::strtoul(argv[++i], nullptr, 10));
            if (baud != 115200 && baud != 230400) {
                std::fprintf(stderr, "korvex-sim: --baud takes 115200 or 230400\n");
                return 2;
            }
        } else if (a == "--modbus-watchdog" && i + 1 < argc) {
            char* end = nullptr;
            const char* text = argv[++i];
            double seconds = std::strtod(text, &end);
            if (end == text || *end || !(seconds >= 0 && seconds <= 3600)) {
                std::fprintf(stderr, "korvex-sim: --modbus-watchdog takes 0 to 3600 seconds\n");
                return 2;
            }
            model.modbus_options->watchdog_ms = int(seconds * 1000 + 0.5);
        } else if (a == "--fault" && i + 1 < argc) {
            if (!ApplyFault(argv[++i], *model.modbus_faults)) {
                std::fprintf(stderr, "korvex-sim: bad fault '%s'\n", argv[i]);
                return 2;
            }
        } else if (a == "--panel" && i + 1 < argc) {
            std::string p = argv[++i];
            int panel = p == "none"     ? 0
                        : p == "selvo"  ? 1
                        : p == "selvom" ? 2
                        : p == "both"   ? 3
                                        : -1;
            if (panel < 0) {
                std::fprintf(stderr, "korvex-sim: --panel takes selvo, selvom, both or none\n");
                return 2;
            }
            model.stream_options->panel = panel;
        } else if (a == "--version") {
            std::fputs(korvex::VersionText("korvex-sim").c_str(), stdout);
            return 0;
        } else if (a == "--stream-version" && i + 1 < argc) {
            model.stream_options->version = std::atoi(argv[++i]);
        } else if (a == "--channels" && i + 1 < argc) {
            model.stream_options->channels = std::atoi(argv[++i]);
            if (model.stream_options->channels < 0 || model.stream_options->channels > 16) {
                std::fprintf(stderr, "korvex-sim: --channels takes 0 to 16\n");
                return 2;
            }
        } else if (a == "--nbyte" && i + 1 < argc) {
            model.stream_options->nbyte = std::atoi(argv[++i]);
        } else if (a == "--stream-fault" && i + 1 < argc) {
            if (!ApplyStreamFault(argv[++i], *model.stream_faults)) {
                std::fprintf(stderr, "korvex-sim: bad stream fault '%s'\n", argv[i]);
                return 2;
            }
        } else if (a == "--recorder" && i + 1 < argc) {
            if (!ApplyRecorderOption(argv[++i], *model.recorder)) {
                std::fprintf(stderr, "korvex-sim: bad recorder option '%s'\n", argv[i]);
                return 2;
            }
        } else if (a == "--diary" && i + 1 < argc) {
            if (!ApplyDiaryOption(argv[++i], model)) {
                std::fprintf(stderr, "korvex-sim: bad diary option '%s'\n", argv[i]);
                return 2;
            }
        } else if (a == "--verbose" || a == "-v") {
            verbose = true;
        } else {
            std::fprintf(stderr, "korvex-sim: unknown option '%s'\n\n", a.c_str());
            Usage(stderr);
            return 2;
        }
    }

    // Signals are held from the start and taken only while waiting below, so an
    // interrupt that comes while the port and the link are being made still ends the
    // program cleanly, link removed. The simulator's thread inherits the mask.
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

    korvex::sim::SimRegulator sim;
    if (verbose)
        sim.SetLogger([](const std::string& t) { std::fprintf(stderr, "sim: %s\n", t.c_str()); });
    std::string error;
    if (!korvex::sim::StartRegulator(sim, model, &error, mode == "modbus" ? baud : 0)) {
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
            std::fprintf(stderr, "korvex-sim: cannot link %s: %s\n", link_path.c_str(),
                         std::strerror(errno));
            return 1;
        }
    }

    while (!g_stop) sigsuspend(&old);

    sim.Stop();
    if (!link_path.empty()) unlink(link_path.c_str());
    return 0;
}
