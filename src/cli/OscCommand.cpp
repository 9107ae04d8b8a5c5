// SPDX-License-Identifier: GPL-3.0-or-later
#include <atomic>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "app/ErrorReport.h"
#include "app/Language.h"
#include "app/SampleRate.h"
#include "app/StrPrintf.h"
#include "cli/Args.h"
#include "cli/Commands.h"
#include "cli/Terminal.h"
#include "files/RecordingFollower.h"
#include "files/RecordingHeader.h"
#include "link/LinkSettings.h"
#include "osc/OscStream.h"

namespace korvex::cli {

namespace {

// Longest recording that --seconds asks for; a larger number is a typing error.
constexpr double kMaxSeconds = 30 * 86400;

constexpr Option kOptions[] = {
    {"port", 0, true, "УСТРОЙСТВО", "DEVICE", "порт регулятора (обязателен)",
     "the regulator's port (required)"},
    {"baud", 0, true, "N", "N", "скорость потока: 115200 (по умолчанию), 57600 или 38400",
     "line speed of the stream: 115200 (default), 57600 or 38400"},
    {"rate", 0, true, "ГЦ", "HZ", "частота: 50 (по умолчанию), 100, 125 или 166 (166,7 Гц)",
     "sample rate: 50 (default), 100, 125 or 166 (166.7 Hz)"},
    {"seconds", 0, true, "N", "N", "остановиться через N секунд (до 30 суток)",
     "stop after N seconds (up to 30 days)"},
};

const CommandLine kCommandLine = {
    "osc",
    kOptions,
    false,
    0,
    "Использование: korvex-cli osc --port УСТРОЙСТВО [--baud 115200|57600|38400]\n"
    "                      [--rate 50|100|125|166] [--seconds N]\n"
    "\n"
    "Осциллограф без окна: переключает регулятор в режим потока, пишет каждый пакет\n"
    "в новый файл записи, пока не пройдут N секунд или не придёт Ctrl-C (SIGTERM,\n"
    "закрытый терминал), затем останавливает поток и выводит путь записи. Частоты\n"
    "выше 50 Гц требуют 115200 бод. Если поток остановился с ошибкой - код\n"
    "завершения 1 и сообщение регулятора.\n",
    "Usage: korvex-cli osc --port DEVICE [--baud 115200|57600|38400] [--rate "
    "50|100|125|166]\n"
    "                      [--seconds N]\n"
    "\n"
    "Runs the oscilloscope without a window: switches the regulator to streaming,\n"
    "records every packet into a new recording file until N seconds have passed or\n"
    "Ctrl-C, then stops the stream and prints the recording's path. Rates above 50 Hz\n"
    "need 115200 baud. Exits with 1 and the regulator's message when the stream\n"
    "stopped on an error.\n",
    nullptr,
    nullptr,
};

struct RowCounter : RowSink {
    void OnRow(const double*, int) override { ++rows; }
    long rows = 0;
};

}  // namespace

int OscCommand(int argc, char** argv) {
    LinkSettings link;
    double seconds = 0;
    long rate = 50, baud = 115200;
    std::vector<char*> operands;
    const int status = ParseOptions(
        kCommandLine, argc, argv,
        [&](std::string_view name, const char* value) -> std::string {
            if (name == "port") {
                link.port_name = value;
            } else if (name == "baud") {
                if (!ParseLong(value, 0, LONG_MAX, &baud) ||
                    (baud != 115200 && baud != 57600 && baud != 38400))
                    return Tr("--baud принимает значения 115200, 57600 или 38400",
                              "--baud takes 115200, 57600 or 38400");
            } else if (name == "rate") {
                if (!ParseLong(value, 0, LONG_MAX, &rate) || !RateDivider(int(rate)))
                    return Tr("--rate принимает значения 50, 100, 125 или 166",
                              "--rate takes 50, 100, 125 or 166");
            } else if (name == "seconds" && !ParseSeconds(value, 0, kMaxSeconds, &seconds)) {
                return StrPrintf(Tr("--seconds принимает число секунд больше 0 и не больше %d "
                                    "(30 суток); без него запись идёт до Ctrl-C",
                                    "--seconds takes a number of seconds above 0 and up to %d "
                                    "(30 days); leave it out to record until Ctrl-C"),
                                 int(kMaxSeconds));
            }
            return {};
        },
        &operands);
    if (status != kGoOn) return status;
    link.osc_baud = uint32_t(baud);
    link.rate_divider = RateDivider(int(rate));
    if (link.port_name.empty())
        return UsageError(kCommandLine, Tr("не задан --port", "--port is required"));
    if (link.rate_divider != 10 && link.osc_baud != 115200)
        return UsageError(kCommandLine, Tr("частоты выше 50 Гц требуют 115200 бод",
                                           "rates above 50 Hz need 115200 baud"));

    // Ctrl-C while the stream opens stops it right after, the same way. A closed terminal
    // (SIGHUP) stops it as Exit does too: stop byte, complete rows, the path printed.
    // Stopping is how a recording without --seconds ends, so it is no failure.
    const StopToken& stop = StopOnRequest();

    OscState osc;
    if (OSC_Open(link, osc) != 0) return 1;
    std::string path = link.file_arg;

    OscWorker worker;
    worker.Start(link, osc);

    RecordingHeader header;
    uint64_t consumed = 0;
    RecordingFollower follower;
    if (ReadRecordingHeader(path, &header, &consumed, nullptr) == 0)
        follower.Open(path, consumed, header.shown);
    RowCounter counter;
    const bool progress = StderrIsTerminal();
    auto start = std::chrono::steady_clock::now();
    while (!osc.done && !stop.stop_requested()) {
        double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (seconds > 0 && elapsed >= seconds) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        follower.Poll(counter);
        if (progress)
            CFprintf(stderr,
                     Tr("\rЗапись %s: %.1f с, строк: %ld, %.2f МБ   ",
                        "\rRecording %s: %.1f s, %ld rows, %.2f MB   "),
                     path.c_str(), elapsed, counter.rows, follower.file_length() / 1048576.0);
    }
    worker.Stop();
    if (progress) std::fprintf(stderr, "\n");
    std::string message = osc.StopMessage();
    if (!message.empty()) ShowError(message);
    std::printf("%s\n", path.c_str());
    return message.empty() ? 0 : 1;
}

}  // namespace korvex::cli
