// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The port layer's own view of a port: included by the link layer's .cpp files only.
// What both platforms keep is here; each platform's port derives from it in its own .cpp
// (the POSIX mark decoder, the Win32 transfer records) and is created and freed there.

#include <cstdint>
#include <string>

#include "link/RS232Port.h"

namespace korvex {

struct RS232Port {
    // The open device: a descriptor (POSIX) or a HANDLE (Windows); -1 when none.
    intptr_t device = -1;
    bool report_short = false;
    uint32_t wait_ms = 0;
    bool sleep_through_receive = false;
    const StopToken* stop = nullptr;
    uint32_t baud = 0;
    uint32_t bits_per_char = 10;  // start + 8 data + parity + stop, for the write bound
    std::string name;

    LineStatusSource* line_status = &KernelLineStatus();
    LineErrorCounts counts;  // the counters at the last line-status check
    bool counts_known = false;
    // Windows reports line errors only as the flags ClearCommError reads: they are read
    // after every receive, even when they could not be read at the open. A POSIX driver
    // without counters at the open has none later either, and is not asked again.
    bool counters_every_receive = false;
    MarkTally marks;  // marks seen since the last line-status check (POSIX)
};

// The wake-up of the port's stop token, null when it has none.
inline const CancelHandle* StopHandle(const RS232Port& port) {
    return port.stop ? &port.stop->handle() : nullptr;
}

// The open's shared first step: the name checked and resolved, the device opened
// exclusively. The device, or -1 with "RS232_Open(): Invalid Port Name: %s" or
// "RS232_Open(): Open port %s : error %d" reported by the buffer rule.
intptr_t OpenNamedDevice(const std::string& name, std::string* err_text);
// The framing was refused: the device is closed, "RS232_Open(): SetComState() error".
void RefuseFraming(intptr_t device, std::string* err_text);
// The open's last step: the settings every new port starts with, and the baseline of
// the line-error counters.
void SetUpPort(RS232Port* port, intptr_t device, const std::string& name, uint32_t baud,
               uint8_t parity, uint8_t stopbits, uint32_t timeout_ms, uint8_t flags);

// The end of a receive that got `got` of `wanted` bytes: kRS232ShortReceive, with "@"
// written into the caller's buffer (nothing shown) when short receives are not reported,
// else "RS232_TxRx(): ReadFile(): n_req_rx=%d, n_rd=%d" by the buffer rule.
uint32_t ShortReceive(const RS232Port& port, uint32_t wanted, uint32_t got, std::string* err_text);
// The line-status step after a receive: the counters' change since the last check and
// the marks decide 0 or 32..39 (with its text); counters that cannot be read when they
// are expected give 8, "RS232_TxRx(): ClearCommError() error". The marks are cleared.
uint32_t CheckLineStatus(RS232Port* port, std::string* err_text);
// After a purge: the line errors of what was discarded are not the next exchange's.
void ForgetLineErrors(RS232Port* port);

// Opens a device the way RS232_Open does (read and write, exclusive) and returns the
// descriptor or handle, or -1 with the error number (errno, or Windows' GetLastError) in
// *error. Shared with the port list's trial open. Defined with the platform's port.
intptr_t OpenDeviceExclusive(const std::string& path, int* error);
void CloseDevice(intptr_t device);

}  // namespace korvex
