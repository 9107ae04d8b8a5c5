// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/ModeSwitch.h"

#include <chrono>
#include <thread>

#include "app/ErrorReport.h"
#include "link/LinkTrace.h"
#include "link/ModBus.h"
#include "link/ModeSwitchFrame.h"

namespace korvex {

namespace {

void SleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// The end of a transmit-only step: wait `wait_ms` for the bytes to leave the line, close
// the port in any case, and report the first failure behind `prefix`: the transmit's
// code, or -1 when only the close failed.
int32_t WaitCloseAndReport(RS232Port* port, uint32_t tx_code, const std::string& tx_text,
                           int wait_ms, const char* prefix, std::string* err_text) {
    SleepMs(wait_ms);
    std::string close_text;
    int closed = RS232_Close(port, &close_text);
    if (tx_code) {
        ReportError(err_text, prefix + tx_text);
        return int32_t(tx_code);
    }
    if (closed) {
        ReportError(err_text, prefix + close_text);
        return -1;
    }
    return 0;
}

}  // namespace

int32_t TSR_RS232_to_ModBus(const std::string& port_name, int32_t key, std::string* err_text) {
    auto frame = BuildModeSwitchFrame(key, kTargetModBus);
    std::string inner;
    RS232Port* port = RS232_Open(port_name, 9600, kParityNone, 0, 100, 0, &inner);
    if (!port) {
        ReportError(err_text, "TSR_RS232_to_ModBus(): " + inner);
        return -1;
    }
    LinkTrace(true, frame.data(), frame.size());
    std::string tx_text;
    uint32_t code =
        RS232_TxRx(port, frame.data(), uint32_t(frame.size()), nullptr, nullptr, 0, &tx_text);
    // 8 characters take 8.3 ms at 9600 baud.
    return WaitCloseAndReport(port, code, tx_text, 20, "TSR_RS232_to_ModBus(): ", err_text);
}

RS232Port* TSR_RS232_Open_ModBus(const std::string& port_name, int32_t key, uint32_t baud,
                                 uint8_t parity, std::string* err_text) {
    std::string inner;
    if (TSR_RS232_to_ModBus(port_name, key, &inner) != 0) {
        ReportError(err_text, "TSR_RS232_Open_ModBus(): " + inner);
        return nullptr;
    }
    SleepMs(10);
    RS232Port* port = RS232_Open(port_name, baud, parity, 0, 1000, 0, &inner);
    if (!port) {
        ReportError(err_text, "TSR_RS232_Open_ModBus(): " + inner);
        return nullptr;
    }
    return port;
}

int32_t TSR_RS232_exit_ModBus(RS232Port* port, std::string* err_text) {
    std::string tx_text;
    uint32_t code = ModBus_CanTx(port, 0, kModBusExitMessage.data(), kModBusExitMessage.size(),
                                 kModBusExitCanId, &tx_text);
    return WaitCloseAndReport(port, code, tx_text, 10, "TSR_RS232_exit_ModBus(): ", err_text);
}

}  // namespace korvex
