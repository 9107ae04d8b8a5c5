// SPDX-License-Identifier: GPL-3.0-or-later
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/resource.h>
#endif

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

#include "app/ErrorReport.h"
#include "app/Single.h"
#include "app/StrPrintf.h"
#include "files/RecordingWriter.h"
#include "link/ByteOrder.h"
#include "osc/OscStream.h"

namespace korvex {

namespace {

using Clock = std::chrono::steady_clock;

// The worker never shows a message itself (a message box would hold it while the
// stream runs on): it keeps the message for its owner, who shows it once the worker has
// stopped. A failure after a stop was asked for is the stop, not an error.
void Stopped(LinkSettings& link, OscState& osc, const std::string& message) {
    if (!link.live_mode) return;
    std::lock_guard<std::mutex> lock(osc.stop_mu);
    osc.stop_message = message;
}

// Sends one command byte; false (with the port's message kept) on failure.
bool SendByte(LinkSettings& link, OscState& osc, uint8_t b) {
    std::string err;
    if (RS232_TxRx(link.port, &b, 1, nullptr, nullptr, 0, &err) == 0) return true;
    Stopped(link, osc, err);
    return false;
}

// Processor time the calling thread has used, in seconds.
double ThreadCpuSeconds() {
#ifdef _WIN32
    FILETIME created, exited, kernel, user;
    if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user)) return 0;
    auto seconds = [](const FILETIME& t) {
        return double((uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
#else
    rusage ru{};
    if (getrusage(RUSAGE_THREAD, &ru) != 0) return 0;
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
#endif
}

}  // namespace

void OSC_HandleDisplay(OscState& osc, const uint8_t* packet) {
    int a = osc.selvo ? 1 : 0, b = osc.selvom ? 1 : 0;
    int index = packet[0] & 0x1F;
    bool notify = false;
    {
        SelvoScreen& s = osc.screen;
        std::lock_guard<std::mutex> lock(s.mu);
        if (index >= 1 && index <= 10 * a + 4 * b) {
            std::memcpy(s.text + (index - 1) * 8, packet + 2, 8);
        } else if (index == 11 * a + 5 * b) {
            s.cursor_row = packet[2];
            s.cursor_col = packet[3];
            s.cursor_on = packet[4];
            s.idle_count = 0;
            notify = true;
        } else if (index == 0 && s.idle_count < 50) {
            if (++s.idle_count == 50) {
                s.cursor_on = 0;
                std::memset(s.text, ' ', size_t(80 * a + 32 * b));
                notify = true;
            }
        }
    }
    if (notify && osc.on_screen_changed) osc.on_screen_changed();
}

float DecodeOscValue(const uint8_t* slot, uint32_t type, double scale) {
    double raw;
    switch (type) {
        case 1: raw = int8_t(slot[3]); break;
        case 2: raw = GetI16BE(slot + 2); break;
        case 4: raw = GetI32BE(slot); break;
        case 20: raw = GetF32BE(slot); break;
        default: raw = 0; break;
    }
    return ToSingle(raw * scale);
}

std::string OSC_ProcessPacket(OscState& osc, const uint8_t* packet, uint8_t* expected,
                              double* values) {
    if (packet[1] != *expected)
        return StrPrintf("Illegal Packet Number\nN_wait=0x%2.2X  N_rx=0x%2.2X", *expected,
                         packet[1]);
    *expected = uint8_t(packet[1] + 1);
    if (osc.display_present) OSC_HandleDisplay(osc, packet);
    const size_t header = osc.display_present ? 10 : 2;
    for (int i = 0; i < osc.NumChan; ++i) {
        const OscChannel& ch = osc.channels[size_t(i)];
        float v = DecodeOscValue(packet + header + 4 * size_t(i), ch.type, ch.scale);
        if (!(v >= -100.0f && v <= 100.0f))
            return StrPrintf("Too big value for channel '%s'", ch.name.c_str());
        values[i] = v;
    }
    return {};
}

void OSC_RxThread(LinkSettings& link, OscState& osc) {
    const size_t header = osc.display_present ? 10 : 2;
    const size_t length = header + 4 * size_t(osc.NumChan);
    uint8_t expected = 0;
    auto last_keep_alive = Clock::now();
    std::vector<uint8_t> packet(length);
    std::vector<double> values(size_t(osc.NumChan));
    std::vector<char> row(values.size() * kLiveRowBytesPerValue + 2);

    if (SendByte(link, osc, uint8_t(kOscStart + link.rate_divider))) {
        while (link.live_mode) {
            auto now = Clock::now();
            if (now - last_keep_alive > std::chrono::milliseconds(1000)) {
                if (!SendByte(link, osc, kOscKeepAlive)) break;
                last_keep_alive = now;
            }
            if (uint8_t key = osc.pending_key.exchange(0)) {
                if (!SendByte(link, osc, key)) break;
            }
            std::string err;
            uint32_t n = 0;
            if (RS232_TxRx(link.port, nullptr, 0, packet.data(), &n, uint32_t(length), &err)) {
                Stopped(link, osc, err);
                break;
            }
            std::string stop = OSC_ProcessPacket(osc, packet.data(), &expected, values.data());
            if (!stop.empty()) {
                Stopped(link, osc, stop);
                break;
            }
            bool bad = false;
            size_t len = FormatLiveRow(values.data(), values.size(), row.data());
            {
                std::lock_guard<std::mutex> lock(osc.writer_mu);
                if (osc.writer && !AppendRow(osc.writer, row.data(), len)) bad = true;
            }
            if (bad) {
                Stopped(link, osc, StrPrintf("Write File error: %s", ErrnoText(errno).c_str()));
                break;
            }
            std::this_thread::yield();
        }
    }

    // Stop sequence: the stop byte, the recording closed after its last complete row,
    // the port closed once the stop byte has left it.
    const uint8_t stop = kOscStop;
    std::string ignored;
    RS232_TxRx(link.port, &stop, 1, nullptr, nullptr, 0, &ignored);
    OSC_CloseWriter(osc);
    RS232_Drain(link.port);
    RS232_Close(link.port);
    link.port = nullptr;
    osc.worker_cpu_seconds = ThreadCpuSeconds();
    osc.done = 1;
    if (osc.on_stopped) osc.on_stopped();
}

void OscWorker::Start(LinkSettings& link, OscState& osc) {
    Stop();
    link_ = &link;
    link.live_mode = 1;
    osc.done = 0;
    stop_.Reset();
    RS232_SetStopToken(link.port, &stop_);
    thread_ = std::thread([&link, &osc] { OSC_RxThread(link, osc); });
}

void OscWorker::Stop() {
    if (!thread_.joinable()) return;
    link_->live_mode = 0;
    // Wakes a receive that waits for a packet: the worker goes to its stop sequence now,
    // not after a packet time-out.
    stop_.RequestStop();
    thread_.join();
}

void OscWorker::RequestStop() {
    if (!thread_.joinable()) return;
    link_->live_mode = 0;
    stop_.RequestStop();
}

void OscWorker::Join() {
    if (thread_.joinable()) thread_.join();
}

}  // namespace korvex
