// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the fuzz targets share: the entry point, a port whose regulator answers with the
// fuzzer's bytes, a file held in memory, the live row as printf writes it, and a check
// that stops the run with a message.
#include <fuzzer/FuzzedDataProvider.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/ErrorReport.h"
#include "files/RecordingWriter.h"
#include "link/LineErrors.h"
#include "link/ModBusCRC.h"
#include "link/RS232PortTesting.h"

// An invariant that does not hold is a finding: print it and abort, so that libFuzzer
// keeps the input.
#define FUZZ_CHECK(cond, ...)                                                  \
    ((cond) ? void()                                                           \
            : (std::fprintf(stderr, "%s:%d: %s: ", __FILE__, __LINE__, #cond), \
               std::fprintf(stderr, __VA_ARGS__), std::fputs("\n", stderr), std::abort()))

// The libFuzzer entry point; the block that follows is the target's body, run in
// namespace korvex::fuzz with messages going nowhere (the targets look at codes and results),
// the input as `data` and `size` and a FuzzedDataProvider `in` over it.
#define FUZZ_TARGET                                                                             \
    extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {                   \
        static korvex::fuzz::QuietSink quiet;                                                   \
        static korvex::ScopedErrorSink silenced(&quiet);                                        \
        FuzzedDataProvider in(data, size);                                                      \
        korvex::fuzz::Body(data, size, in);                                                     \
        return 0;                                                                               \
    }                                                                                           \
    void korvex::fuzz::Body([[maybe_unused]] const uint8_t* data, [[maybe_unused]] size_t size, \
                            FuzzedDataProvider& in)

namespace korvex::fuzz {

// The target's body (FUZZ_TARGET).
void Body(const uint8_t* data, size_t size, FuzzedDataProvider& in);

struct QuietSink : ErrorSink {
    void ShowError(const std::string&) override {}
};

// A port on one end of a socket pair, whose other end holds the regulator's answers
// before the exchanges begin. Receives never wait (wait_ms 0): an answer that is too short
// ends the receive at once, as a time-out would. The requests are read away afterwards.
// The answers are frames taken from the fuzzer's bytes: a length, then that many bytes,
// then, when the input says so, their ModBus CRC made right, so that the parsers behind
// the CRC check are reached. Its driver keeps no line-error counters, as a pseudo-terminal.
class AnsweringPort : LineStatusSource {
public:
    explicit AnsweringPort(FuzzedDataProvider& in, int max_frames = 8) {
        int sv[2];
        if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, sv) != 0)
            std::abort();
        port_ = RS232_AdoptDescriptor(sv[0], "fuzz", 115200, 0);
        RS232_SetLineStatusSource(port_, this);
        peer_ = sv[1];
        int frames = in.ConsumeIntegralInRange(0, max_frames);
        for (int f = 0; f < frames && in.remaining_bytes(); ++f) {
            size_t len = in.ConsumeIntegralInRange<size_t>(0, 260);
            bool fix_crc = in.ConsumeBool();
            std::vector<uint8_t> frame = in.ConsumeBytes<uint8_t>(len);
            if (fix_crc && !frame.empty()) {
                uint16_t crc = ModBus_CRC(frame.data(), frame.size());
                frame.insert(frame.end(), {uint8_t(crc & 0xFF), uint8_t(crc >> 8)});
            }
            if (write(peer_, frame.data(), frame.size()) != ssize_t(frame.size())) std::abort();
        }
    }
    ~AnsweringPort() {
        RS232_Close(port_);
        close(peer_);
    }
    RS232Port* port() { return port_; }
    bool ReadCounts(intptr_t, LineErrorCounts*) override { return false; }

private:
    RS232Port* port_ = nullptr;
    int peer_ = -1;
};

// A file in memory, named by a path that the file functions open like any other.
class MemoryFile {
public:
    explicit MemoryFile(const std::string& bytes = "") : fd_(memfd_create("fuzz", MFD_CLOEXEC)) {
        if (fd_ < 0) std::abort();
        Append(bytes);
    }
    ~MemoryFile() { close(fd_); }
    std::string path() const { return "/proc/self/fd/" + std::to_string(fd_); }
    void Append(const std::string& bytes) {
        if (write(fd_, bytes.data(), bytes.size()) != ssize_t(bytes.size())) std::abort();
    }

private:
    int fd_;
};

// Formats `n` values as a live row and checks it against printf's "%.6f\t" for each value
// and the CR LF: the recordings' numbers must be written exactly as the C library does.
inline void CheckLiveRow(const double* values, size_t n) {
    std::vector<char> row(n * kLiveRowBytesPerValue + 2);
    size_t len = FormatLiveRow(values, n, row.data());
    std::string printed;
    char one[400];  // the longest, -DBL_MAX, takes 318
    for (size_t i = 0; i < n; ++i)
        printed.append(one, size_t(std::snprintf(one, sizeof one, "%.6f\t", values[i])));
    FUZZ_CHECK(std::string(row.data(), len) == printed + "\r\n", "row '%.*s', printf '%s'",
               int(len), row.data(), printed.c_str());
}

}  // namespace korvex::fuzz
