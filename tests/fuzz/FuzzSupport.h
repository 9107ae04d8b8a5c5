// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the fuzz targets share: a port whose regulator answers with the fuzzer's bytes, a
// file held in memory, and a check that stops the run with a message.
#include <fuzzer/FuzzedDataProvider.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/ErrorReport.h"
#include "link/LineErrors.h"
#include "link/ModBusCRC.h"
#include "link/RS232Port.h"
#include "link/RS232PortTesting.h"

namespace korvex::fuzz {

// An invariant that does not hold is a finding: print it and abort, so that libFuzzer
// keeps the input.
#define FUZZ_CHECK(cond, ...)                                               \
    do {                                                                    \
        if (!(cond)) {                                                      \
            std::fprintf(stderr, "%s:%d: %s: ", __FILE__, __LINE__, #cond); \
            std::fprintf(stderr, __VA_ARGS__);                              \
            std::fprintf(stderr, "\n");                                     \
            std::abort();                                                   \
        }                                                                   \
    } while (0)

// Messages go nowhere: the targets look at codes and results.
class QuietSink : public ErrorSink {
public:
    void ShowError(const std::string&) override {}
};

inline void Silence() {
    static QuietSink sink;
    static bool set = (SetErrorSink(&sink), true);
    (void)set;
}

// A driver that keeps no line-error counters, as a pseudo-terminal.
class NoCounters : public LineStatusSource {
public:
    bool ReadCounts(intptr_t, LineErrorCounts*) override { return false; }
};

// A port on one end of a socket pair, whose other end holds the regulator's answers
// before the exchanges begin. Receives never wait (wait_ms 0): an answer that is too short
// ends the receive at once, as a time-out would. The requests are read away afterwards.
// The answers are frames taken from the fuzzer's bytes: a length, then that many bytes,
// then, when the input says so, their ModBus CRC made right, so that the parsers behind
// the CRC check are reached.
class AnsweringPort {
public:
    explicit AnsweringPort(FuzzedDataProvider& in, int max_frames = 8) {
        int sv[2];
        if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, sv) != 0)
            std::abort();
        port_ = RS232_AdoptDescriptor(sv[0], "fuzz", 115200, 0);
        RS232_SetLineStatusSource(port_, &counters_);
        peer_ = sv[1];
        std::vector<uint8_t> bytes;
        int frames = in.ConsumeIntegralInRange(0, max_frames);
        for (int f = 0; f < frames && in.remaining_bytes(); ++f) {
            size_t len = in.ConsumeIntegralInRange<size_t>(0, 260);
            bool fix_crc = in.ConsumeBool();
            std::vector<uint8_t> frame = in.ConsumeBytes<uint8_t>(len);
            if (fix_crc && !frame.empty()) {
                uint16_t crc = ModBus_CRC(frame.data(), frame.size());
                frame.push_back(uint8_t(crc & 0xFF));
                frame.push_back(uint8_t(crc >> 8));
            }
            bytes.insert(bytes.end(), frame.begin(), frame.end());
        }
        if (!bytes.empty() && write(peer_, bytes.data(), bytes.size()) != ssize_t(bytes.size()))
            std::abort();
    }
    ~AnsweringPort() {
        RS232_Close(port_);
        close(peer_);
    }
    RS232Port* port() { return port_; }

private:
    RS232Port* port_ = nullptr;
    int peer_ = -1;
    NoCounters counters_;
};

// A file in memory, named by a path that the file functions open like any other.
class MemoryFile {
public:
    MemoryFile() : fd_(memfd_create("fuzz", MFD_CLOEXEC)) {
        if (fd_ < 0) std::abort();
        path_ = "/proc/self/fd/" + std::to_string(fd_);
    }
    ~MemoryFile() { close(fd_); }
    const std::string& path() const { return path_; }
    void Append(const uint8_t* p, size_t n) {
        if (n && write(fd_, p, n) != ssize_t(n)) std::abort();
    }
    void Replace(const uint8_t* p, size_t n) {
        if (ftruncate(fd_, 0) != 0 || lseek(fd_, 0, SEEK_SET) != 0) std::abort();
        Append(p, n);
    }

private:
    int fd_;
    std::string path_;
};

}  // namespace korvex::fuzz
