// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/ModBus.h"

#include <cstring>

#include "app/ErrorReport.h"
#include "app/StrPrintf.h"
#include "link/LinkTrace.h"
#include "link/ModBusCRC.h"

namespace korvex {

namespace {

constexpr size_t kRequestRoom = 256;
constexpr size_t kAnswerRoom = 260;

void Put16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v >> 8);
    p[1] = uint8_t(v);
}

// The outer level of a nested text: the operation, a line break, the inner text.
uint32_t Fail(std::string* err_text, const std::string& outer, const std::string& inner,
              uint32_t code) {
    ReportError(err_text, outer + "\n" + inner);
    return code;
}

}  // namespace

std::mutex& ModBusLock() {
    static std::mutex lock;
    return lock;
}

const char* ModBusExceptionName(uint32_t code) {
    static const char* const kNames[] = {"NONE",
                                         "ILLEGAL_FUNCTION",
                                         "ILLEGAL_DATA_ADDRESS",
                                         "ILLEGAL_DATA_VALUE",
                                         "SLAVE_DEVICE_FAILURE",
                                         "ACKNOWLEDGE",
                                         "SLAVE_BUSY",
                                         "???",
                                         "MEMORY_PARITY_ERROR",
                                         "???",
                                         "GATEWAY_PATH_FAILED",
                                         "GATEWAY_TGT_FAILED"};
    return code < 12 ? kNames[code] : "Uknown";
}

// How long the line must be quiet before the rest of a refused answer counts as gone.
constexpr uint32_t kQuietMs = 20;

uint32_t ModBus_TxRx(RS232Port* port, uint8_t* req, uint16_t req_len, uint8_t* rsp,
                     uint16_t rsp_len, uint16_t* out_len, std::string* err_text) {
    uint16_t crc = ModBus_CRC(req, req_len);
    req[req_len] = uint8_t(crc);
    req[req_len + 1] = uint8_t(crc >> 8);

    uint32_t code = 0;
    std::string text;
    std::string inner;
    uint32_t L = rsp_len;
    uint32_t got = 0;
    {
        std::lock_guard<std::mutex> lock(ModBusLock());
        // The surplus of an earlier broken answer would otherwise be read as the start
        // of this one.
        RS232_PurgeRx(port);
        LinkTrace(true, req, req_len + 2u);
        uint32_t n = 0;
        code = RS232_TxRx(port, req, req_len + 2u, rsp, &n, 3, &inner);
        got = n;
        if (code) {
            text = "ModBus_TxRx(): Rx(phase1) error:\n" + inner;
        } else if (rsp[0] != req[0]) {
            code = kModBusProtocolError;
            text = "ModBus_TxRx(): Rx(phase1) error: first byte (addr) error";
        } else if ((rsp[1] & ~kModBusExceptionFlag) != req[1]) {
            code = kModBusProtocolError;
            text = "ModBus_TxRx(): Rx(phase1) error: second byte (function) error";
        } else {
            if (rsp[1] & kModBusExceptionFlag) L = 3;
            if (rsp[1] == kModBusCanTunnel) L = (rsp[2] >> 4) + 4u;
            if (L < 3) L = 3;
            if (L + 2 > kAnswerRoom) L = kAnswerRoom - 2;
            n = 0;
            code = RS232_TxRx(port, nullptr, 0, rsp + 3, &n, L - 1, &inner);
            got += n;
            if (code) text = "ModBus_TxRx(): Rx(phase2) error:\n" + inner;
            if (out_len) *out_len = uint16_t(L);
            if (!code) {
                uint16_t want = ModBus_CRC(rsp, L);
                if (rsp[L] != uint8_t(want) || rsp[L + 1] != uint8_t(want >> 8)) {
                    code = kModBusProtocolError;
                    text = "ModBus_TxRx(): Rx CRC error";
                }
            }
        }
        LinkTrace(false, rsp, got);
        // An answer refused for its address, function or CRC may not have ended yet: the
        // rest still on the line would be taken for the start of the next answer. It is
        // read away until the line has been quiet for a while (USB adapters pass bytes
        // on in bursts up to 16 ms apart).
        if (code == kModBusProtocolError) RS232_DiscardUntilQuiet(port, kQuietMs);
    }
    if (code) {
        ReportError(err_text, text);
        return code;
    }
    if (L == 3) {
        ReportError(err_text, StrPrintf("ModBus_TxRx(): Exception %d (%s)", rsp[2],
                                        ModBusExceptionName(rsp[2])));
        return kModBusExceptionBase + rsp[2];
    }
    return 0;
}

namespace {

// A count beyond the ModBus limit would overrun the request or answer buffer.
bool CountFits(uint16_t num, uint16_t limit, const std::string& outer, std::string* err_text) {
    if (num <= limit) return true;
    Fail(err_text, outer,
         StrPrintf("Num=%d is beyond the ModBus limit of %d registers", num, limit),
         kModBusProtocolError);
    return false;
}

// One exchange of a register function, its failure nested behind `outer`.
uint32_t Exchange(RS232Port* port, uint8_t* req, uint16_t req_len, uint8_t* rsp, uint16_t rsp_len,
                  const std::string& outer, std::string* err_text) {
    std::string inner;
    uint32_t code = ModBus_TxRx(port, req, req_len, rsp, rsp_len, nullptr, &inner);
    return code ? Fail(err_text, outer, inner, code) : 0;
}

uint32_t ReadRegisters(RS232Port* port, uint8_t function, const char* op, uint8_t addr,
                       uint16_t reg, uint16_t num, uint16_t* values, std::string* err_text) {
    std::string outer = StrPrintf("%s(Addr=%d, Reg=%d, Num=%d):", op, addr, reg, num);
    if (!CountFits(num, kModBusMaxRead, outer, err_text)) return kModBusProtocolError;
    uint8_t req[kRequestRoom];
    uint8_t rsp[kAnswerRoom];
    req[0] = addr;
    req[1] = function;
    Put16(req + 2, reg);
    Put16(req + 4, num);
    uint32_t code = Exchange(port, req, 6, rsp, uint16_t(3 + 2 * num), outer, err_text);
    if (code) return code;
    for (uint16_t i = 0; i < num; ++i) values[i] = uint16_t(rsp[3 + 2 * i] << 8 | rsp[4 + 2 * i]);
    return 0;
}

}  // namespace

uint32_t ModBus_ReadHldReg(RS232Port* port, uint8_t addr, uint16_t reg, uint16_t num,
                           uint16_t* values, std::string* err_text) {
    if (num == 0) return 0;
    return ReadRegisters(port, kModBusReadHolding, "ModBus_ReadHldReg", addr, reg, num, values,
                         err_text);
}

uint32_t ModBus_ReadInpReg(RS232Port* port, uint8_t addr, uint16_t reg, uint16_t num,
                           uint16_t* values, std::string* err_text) {
    // No shortcut for 0 registers: the request goes out, and its 3-byte answer length
    // makes any answer an exception answer.
    return ReadRegisters(port, kModBusReadInput, "ModBus_ReadInpReg", addr, reg, num, values,
                         err_text);
}

uint32_t ModBus_WriteSingleReg(RS232Port* port, uint8_t addr, uint16_t reg, uint16_t value,
                               std::string* err_text) {
    uint8_t req[kRequestRoom];
    uint8_t rsp[kAnswerRoom];
    req[0] = addr;
    req[1] = kModBusWriteSingle;
    Put16(req + 2, reg);
    Put16(req + 4, value);
    return Exchange(port, req, 6, rsp, 6,
                    StrPrintf("ModBus_WriteSingleReg(Addr=%d, Reg=%d):", addr, reg), err_text);
}

uint32_t ModBus_WriteMultipleReg(RS232Port* port, uint8_t addr, uint16_t reg, uint16_t num,
                                 const uint16_t* values, std::string* err_text) {
    if (num == 0) return 0;
    std::string outer =
        StrPrintf("ModBus_WriteMultipleReg(Addr=%d, Reg=%d, Num=%d):", addr, reg, num);
    if (!CountFits(num, kModBusMaxWrite, outer, err_text)) return kModBusProtocolError;
    uint8_t req[kRequestRoom];
    uint8_t rsp[kAnswerRoom];
    req[0] = addr;
    req[1] = kModBusWriteMultiple;
    Put16(req + 2, reg);
    Put16(req + 4, num);
    req[6] = uint8_t(2 * num);
    for (uint16_t i = 0; i < num; ++i) Put16(req + 7 + 2 * i, values[i]);
    return Exchange(port, req, uint16_t(7 + 2 * num), rsp, 6, outer, err_text);
}

namespace {

uint16_t BuildCanRequest(uint8_t* req, uint8_t addr, const uint8_t* data, uint32_t len,
                         uint16_t can_id) {
    req[0] = addr;
    req[1] = kModBusCanTunnel;
    req[2] = uint8_t((len << 4) + ((can_id >> 8) & 0x07));
    req[3] = uint8_t(can_id);
    if (len) std::memcpy(req + 4, data, len);  // a frame without data may come with no buffer
    return uint16_t(4 + len);
}

}  // namespace

uint32_t ModBus_CanTxRx(RS232Port* port, uint8_t addr, const uint8_t* data, uint32_t len,
                        uint16_t can_id, uint8_t* out, uint32_t* out_count, std::string* err_text) {
    std::string outer = StrPrintf("ModBus_CanTxRx(Addr=%d):", addr);
    if (len > kCanMaxData)
        return Fail(
            err_text, outer,
            StrPrintf("%u data bytes do not fit a CAN frame (at most %u)", len, kCanMaxData),
            kModBusProtocolError);
    uint8_t req[kRequestRoom];
    uint8_t rsp[kAnswerRoom];
    uint16_t n = BuildCanRequest(req, addr, data, len, can_id);
    uint16_t used = 0;
    std::string inner;
    uint32_t code = ModBus_TxRx(port, req, n, rsp, 4, &used, &inner);
    if (code) return Fail(err_text, outer, inner, code);
    uint32_t count = rsp[2] >> 4;
    // A CAN data frame carries at most 8 bytes; more would overrun the caller's buffer.
    if (count > kCanMaxData)
        return Fail(err_text, outer,
                    StrPrintf("ModBus_TxRx(): CAN answer with %u data bytes", count),
                    kModBusProtocolError);
    std::memcpy(out, rsp + 4, count);
    *out_count = count;
    return 0;
}

uint32_t ModBus_CanTx(RS232Port* port, uint8_t addr, const uint8_t* data, uint32_t len,
                      uint16_t can_id, std::string* err_text) {
    if (len > kCanMaxData) {
        ReportError(err_text,
                    StrPrintf("ModBus_CanTx(): %u data bytes do not fit a CAN frame (at most %u)",
                              len, kCanMaxData));
        return kModBusProtocolError;
    }
    uint8_t req[kRequestRoom];
    uint16_t n = BuildCanRequest(req, addr, data, len, can_id);
    uint16_t crc = ModBus_CRC(req, n);
    req[n] = uint8_t(crc);
    req[n + 1] = uint8_t(crc >> 8);
    std::lock_guard<std::mutex> lock(ModBusLock());
    LinkTrace(true, req, n + 2u);
    return RS232_TxRx(port, req, n + 2u, nullptr, nullptr, 0, err_text);
}

}  // namespace korvex
