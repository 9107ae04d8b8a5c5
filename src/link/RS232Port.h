// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

#ifndef _WIN32
#include <termios.h>
#endif

#include "app/CancelHandle.h"
#include "link/LineErrors.h"

namespace korvex {

// One open serial port. Created by RS232_Open, owned by whoever opened it, destroyed
// only by RS232_Close. Used by one thread at a time; this layer takes no lock.
struct RS232Port {
    // The open device: a descriptor (POSIX) or a HANDLE (Windows); -1 when none.
    intptr_t fd = -1;
    // 1: a receive that ends short is an error with a text (code 16); 0: it returns 16
    // silently with "@" in the caller's buffer. Callers may switch it on later.
    uint8_t report_short = 0;
    uint32_t wait_ms = 0;  // how long one receive may take, from its start
    // true: once a receive has begun, sleep through most of the rest's time on the line
    // instead of waking for every few characters. A continuous stream then costs a few
    // wake-ups per packet; an answer may be taken up to a timer slack (~50 us) later, so
    // request-answer protocols leave it off.
    bool sleep_through_receive = false;
    // Set by the owner of a worker that must stop at once (Exit during a packet's wait):
    // a signalled handle ends every receive with kRS232Cancelled. Null: not cancellable.
    const CancelHandle* cancel = nullptr;
    uint32_t baud = 0;
    uint32_t bits_per_char = 10;  // start + 8 data + parity + stop, for the write bound
    std::string name;

    ParmrkDecoder decoder;
    LineStatusSource* line_status = &KernelLineStatus();
    LineErrorCounts counts;  // driver counters at the last line-status check
    bool counts_known = false;
    MarkTally marks;  // marks seen since the last line-status check
    // Windows: the transmit and receive records, the wait set at the open, the bytes of
    // a transmit still going out.
    struct Overlapped;
    Overlapped* overlapped = nullptr;
};

// Result codes of RS232_TxRx. Line errors are 32..39 (LineErrors.h).
constexpr uint32_t kRS232Ok = 0;
constexpr uint32_t kRS232NullHandle = 1;   // "RS232_TxRx(): hComm=0"
constexpr uint32_t kRS232WriteFailed = 2;  // the transmit could not be started
constexpr uint32_t kRS232WriteShort = 3;   // the transmit could not finish
constexpr uint32_t kRS232ReadFailed = 4;   // the receive failed (a device gone)
// The Win32 layer's waits: the overlapped result could not be fetched, the wait ran out
// with nothing more to come, the wait itself failed.
constexpr uint32_t kRS232OverlappedFailed = 5;
constexpr uint32_t kRS232WaitTimeout = 6;
constexpr uint32_t kRS232WaitFailed = 7;
constexpr uint32_t kRS232LineStatusFailed = 8;  // the line-error counters could not be read
constexpr uint32_t kRS232Cancelled = 9;         // the port's cancel handle was signalled
constexpr uint32_t kRS232ShortReceive = 16;     // fewer bytes than requested in wait_ms

// Open flags.
constexpr uint8_t kRS232ReportShort = 0x01;

// Parity in the platform's coding.
constexpr uint8_t kParityNone = 0;
constexpr uint8_t kParityOdd = 1;
constexpr uint8_t kParityEven = 2;

// Opens `name` exclusively with 8 data bits, the given parity (checked) and stop bits
// (0: one, 2: two), raw, no flow control, DTR and RTS inactive, both queues purged.
// Returns null on failure with one of the texts
//   "RS232_Open(): Invalid Port Name: %s", "RS232_Open(): Open port %s : error %d",
//   "RS232_Open(): SetComState() error"
// by the buffer rule (ReportError). The error number is errno (a port that another
// program holds gives 16, EBUSY), on Windows GetLastError() (there such a port gives 5).
RS232Port* RS232_Open(const std::string& name, uint32_t baud, uint8_t parity, uint8_t stopbits,
                      uint32_t timeout_ms, uint8_t flags, std::string* err_text = nullptr);

// One exchange: transmit n_tx bytes (handed to the kernel, not awaited), then receive
// exactly n_rx_req bytes, ending early only when wait_ms has run out since the receive
// started. Codes: 0 success, 1 null handle, 2 write failed, 3 write could not finish,
// 4 read failed, 8 line-error counters unreadable, 9 cancelled ("RS232_TxRx(): Cancelled",
// a stop the owner asked for, never shown), 16 short receive, 32..39 line errors.
// (5, 6 and 7 belong to the Win32 wait and cannot occur here: one deadline bounds the
// whole receive.) Texts by the buffer rule; a short receive with report_short 0 puts "@"
// into the caller's buffer and shows nothing.
uint32_t RS232_TxRx(RS232Port* port, const uint8_t* tx, uint32_t n_tx, uint8_t* rx, uint32_t* n_rx,
                    uint32_t n_rx_req, std::string* err_text = nullptr);

// Discards whatever has arrived and not been read yet, with its line errors.
void RS232_PurgeRx(RS232Port* port);

// Reads and discards until nothing has arrived for `quiet_ms` (the rest of a broken
// answer still on the line), at most the port's wait_ms; the line errors go with it.
void RS232_DiscardUntilQuiet(RS232Port* port, uint32_t quiet_ms);

// Waits until everything written has left the port (a stop byte before the close).
void RS232_Drain(RS232Port* port);

// Closes and frees the port; 0, or -1 with "RS232_Close(): CloseHandle() error".
// A null handle returns 0.
int RS232_Close(RS232Port* port, std::string* err_text = nullptr);

#ifndef _WIN32
// The framing RS232_Open applies, made from the device's current settings in *t:
// 8 data bits, parity checked and errors marked (INPCK|PARMRK), raw, no flow control.
// False for a speed or parity the port cannot have.
bool RS232_MakeTermios(uint32_t baud, uint8_t parity, uint8_t stopbits, termios* t);
#endif

// Opens a device the way RS232_Open does (read and write, exclusive) and returns the
// descriptor or handle, or -1 with the error number (errno, or Windows' GetLastError) in
// *error. Shared with the port list's trial open.
intptr_t OpenDeviceExclusive(const std::string& path, int* error);
void CloseDevice(intptr_t device);

}  // namespace korvex
