// SPDX-License-Identifier: GPL-3.0-or-later
// The steps of the port layer that do not depend on the platform: the open's checks and
// texts, the port's settings, the short-receive rule and the line-status step.
#include "app/ErrorReport.h"
#include "app/StrPrintf.h"
#include "link/PortNames.h"
#include "link/RS232PortState.h"
#include "link/RS232PortTesting.h"

namespace korvex {

intptr_t OpenNamedDevice(const std::string& name, std::string* err_text) {
    std::string path;
    if (!ResolvePortName(name, &path)) {
        ReportError(err_text, StrPrintf("RS232_Open(): Invalid Port Name: %s", name.c_str()));
        return -1;
    }
    int error = 0;
    intptr_t device = OpenDeviceExclusive(path, &error);
    if (device == -1) {
        ReportError(err_text,
                    StrPrintf("RS232_Open(): Open port %s : error %d", name.c_str(), error));
        return -1;
    }
    return device;
}

void RefuseFraming(intptr_t device, std::string* err_text) {
    CloseDevice(device);
    ReportError(err_text, "RS232_Open(): SetComState() error");
}

void SetUpPort(RS232Port* port, intptr_t device, const std::string& name, uint32_t baud,
               uint8_t parity, uint8_t stopbits, uint32_t timeout_ms, uint8_t flags) {
    port->device = device;
    port->name = name;
    port->baud = baud;
    port->bits_per_char = 1 + 8 + (parity != kParityNone ? 1 : 0) + (stopbits == 2 ? 2 : 1);
    port->report_short = (flags & kRS232ReportShort) != 0;
    port->wait_ms = timeout_ms;
    port->counts_known = port->line_status->ReadCounts(device, &port->counts);
}

uint32_t ShortReceive(const RS232Port& port, uint32_t wanted, uint32_t got, std::string* err_text) {
    if (!port.report_short) {
        // The caller tells a silence from a failure by this one character.
        if (err_text) *err_text = "@";
        return kRS232ShortReceive;
    }
    ReportError(err_text,
                StrPrintf("RS232_TxRx(): ReadFile(): n_req_rx=%d, n_rd=%d", int(wanted), int(got)));
    return kRS232ShortReceive;
}

uint32_t CheckLineStatus(RS232Port* port, std::string* err_text) {
    // Counters that could be read before and cannot be read now are a failure of the
    // check itself (a device gone, a driver in trouble), not a clean line.
    const bool ask = port->counts_known || port->counters_every_receive;
    LineErrorCounts now{};
    const bool known = ask && port->line_status->ReadCounts(port->device, &now);
    if (ask && !known) {
        port->marks = MarkTally{};
        ReportError(err_text, "RS232_TxRx(): ClearCommError() error");
        return kRS232LineStatusFailed;
    }
    LineErrorCounts delta =
        known && port->counts_known ? CountsSince(now, port->counts) : LineErrorCounts{};
    uint32_t line = ClassifyLineErrors(known ? &delta : nullptr, port->marks);
    if (known) {
        port->counts = now;
        port->counts_known = true;
    }
    port->marks = MarkTally{};
    if (line) ReportError(err_text, LineErrorText(line));
    return line;
}

void ForgetLineErrors(RS232Port* port) {
    port->marks = MarkTally{};
    if (port->counts_known)
        port->counts_known = port->line_status->ReadCounts(port->device, &port->counts);
}

void RS232_SetReportShort(RS232Port* port, bool on) {
    if (port) port->report_short = on;
}

void RS232_SetWaitMs(RS232Port* port, uint32_t ms) {
    if (port) port->wait_ms = ms;
}

uint32_t RS232_WaitMs(const RS232Port* port) {
    return port ? port->wait_ms : 0;
}

void RS232_SetStreaming(RS232Port* port, bool sleep_through_receive) {
    if (port) port->sleep_through_receive = sleep_through_receive;
}

void RS232_SetStopToken(RS232Port* port, const StopToken* token) {
    if (port) port->stop = token;
}

uint32_t RS232_Baud(const RS232Port* port) {
    return port ? port->baud : 0;
}

const std::string& RS232_Name(const RS232Port* port) {
    static const std::string kNone;
    return port ? port->name : kNone;
}

void RS232_SetLineStatusSource(RS232Port* port, LineStatusSource* source) {
    if (!port) return;
    port->line_status = source ? source : &KernelLineStatus();
    LineErrorCounts counts{};
    port->counts_known = port->line_status->ReadCounts(port->device, &counts);
    port->counts = counts;
}

intptr_t RS232_NativeHandle(const RS232Port* port) {
    return port ? port->device : -1;
}

}  // namespace korvex
