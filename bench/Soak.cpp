// SPDX-License-Identifier: GPL-3.0-or-later
// korvex-soak: Korvex against a misbehaving simulated regulator for a long time. It runs,
// in turn, the live stream, ModBus register reads, fault-recorder reads and diary runs,
// each with a fault chosen at random (or none), and checks after every stop that it came
// with its exact message and that nothing complete was lost: the recording holds exactly
// the rows of the packets before the fault, an interrupted recorder read exactly the
// rows of the sectors before the failure. Build it with the asan preset to have leaks
// and memory errors stop it too.
//
//   korvex-soak [--minutes N | --seconds N] [--seed N] [--verbose]
//
// Exits 0 when every check held, 1 with the first failed checks otherwise.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "BenchDir.h"
#include "app/ErrorReport.h"
#include "app/StrPrintf.h"
#include "diary/DiaryRun.h"
#include "files/RecordingData.h"
#include "link/ModBus.h"
#include "link/ModeSwitch.h"
#include "osc/OscStream.h"
#include "recorder/RecorderLink.h"
#include "recorder/RecorderPoll.h"
#include "recorder/RecordingReader.h"
#include "sim/Regulator.h"

using namespace korvex;
using Clock = std::chrono::steady_clock;

namespace {

// Messages the operations would show: kept, so that a stop's message can be checked.
class Capture : public ErrorSink {
public:
    void ShowError(const std::string& text) override {
        std::lock_guard<std::mutex> lock(mu_);
        texts_.push_back(text);
    }
    std::vector<std::string> Take() {
        std::lock_guard<std::mutex> lock(mu_);
        return std::exchange(texts_, {});
    }

private:
    std::mutex mu_;
    std::vector<std::string> texts_;
};

struct Tally {
    std::map<std::string, long> stops;  // "phase: fault" -> how many
    long rows_checked = 0, rows_lost = 0;
    long sectors_checked = 0;
    long exchanges = 0;
    std::vector<std::string> failures;
};

std::mt19937 g_rng;
bool g_verbose = false;
Tally g_tally;

int Pick(int n) {
    return std::uniform_int_distribution<int>(0, n - 1)(g_rng);
}

void Check(bool ok, const std::string& what) {
    if (ok) return;
    g_tally.failures.push_back(what);
    std::fprintf(stderr, "FAILED: %s\n", what.c_str());
}

void Note(const std::string& phase, const std::string& fault) {
    ++g_tally.stops[phase + ": " + fault];
    if (g_verbose) std::printf("%s: %s\n", phase.c_str(), fault.c_str());
}

bool WaitFor(const std::function<bool()>& done, int ms) {
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (Clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// A regulator of its own for each run: every run starts from the regulator's normal mode
// whatever the last one left it in.
struct Regulator {
    sim::SimRegulator sim;
    sim::RegulatorModel model;
    Regulator() {
        std::string err;
        if (!sim::StartRegulator(sim, model, &err)) {
            std::fprintf(stderr, "korvex-soak: the simulated regulator: %s\n", err.c_str());
            std::exit(2);
        }
    }
};

// The live stream until a fault (or the user) stops it.
void StreamRun(Capture& shown) {
    Regulator r;
    const int dividers[4] = {10, 5, 4, 3};
    LinkSettings link;
    link.port_name = r.sim.port_path();
    link.rate_divider = dividers[Pick(4)];
    r.model.stream_stats->keep_sent = true;
    OscState osc;
    if (OSC_Open(link, osc) != 0) {
        std::vector<std::string> texts = shown.Take();
        Check(false,
              "stream: the stream did not open: " + (texts.empty() ? std::string() : texts[0]));
        return;
    }
    OscWorker worker;
    worker.Start(link, osc);
    long before = 1 + Pick(int(1500 / link.rate_divider));
    WaitFor([&] { return r.model.stream_stats->packets >= before || osc.done; }, 10000);
    const char* kinds[] = {"stop", "skip_number", "repeat_number", "out_of_range", "nan", "silent"};
    int kind = Pick(6);
    auto& f = *r.model.stream_faults;
    std::atomic<int>* fault[] = {nullptr,         &f.skip_number, &f.repeat_number,
                                 &f.out_of_range, &f.nan,         &f.silent};
    if (fault[kind]) *fault[kind] = kind == 5 ? -1 : 1;
    if (kind == 0) {
        worker.Stop();
    } else if (!WaitFor([&] { return osc.done == 1; }, 5000)) {
        Check(false, StrPrintf("stream: no stop after the fault %s (a hang)", kinds[kind]));
        worker.Stop();
    }
    worker.Join();
    Note("stream", kinds[kind]);

    // The message.
    std::string message = osc.StopMessage();
    long sent_before = r.model.stream_stats->first_fault;
    std::string expected;
    auto first_of = [&](std::initializer_list<uint32_t> types) {
        for (const auto& ch : osc.channels)
            for (uint32_t t : types)
                if (ch.type == t) return ch.name;
        return std::string();
    };
    switch (kind) {
        case 1:
        case 2:
            expected = StrPrintf("Illegal Packet Number\nN_wait=0x%2.2X  N_rx=0x%2.2X",
                                 unsigned(sent_before & 0xFF),
                                 unsigned((sent_before + (kind == 1 ? 1 : -1)) & 0xFF));
            break;
        case 3: expected = "Too big value for channel '" + first_of({1, 4, 20}) + "'"; break;
        case 4: expected = "Too big value for channel '" + first_of({20}) + "'"; break;
        case 5:
            expected = StrPrintf("RS232_TxRx(): ReadFile(): n_req_rx=%d, n_rd=0",
                                 (osc.display_present ? 10 : 2) + 4 * osc.NumChan);
            break;
        default: break;
    }
    Check(message == expected, StrPrintf("stream %s: the message '%s', expected '%s'", kinds[kind],
                                         message.c_str(), expected.c_str()));
    Check(shown.Take().empty(), "stream: the worker showed a message itself");

    // The recording: complete rows only, and every row of a packet before the fault.
    RecordingData data;
    std::string err;
    if (!data.Load(link.file_arg, &err)) {
        Check(false, "stream: the recording cannot be read: " + err);
        return;
    }
    Check(data.pending_bytes() == 0, "stream: the recording ends in a part of a row");
    Check(data.short_rows() == 0, "stream: a row lacks values");
    long rows = long(data.rows());
    g_tally.rows_checked += rows;
    if (kind != 0) {
        Check(rows == sent_before,
              StrPrintf("stream %s: %ld rows for the %ld packets before the fault", kinds[kind],
                        rows, sent_before));
        if (rows < sent_before) g_tally.rows_lost += sent_before - rows;
    } else {
        Check(rows >= before && rows <= r.model.stream_stats->packets,
              StrPrintf("stream stop: %ld rows, %ld packets sent", rows,
                        long(r.model.stream_stats->packets)));
    }
    // Row by row, the values of the packets that went out, in their order.
    auto& stats = *r.model.stream_stats;
    std::lock_guard<std::mutex> lock(stats.sent_mu);
    const size_t cols = std::min<size_t>(size_t(data.channels()), osc.channels.size());
    for (size_t row = 0; row < size_t(rows) && row < stats.sent.size(); ++row) {
        for (size_t c = 0; c < cols; ++c) {
            const auto& ch = osc.channels[c];
            double sent = DecodeOscValue(&stats.sent[row][4 * c], ch.type, ch.scale);
            if (StrPrintf("%f", sent) != StrPrintf("%f", data.value(int(c), row))) {
                Check(false, StrPrintf("stream %s: row %zu channel %zu is %f, the packet had %f",
                                       kinds[kind], row, c, data.value(int(c), row), sent));
                row = size_t(rows);
                break;
            }
        }
    }
    std::filesystem::remove(link.file_arg);
}

// ModBus register reads, each with a fault or none.
void ModBusRun(Capture& shown) {
    Regulator r;
    std::string err;
    RS232Port* port =
        TSR_RS232_Open_ModBus(r.sim.port_path(), kKeyDiary, 115200, kParityEven, &err);
    if (!port) {
        Check(false, "modbus: no link: " + err);
        return;
    }
    RS232_SetWaitMs(port, 100);  // the simulated regulator answers at once
    auto& f = *r.model.modbus_faults;
    const char* kinds[] = {"none", "wrong_address", "bad_crc", "exception", "silent", "truncate"};
    int count = 20 + Pick(40);
    for (int i = 0; i < count; ++i) {
        int kind = Pick(6);
        uint16_t reg = Pick(2) ? uint16_t(0x8000 + Pick(5)) : uint16_t(0x1001 + Pick(3));
        uint16_t num = uint16_t(1 + Pick(reg >= 0x8000 ? 0x8005 - reg : 0x1004 - reg));
        int truncate_to = 1 + Pick(4);
        switch (kind) {
            case 1: f.wrong_address = 1; break;
            case 2: f.bad_crc = 1; break;
            case 3: f.exception_code = 4, f.exception = 1; break;
            case 4: f.silent = 1; break;
            case 5: f.truncate_to = truncate_to, f.truncate = 1; break;
            default: break;
        }
        uint16_t values[8];
        std::string text;
        uint32_t code = ModBus_ReadHldReg(port, 1, reg, num, values, &text);
        ++g_tally.exchanges;
        std::string outer = StrPrintf("ModBus_ReadHldReg(Addr=1, Reg=%d, Num=%d):\n", reg, num);
        uint32_t want_code = 0;
        std::string want;
        switch (kind) {
            case 1:
                want_code = kModBusProtocolError;
                want = outer + "ModBus_TxRx(): Rx(phase1) error: first byte (addr) error";
                break;
            case 2:
                want_code = kModBusProtocolError, want = outer + "ModBus_TxRx(): Rx CRC error";
                break;
            case 3:
                want_code = kModBusExceptionBase + 4;
                want = outer + "ModBus_TxRx(): Exception 4 (SLAVE_DEVICE_FAILURE)";
                break;
            case 4:
                want_code = kRS232ShortReceive,
                want = outer + "ModBus_TxRx(): Rx(phase1) error:\n@";
                break;
            case 5:
                want_code = kRS232ShortReceive;
                want = outer + (truncate_to < 3 ? "ModBus_TxRx(): Rx(phase1) error:\n@"
                                                : "ModBus_TxRx(): Rx(phase2) error:\n@");
                break;
            default: break;
        }
        Note("modbus", kinds[kind]);
        Check(code == want_code && text == want,
              StrPrintf("modbus %s: code %u '%s', expected %u '%s'", kinds[kind], code,
                        text.c_str(), want_code, want.c_str()));
    }
    Check(TSR_RS232_exit_ModBus(port, &err) == 0, "modbus: the exit failed: " + err);
    Check(shown.Take().empty(), "modbus: a message was shown");
}

// The data lines of a recording file.
std::vector<std::string> DataLines(const std::string& path, std::string* head) {
    std::vector<std::string> lines;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return lines;
    std::string all;
    char buf[65536];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) all.append(buf, n);
    std::fclose(f);
    size_t at = 0;
    while (at < all.size()) {
        size_t nl = all.find('\n', at);
        std::string line =
            all.substr(at, nl == std::string::npos ? std::string::npos : nl + 1 - at);
        if (!line.empty() && line[0] == '#')
            *head += line;
        else
            lines.push_back(line);
        if (nl == std::string::npos) break;
        at = nl + 1;
    }
    return lines;
}

// Fault-recorder reads interrupted by faults, against an undisturbed read of the same
// recording.
void RecorderRun(Capture& shown) {
    Regulator r;
    LinkSettings settings;
    settings.port_name = r.sim.port_path();
    settings.av_baud = Pick(2) ? 230400 : 115200;
    r.model.recorder->faults->busy_ms = 0;
    std::vector<std::string> messages;
    RecorderLink link = OpenRecorder(settings, &messages);
    if (!link.port) {
        Check(false, "recorder: no link");
        return;
    }
    RecorderPoller poller(link.port);
    RecorderPollResult poll = poller.Poll();
    if (poll.close || poll.table.empty()) {
        Check(false, "recorder: the poll failed");
        return;
    }
    int index = Pick(int(poll.table.size()));
    const RecorderFileEntry entry = poll.table[size_t(index)];
    sim::SimRecording rec = r.model.recorder->recording(index);
    StopToken no_stop;
    RecorderReadResult reference = ReadRecording(link.port, index, entry, no_stop, {});
    Check(reference.messages.empty() && reference.sectors == entry.sectors,
          "recorder: the undisturbed read failed");
    std::string ref_head;
    std::vector<std::string> ref_rows = DataLines(reference.path, &ref_head);
    const int per_sector = kSectorDataWords / entry.nchan();
    Check(ref_rows.size() == size_t(entry.sectors) * size_t(per_sector),
          "recorder: the undisturbed read's rows");

    const char* kinds[] = {"stop",         "bad_format",     "sequence_gap",
                           "flags_change", "timebeg_change", "busy_second_chunk"};
    int kind = Pick(6);
    int n = entry.sectors;
    int k = kind == 2 || kind == 3 ? 1 + Pick(n - 1) : Pick(n);
    auto& f = *r.model.recorder->faults;
    const std::string interrupted = "\nВозможно, запись была прервана.";
    std::string want;
    int want_sectors = k;
    StopToken stop;
    RecorderReadEvents events;
    // The progress of sector s, (s + 1) * 100 / n, is told once per whole percent, after
    // the sector was read and before it is converted: the first sector of a percent p is
    // sector ceil(p * n / 100) - 1.
    auto after_sector = [n](int p) { return (p * n + 99) / 100; };
    switch (kind) {
        case 0:
            events.progress = [&, after_sector](int p) {
                if (!stop.stop_requested() && after_sector(p) >= k + 1) {
                    stop.RequestStop();
                    want_sectors = after_sector(p);
                }
            };
            want_sectors = n;
            break;
        case 1:
            f.bad_format_sector = k;
            want = StrPrintf("Ошибка: Неизвестный формат (0xFFFF) сектора данных (сектор=%d).", k) +
                   (k ? interrupted : "");
            break;
        case 2:
            f.sequence_gap_sector = k;
            want = StrPrintf(
                "Ошибка последовательности номеров секторов\n(сектор=%d: N=%d, предыдущий: N=%d).",
                k, (rec.first_n + k + 1) & 0xFFFF, (rec.first_n + k - 1) & 0xFFFF);
            break;
        case 3:
            f.flags_change_sector = k;
            want = StrPrintf("Ошибка: FLAGS_file (сектор %d) отличается от FLAGS_info.", k) +
                   interrupted;
            break;
        case 4:
            f.timebeg_change_sector = k;
            want = StrPrintf("Ошибка: TimeBeg_file (сектор %d) отличается от TimeBeg_info.", k) +
                   (k ? interrupted : "");
            break;
        case 5:
            // The sectors before k read cleanly; the next one's second chunk answers busy.
            if (k == 0) {
                f.busy_second_chunk = 1;
                want_sectors = 0;
            } else {
                events.progress = [&, after_sector](int p) {
                    if (f.busy_second_chunk == 0 && want_sectors == k && after_sector(p) >= k) {
                        f.busy_second_chunk = 1;
                        want_sectors = after_sector(p);
                    }
                };
            }
            want = StrPrintf(
                "ModBus_ReadHldReg(Addr=1, Reg=%d, Num=86):\nModBus_TxRx(): Exception 6 "
                "(SLAVE_BUSY)",
                kRecorderWindowReg + 86);
            break;
    }
    RecorderReadResult result = ReadRecording(link.port, index, entry, stop, events);
    f.bad_format_sector = f.sequence_gap_sector = f.flags_change_sector = f.timebeg_change_sector =
        -1;
    f.busy_second_chunk = 0;
    Note("recorder", kinds[kind]);
    std::vector<std::string> got = result.messages;
    Check(got == (want.empty() ? std::vector<std::string>{} : std::vector<std::string>{want}),
          StrPrintf("recorder %s at sector %d: '%s', expected '%s'", kinds[kind], k,
                    got.empty() ? "" : got[0].c_str(), want.c_str()));
    Check(result.sectors == want_sectors,
          StrPrintf("recorder %s at sector %d: %d sectors converted", kinds[kind], k,
                    result.sectors));
    // Exactly the rows of the sectors before the failure, as the undisturbed read has them.
    std::string head;
    std::vector<std::string> rows = DataLines(result.path, &head);
    size_t expected_rows = size_t(result.sectors) * size_t(per_sector);
    g_tally.sectors_checked += result.sectors;
    g_tally.rows_checked += long(rows.size());
    Check(rows.size() == expected_rows, StrPrintf("recorder %s: %zu rows for %d sectors",
                                                  kinds[kind], rows.size(), result.sectors));
    if (rows.size() < expected_rows) g_tally.rows_lost += long(expected_rows - rows.size());
    bool same = result.sectors == 0 ? head.empty() : head == ref_head;
    for (size_t i = 0; same && i < rows.size() && i < ref_rows.size(); ++i)
        same = rows[i] == ref_rows[i];
    Check(same, StrPrintf("recorder %s: the rows differ from the undisturbed read's", kinds[kind]));
    CloseRecorder(&link, &messages);
    Check(shown.Take().empty(), "recorder: a message was shown");
    std::filesystem::remove(reference.path);
    std::filesystem::remove(result.path);
}

// A diary run, with a reply fault or none.
void DiaryRun(Capture& shown) {
    Regulator r;
    auto& d = *r.model.diaries->faults;
    auto& p = *r.model.parameters->faults;
    const char* kinds[] = {
        "none",        "text_count",      "set_count", "short_select", "wrong_name_echo",
        "short_value", "fail_after_reads"};
    int kind = Pick(7);
    int reads = 5 + Pick(60);
    std::vector<std::string> want;
    switch (kind) {
        case 1: d.text_count = 1001, want = {"Too  much messages !"}; break;
        case 2: p.set_count = 8, want = {"Error 5"}; break;
        case 3: p.short_select = 1, want = {"Error 6"}; break;
        case 4: p.wrong_name_echo = 1, want = {"Parameter Read Name Error"}; break;
        case 5: p.short_value = 1, want = {"Bad Length (Read Param Value)"}; break;
        case 6: d.fail_after_reads = reads; break;
        default: break;
    }
    LinkSettings settings;
    settings.port_name = r.sim.port_path();
    DiaryRunResult result = ReadDiariesAndParameters(settings, {});
    Note("diary", kinds[kind]);
    if (kind == 6) {
        const std::string tail = "ModBus_TxRx(): Exception 4 (SLAVE_DEVICE_FAILURE)";
        bool ok = result.messages.size() == 1 && result.messages[0].size() >= tail.size() &&
                  result.messages[0].compare(result.messages[0].size() - tail.size(), tail.size(),
                                             tail) == 0;
        Check(ok && !result.complete && result.link_status != 0,
              "diary fail_after_reads: " +
                  (result.messages.empty() ? std::string() : result.messages[0]));
    } else {
        Check(result.messages == want && result.complete == (kind == 0),
              StrPrintf("diary %s: '%s'", kinds[kind],
                        result.messages.empty() ? "" : result.messages[0].c_str()));
    }
    // A report is never left with a part of a line.
    if (!result.report_path.empty()) {
        FILE* f = std::fopen(result.report_path.c_str(), "rb");
        std::string all;
        char buf[65536];
        for (size_t n; f && (n = std::fread(buf, 1, sizeof buf, f)) > 0;) all.append(buf, n);
        if (f) std::fclose(f);
        Check(all.empty() || all.compare(all.size() - 2, 2, "\r\n") == 0,
              StrPrintf("diary %s: the report ends in a part of a line", kinds[kind]));
        std::filesystem::remove(result.report_path);
    }
    ++g_tally.exchanges;
    Check(shown.Take().empty(), "diary: a message was shown");
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = 60;
    unsigned seed = std::random_device{}();
    int hang_seconds = 120;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--minutes" && i + 1 < argc)
            seconds = 60 * std::atof(argv[++i]);
        else if (a == "--seconds" && i + 1 < argc)
            seconds = std::atof(argv[++i]);
        else if (a == "--seed" && i + 1 < argc)
            seed = unsigned(std::strtoul(argv[++i], nullptr, 10));
        else if (a == "--hang-seconds" && i + 1 < argc)
            hang_seconds = std::max(1, std::atoi(argv[++i]));
        else if (a == "--verbose")
            g_verbose = true;
        else {
            std::fprintf(stderr,
                         "Usage: korvex-soak [--minutes N | --seconds N] [--seed N] "
                         "[--hang-seconds N] [--verbose]\n");
            return a == "--help" ? 0 : 2;
        }
    }
    g_rng.seed(seed);
    std::string dir = MakeBenchDir("/tmp/korvex-soak-XXXXXX");
    setenv("KORVEX_DATA_DIR", dir.c_str(), 1);
    Capture shown;
    ScopedErrorSink scoped(&shown);
    std::printf("korvex-soak: %.0f s, seed %u, data in %s\n", seconds, seed, dir.c_str());
    std::fflush(stdout);

    const std::function<void(Capture&)> runs[] = {StreamRun, ModBusRun, RecorderRun, DiaryRun};
    const char* const names[] = {"stream", "ModBus", "recorder", "diary"};
    // A run that does not end is a hang whatever it waits on: the watchdog reports which
    // run and the seed, and ends the program (every run ends within seconds).
    std::atomic<int> running{-1};
    std::atomic<int64_t> started_ms{0};
    std::atomic<bool> finished{false};
    auto now_ms = [] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   Clock::now().time_since_epoch())
            .count();
    };
    std::thread watchdog([&] {
        while (!finished) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            int phase = running;
            if (phase >= 0 && now_ms() - started_ms > hang_seconds * 1000) {
                std::fprintf(stderr, "FAILED: the %s run did not end in %d s (a hang), seed %u\n",
                             names[phase], hang_seconds, seed);
                std::fflush(stderr);
                std::_Exit(3);
            }
        }
    });
    auto end = Clock::now() + std::chrono::duration<double>(seconds);
    long rounds = 0;
    for (int phase = 0; Clock::now() < end; phase = (phase + 1) % 4) {
        started_ms = now_ms();
        running = phase;
        runs[phase](shown);
        running = -1;
        rounds += phase == 3;
        if (g_tally.failures.size() > 20) break;
    }
    finished = true;
    watchdog.join();

    std::printf("\n%ld rounds of stream, ModBus, recorder and diary runs\n", rounds);
    std::printf("stops by kind of fault:\n");
    for (const auto& [kind, n] : g_tally.stops) std::printf("  %-32s %6ld\n", kind.c_str(), n);
    std::printf("rows checked %ld, rows lost %ld, sectors checked %ld, register exchanges %ld\n",
                g_tally.rows_checked, g_tally.rows_lost, g_tally.sectors_checked,
                g_tally.exchanges);
    std::printf("failed checks: %zu\n", g_tally.failures.size());
    std::filesystem::remove_all(dir);
    return g_tally.failures.empty() && g_tally.rows_lost == 0 ? 0 : 1;
}
