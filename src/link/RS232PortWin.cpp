// SPDX-License-Identifier: GPL-3.0-or-later
// The port layer on the Win32 communications interface: the device opened exclusively
// for overlapped I/O, a transmit that is started and not awaited, a receive of exactly
// the wanted number of bytes that ends early only by its time-out, and the error flags
// of ClearCommError turned into the codes 32..39.
#include <windows.h>

#include <map>
#include <mutex>
#include <vector>

#include "app/ErrorReport.h"
#include "app/StrPrintf.h"
#include "link/RS232PortState.h"

namespace korvex {

namespace {

// The Win32 port: the records of the running transfers. The transmit's bytes are kept
// here until the transfer has finished: the caller's buffer may be gone by then.
struct Win32Port final : RS232Port {
    OVERLAPPED tx{};
    OVERLAPPED rx{};
    std::vector<uint8_t> tx_bytes;
    bool tx_pending = false;
    uint32_t applied_wait_ms = MAXDWORD;  // the receive time-out the device has now
};

Win32Port& Win32(RS232Port* port) {
    return static_cast<Win32Port&>(*port);
}

HANDLE Handle(intptr_t device) {
    return reinterpret_cast<HANDLE>(device);
}

// ClearCommError reads and clears flags; the counters' source keeps running counts of
// them per device, so that the port layer sees the flags of each exchange as a change.
class CommErrorSource : public LineStatusSource {
public:
    bool ReadCounts(intptr_t device, LineErrorCounts* out) override {
        DWORD errors = 0;
        COMSTAT stat{};
        if (!ClearCommError(Handle(device), &errors, &stat)) return false;
        std::lock_guard<std::mutex> lock(mu_);
        LineErrorCounts& counts = counts_[device];
        AddCommErrors(errors, &counts);
        *out = counts;
        return true;
    }
    void Forget(intptr_t device) {
        std::lock_guard<std::mutex> lock(mu_);
        counts_.erase(device);
    }

private:
    std::mutex mu_;
    std::map<intptr_t, LineErrorCounts> counts_;
};

CommErrorSource& CommErrors() {
    static CommErrorSource source;
    return source;
}

bool ApplyTimeouts(HANDLE h, DWORD read_constant, DWORD read_interval = 0) {
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = read_interval;
    t.ReadTotalTimeoutMultiplier = 0;
    t.ReadTotalTimeoutConstant = read_constant;
    t.WriteTotalTimeoutMultiplier = 0;
    t.WriteTotalTimeoutConstant = 0;
    return SetCommTimeouts(h, &t) != 0;
}

// Waits for a transmit still going out, so that its record and bytes can be reused.
void FinishTransmit(RS232Port* port) {
    Win32Port& o = Win32(port);
    if (!o.tx_pending) return;
    DWORD written = 0;
    GetOverlappedResult(Handle(port->device), &o.tx, &written, TRUE);
    o.tx_pending = false;
}

// Starts a read of n bytes and waits up to `wait_ms` (and for the port's stop token).
// Returns the code of the receive: 0 with *got set, 4, 5, 6 (time-out, *got the bytes
// that came), 7 or 9, and fills `text` for the failures.
uint32_t Receive(RS232Port* port, uint8_t* rx, DWORD n, DWORD wait_ms, DWORD* got,
                 std::string* text) {
    HANDLE h = Handle(port->device);
    Win32Port& o = Win32(port);
    *got = 0;
    ResetEvent(o.rx.hEvent);
    if (ReadFile(h, rx, n, got, &o.rx)) return 0;
    DWORD e = GetLastError();
    if (e != ERROR_IO_PENDING) {
        *text = StrPrintf("RS232_TxRx(): ReadFile() error 0x%X", unsigned(e));
        return kRS232ReadFailed;
    }
    const CancelHandle* cancel = StopHandle(*port);
    HANDLE waits[2] = {o.rx.hEvent, cancel ? Handle(cancel->native()) : nullptr};
    DWORD w = WaitForMultipleObjects(cancel ? 2 : 1, waits, FALSE, wait_ms);
    if (w == WAIT_FAILED) {
        e = GetLastError();
        CancelIo(h);
        GetOverlappedResult(h, &o.rx, got, TRUE);
        *text = StrPrintf("RS232_TxRx(): WaitForSingleObject() error 0x%X", unsigned(e));
        return kRS232WaitFailed;
    }
    if (w == WAIT_OBJECT_0 + 1) {
        // A stop the owner asked for: the read is given up at once.
        CancelIo(h);
        GetOverlappedResult(h, &o.rx, got, TRUE);
        *text = "RS232_TxRx(): Cancelled";
        return kRS232Cancelled;
    }
    // Signalled, or the wait ran out and the read ends by its own time-out: either way
    // its count is fetched, waiting for it to finish.
    if (!GetOverlappedResult(h, &o.rx, got, TRUE)) {
        // A read that ended by its own time-out is complete with the bytes that came:
        // Windows reports it so, Wine as failed with ERROR_TIMEOUT (its status is
        // STATUS_TIMEOUT, a success). Either way it is the same short read.
        if (GetLastError() != ERROR_TIMEOUT) {
            *text = "RS232_TxRx(): GetOverlappedResult() error";
            return kRS232OverlappedFailed;
        }
        *got = DWORD(o.rx.InternalHigh);
    }
    if (w == WAIT_TIMEOUT) {
        *text = StrPrintf("RS232_TxRx(): Wait Answer Time-out  (N_wait=%d, N_Rx=%d)", int(n),
                          int(*got));
        return kRS232WaitTimeout;
    }
    return 0;
}

}  // namespace

LineStatusSource& KernelLineStatus() {
    return CommErrors();
}

intptr_t OpenDeviceExclusive(const std::string& path, int* error) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        *error = int(GetLastError());
        return -1;
    }
    return reinterpret_cast<intptr_t>(h);
}

void CloseDevice(intptr_t device) {
    if (device == -1 || device == 0) return;
    CommErrors().Forget(device);
    CloseHandle(Handle(device));
}

RS232Port* RS232_Open(const std::string& name, uint32_t baud, uint8_t parity, uint8_t stopbits,
                      uint32_t timeout_ms, uint8_t flags, std::string* err_text) {
    intptr_t device = OpenNamedDevice(name, err_text);
    if (device == -1) return nullptr;
    HANDLE h = Handle(device);
    // Everything not named is zero: no flow control of either kind, DTR and RTS held
    // inactive.
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = baud;
    dcb.ByteSize = 8;
    dcb.Parity = parity;
    dcb.fParity = TRUE;
    dcb.StopBits = stopbits;
    dcb.fBinary = TRUE;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    if (!SetCommState(h, &dcb)) {
        RefuseFraming(device, err_text);
        return nullptr;
    }
    if (!ApplyTimeouts(h, timeout_ms)) {
        CloseDevice(device);
        ReportError(err_text, "RS232_Open(): SetComTimeouts() error");
        return nullptr;
    }
    DWORD errors = 0;
    ClearCommError(h, &errors, nullptr);
    PurgeComm(h, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);

    auto* port = new Win32Port;
    port->applied_wait_ms = timeout_ms;
    port->tx.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    port->rx.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!port->tx.hEvent || !port->rx.hEvent) {
        if (port->tx.hEvent) CloseHandle(port->tx.hEvent);
        if (port->rx.hEvent) CloseHandle(port->rx.hEvent);
        CloseDevice(device);
        delete port;
        ReportError(err_text, "RS232_Open(): CreateEvent() error");
        return nullptr;
    }
    port->counters_every_receive = true;
    SetUpPort(port, device, name, baud, parity, stopbits, timeout_ms, flags);
    return port;
}

uint32_t RS232_TxRx(RS232Port* port, const uint8_t* tx, uint32_t n_tx, uint8_t* rx, uint32_t* n_rx,
                    uint32_t n_rx_req, std::string* err_text) {
    if (!port) {
        ReportError(err_text, "RS232_TxRx(): hComm=0");
        return kRS232NullHandle;
    }
    if (n_rx) *n_rx = 0;
    HANDLE h = Handle(port->device);
    Win32Port& o = Win32(port);

    if (tx && n_tx) {
        FinishTransmit(port);
        o.tx_bytes.assign(tx, tx + n_tx);
        ResetEvent(o.tx.hEvent);
        DWORD written = 0;
        if (WriteFile(h, o.tx_bytes.data(), n_tx, &written, &o.tx)) {
            if (written < n_tx) {
                ReportError(err_text,
                            StrPrintf("WriteFile(%d bytes): n_wr=%d", int(n_tx), int(written)));
                return kRS232WriteShort;
            }
        } else if (GetLastError() == ERROR_IO_PENDING) {
            o.tx_pending = true;  // not waited for: the answer may start meanwhile
        } else {
            ReportError(err_text, StrPrintf("RS232_TxRx(): WriteFile(%d bytes): error 0x%X",
                                            int(n_tx), unsigned(GetLastError())));
            return kRS232WriteFailed;
        }
    }
    if (!rx || !n_rx || !n_rx_req) return kRS232Ok;

    // The receive's own time-out is the port's wait; a caller may have changed it.
    if (port->wait_ms != o.applied_wait_ms && ApplyTimeouts(h, port->wait_ms))
        o.applied_wait_ms = port->wait_ms;
    DWORD got = 0;
    std::string text;
    uint32_t code = Receive(port, rx, n_rx_req, port->wait_ms, &got, &text);
    if (code == kRS232Cancelled) {
        *n_rx = got;
        ReportError(err_text, text);
        return code;
    }
    if (code && code != kRS232WaitTimeout) {
        ReportError(err_text, text);
        return code;
    }
    if (code == 0) {
        *n_rx = got;
        if (got != n_rx_req) return ShortReceive(*port, n_rx_req, got, err_text);
    }

    // Line-status check: the flags since the last one, counted by the source. A line
    // error replaces a time-out; without one the time-out reports its own text.
    uint32_t line = CheckLineStatus(port, err_text);
    if (line) return line;
    if (code) ReportError(err_text, text);
    return code;
}

void RS232_PurgeRx(RS232Port* port) {
    if (!port) return;
    PurgeComm(Handle(port->device), PURGE_RXABORT | PURGE_RXCLEAR);
    ForgetLineErrors(port);
}

void RS232_DiscardUntilQuiet(RS232Port* port, uint32_t quiet_ms) {
    if (!port) return;
    HANDLE h = Handle(port->device);
    // Each read ends when `quiet_ms` pass without a byte (an interval time-out) or when
    // the buffer is full; the whole discard takes at most the port's wait.
    DWORD deadline = GetTickCount() + port->wait_ms;
    if (ApplyTimeouts(h, quiet_ms, quiet_ms)) {
        Win32(port).applied_wait_ms = MAXDWORD;
        uint8_t junk[512];
        for (;;) {
            DWORD got = 0;
            std::string text;
            if (Receive(port, junk, sizeof junk, quiet_ms + 50, &got, &text) != 0 || got == 0)
                break;
            if (LONG(GetTickCount() - deadline) >= 0) break;
        }
    }
    RS232_PurgeRx(port);
}

void RS232_Drain(RS232Port* port) {
    if (!port) return;
    FinishTransmit(port);
    FlushFileBuffers(Handle(port->device));
}

int RS232_Close(RS232Port* port, std::string* err_text) {
    if (!port) return 0;
    Win32Port& o = Win32(port);
    HANDLE h = Handle(o.device);
    bool ok = true;
    if (o.tx_pending) {
        // The device is about to go: whatever has not left yet is given up.
        CancelIo(h);
        FinishTransmit(port);
    }
    ok = CloseHandle(o.tx.hEvent) && ok;
    ok = CloseHandle(o.rx.hEvent) && ok;
    CommErrors().Forget(o.device);
    ok = CloseHandle(h) && ok;
    delete &o;
    if (!ok) {
        ReportError(err_text, "RS232_Close(): CloseHandle() error");
        return -1;
    }
    return 0;
}

}  // namespace korvex
