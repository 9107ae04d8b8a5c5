// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

#include "app/StopToken.h"
#include "link/LineErrors.h"

namespace korvex {

// One open serial port, behind its handle. Created by RS232_Open, owned by whoever opened
// it, destroyed only by RS232_Close. Used by one thread at a time; this layer takes no
// lock. Its state is the port layer's own: callers change it through the setters below.
struct RS232Port;

// Result codes of RS232_TxRx. Line errors are 32..39 (kLineBreak.., LineErrors.h).
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
constexpr uint32_t kRS232Cancelled = 9;         // the port's stop token was signalled
constexpr uint32_t kRS232ShortReceive = 16;     // fewer bytes than requested in the wait

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
// exactly n_rx_req bytes, ending early only when the wait (RS232_WaitMs) has run out since
// the receive started. Codes: 0 success, 1 null handle, 2 write failed, 3 write could not
// finish, 4 read failed, 8 line-error counters unreadable, 9 cancelled
// ("RS232_TxRx(): Cancelled", a stop the owner asked for, never shown), 16 short receive,
// 32..39 line errors. (5, 6 and 7 belong to the Win32 wait and cannot occur on POSIX: one
// deadline bounds the whole receive.) Texts by the buffer rule; a short receive while
// short receives are not reported puts "@" into the caller's buffer and shows nothing.
uint32_t RS232_TxRx(RS232Port* port, const uint8_t* tx, uint32_t n_tx, uint8_t* rx, uint32_t* n_rx,
                    uint32_t n_rx_req, std::string* err_text = nullptr);

// Discards whatever has arrived and not been read yet, with its line errors.
void RS232_PurgeRx(RS232Port* port);

// Reads and discards until nothing has arrived for `quiet_ms` (the rest of a broken
// answer still on the line), at most the port's wait; the line errors go with it.
void RS232_DiscardUntilQuiet(RS232Port* port, uint32_t quiet_ms);

// Waits until everything written has left the port (a stop byte before the close).
void RS232_Drain(RS232Port* port);

// Closes and frees the port; 0, or -1 with "RS232_Close(): CloseHandle() error".
// A null handle returns 0.
int RS232_Close(RS232Port* port, std::string* err_text = nullptr);

// The port's settings, changed between exchanges by the thread that uses the port. The
// setters ignore a null handle; the getters give 0 and "" for it.
//
// On: a receive that ends short is an error with a text (code 16); off (the open's
// default without kRS232ReportShort): it returns 16 silently with "@" in the buffer.
void RS232_SetReportShort(RS232Port* port, bool on);
// How long one receive may take, from its start (the open's timeout_ms at first).
void RS232_SetWaitMs(RS232Port* port, uint32_t ms);
uint32_t RS232_WaitMs(const RS232Port* port);
// On: once a receive has begun, it sleeps through most of the rest's time on the line
// instead of waking for every few characters. A continuous stream then costs a few
// wake-ups per packet; an answer may be taken up to a timer slack (~50 us) later, so
// request-answer protocols leave it off (the default).
void RS232_SetStreaming(RS232Port* port, bool sleep_through_receive);
// The stop of the worker that uses the port: once the token is asked to stop, every
// receive (and a transmit that waits for room) ends at once with kRS232Cancelled, until
// the token is reset. The token belongs to the worker's owner and must outlive the port
// or be taken off (null: not cancellable, the default).
void RS232_SetStopToken(RS232Port* port, const StopToken* token);
uint32_t RS232_Baud(const RS232Port* port);
const std::string& RS232_Name(const RS232Port* port);  // as given to RS232_Open
// Where the line-error counters come from: the driver's (null, the default) or a source a
// test plays. The source's current counts become the baseline of the next check; it must
// outlive the port or be taken off.
void RS232_SetLineStatusSource(RS232Port* port, LineStatusSource* source);

}  // namespace korvex
