// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>

namespace korvex {

// Line-error counters of the driver (frame, parity, overrun, break, buffer overrun),
// as Linux serial drivers keep them for TIOCGICOUNT.
struct LineErrorCounts {
    uint32_t brk = 0;
    uint32_t frame = 0;
    uint32_t overrun = 0;
    uint32_t parity = 0;
    uint32_t buf_overrun = 0;
    // Reported by Windows only (ClearCommError): a device I/O error, a full transmit
    // queue, and any other error flag.
    uint32_t io = 0;
    uint32_t tx_full = 0;
    uint32_t other = 0;
};

// ClearCommError's error flags (their Win32 values), and the counts they add: Windows
// reports flags that the call clears, the counters' source keeps running counts of them,
// so that both platforms classify the same way.
constexpr uint32_t kCommRxOver = 0x0001;    // CE_RXOVER
constexpr uint32_t kCommOverrun = 0x0002;   // CE_OVERRUN
constexpr uint32_t kCommRxParity = 0x0004;  // CE_RXPARITY
constexpr uint32_t kCommFrame = 0x0008;     // CE_FRAME
constexpr uint32_t kCommBreak = 0x0010;     // CE_BREAK
constexpr uint32_t kCommTxFull = 0x0100;    // CE_TXFULL
constexpr uint32_t kCommIoError = 0x0400;   // CE_IOE
void AddCommErrors(uint32_t flags, LineErrorCounts* counts);

// The change of running counts from `before` to `now`.
LineErrorCounts CountsSince(const LineErrorCounts& now, const LineErrorCounts& before);

// Where the counters come from. The kernel is the source in use; tests drive the
// classification through their own source. ReadCounts returns false when the driver
// has no counters (a pseudo-terminal, some USB adapters).
class LineStatusSource {
public:
    virtual ~LineStatusSource() = default;
    // `port` is the descriptor (POSIX) or handle (Windows) of the open device.
    virtual bool ReadCounts(intptr_t port, LineErrorCounts* out) = 0;
};

// The driver's counters (Linux: TIOCGICOUNT; Windows: ClearCommError's flags counted).
// Defined with the platform's port layer.
LineStatusSource& KernelLineStatus();

// What the receive saw of the driver's marks (termios INPCK|PARMRK).
struct MarkTally {
    uint32_t nul_marks = 0;   // FF 00 00: a break, or a faulty NUL character
    uint32_t byte_marks = 0;  // FF 00 x: a framing or parity error on character x
};

// Undoes PARMRK marking: FF FF is one data byte FF; FF 00 x is data byte x received
// with an error (counted in the tally). The state carries over between reads, so a
// mark split across two reads is still decoded. Every raw byte yields at most one data
// byte, so reading only as many raw bytes as data bytes are missing never reads ahead.
class ParmrkDecoder {
public:
    // Decodes n raw bytes into out (room for n bytes) and returns the data byte count.
    size_t Decode(const uint8_t* raw, size_t n, uint8_t* out, MarkTally* tally);
    void Reset() { state_ = 0; }

private:
    int state_ = 0;  // 0 normal, 1 after FF, 2 after FF 00
};

// The line-status codes of a receive, with their texts. When several conditions hold,
// the first in this order decides.
constexpr uint32_t kLineBreak = 32;       // "RS232_TxRx(): CE_BREAK"
constexpr uint32_t kLineFrame = 33;       // "RS232_TxRx(): CE_FRAME"
constexpr uint32_t kLineIoError = 34;     // "RS232_TxRx(): CE_IOE"
constexpr uint32_t kLineOverrun = 35;     // "RS232_TxRx(): CE_OVERRUN", a character lost
constexpr uint32_t kLineRxOverflow = 36;  // "RS232_TxRx(): CE_RXOVER", the receive queue full
constexpr uint32_t kLineParity = 37;      // "RS232_TxRx(): CE_RXPARITY"
constexpr uint32_t kLineTxFull = 38;      // "RS232_TxRx(): CE_TXFULL"
constexpr uint32_t kLineOther = 39;       // "RS232_TxRx(): Unknown error"

// The line-status code of a receive: 0 when nothing was wrong, otherwise kLineBreak..
// kLineOther by the first condition in the order above.
// `delta` is the counter change over the exchange, null when the driver has none; then
// the marks alone decide (a NUL mark as a break, any other mark as 39).
uint32_t ClassifyLineErrors(const LineErrorCounts* delta, const MarkTally& marks);

// The text of a line-status code (above); any other code gives the text of kLineOther.
const char* LineErrorText(uint32_t code);

}  // namespace korvex
