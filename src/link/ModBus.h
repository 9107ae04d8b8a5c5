// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "link/RS232Port.h"

namespace korvex {

// ModBus RTU master over an open port (8 data bits, even parity, one stop bit).
//
// Every operation returns 0 on success or a code, passed through unchanged from where
// it was found: 1..8, 16, 32..39 from the port layer; kModBusProtocolError (-1) for a
// wrong address, wrong function, CRC mismatch or a refused count; 0x100 + code for an
// exception answer. Texts nest from the operation down to the port, line by line, e.g.
//   "ModBus_ReadHldReg(Addr=1, Reg=130, Num=2):\nModBus_TxRx(): Rx(phase1) error:\n@"
// and go by the buffer rule (ReportError).
//
// Exchanges are serialised by ModBusLock: a request and its answer are one indivisible
// step, whichever thread issues them. Before each request whatever is still pending in
// the receive queue (the surplus of an earlier broken answer) is discarded, and an answer
// refused for its address, function or CRC is read away to its end (until the line has
// been quiet for 20 ms) before the call returns.

// Function codes, and the flag an exception answer sets in the function code.
constexpr uint8_t kModBusReadHolding = 0x03;
constexpr uint8_t kModBusReadInput = 0x04;
constexpr uint8_t kModBusWriteSingle = 0x06;
constexpr uint8_t kModBusWriteMultiple = 0x10;
// The regulator's CAN tunnel: byte 2 holds the data length (high nibble) and the top 3
// bits of the 11-bit identifier, byte 3 its low 8 bits, then up to 8 data bytes.
constexpr uint8_t kModBusCanTunnel = 0x41;
constexpr uint8_t kModBusExceptionFlag = 0x80;

// Exception codes of an exception answer (ModBusExceptionName gives their names).
constexpr uint8_t kModBusIllegalFunction = 1;
constexpr uint8_t kModBusIllegalDataAddress = 2;
constexpr uint8_t kModBusIllegalDataValue = 3;
constexpr uint8_t kModBusSlaveDeviceFailure = 4;
constexpr uint8_t kModBusAcknowledge = 5;
constexpr uint8_t kModBusSlaveBusy = 6;

constexpr uint32_t kModBusOk = 0;
constexpr uint32_t kModBusProtocolError = 0xFFFFFFFFu;
// An exception answer returns this plus the exception code (kModBusSlaveBusy: 0x106).
constexpr uint32_t kModBusExceptionBase = 0x100;
constexpr uint16_t kModBusMaxRead = 125;   // registers per read
constexpr uint16_t kModBusMaxWrite = 123;  // registers per multiple write
constexpr uint32_t kCanMaxData = 8;        // data bytes of a CAN data frame

std::mutex& ModBusLock();

// The exchange core: appends the CRC to `req` (room for 2 more bytes), sends it and
// receives the answer in two phases: 3 bytes, then the rest by the answer's kind.
// `rsp_len` is the expected answer length without CRC; `rsp` holds at least 260 bytes.
uint32_t ModBus_TxRx(RS232Port* port, uint8_t* req, uint16_t req_len, uint8_t* rsp,
                     uint16_t rsp_len, uint16_t* out_len, std::string* err_text = nullptr);

uint32_t ModBus_ReadHldReg(RS232Port* port, uint8_t addr, uint16_t reg, uint16_t num,
                           uint16_t* values, std::string* err_text = nullptr);
uint32_t ModBus_ReadInpReg(RS232Port* port, uint8_t addr, uint16_t reg, uint16_t num,
                           uint16_t* values, std::string* err_text = nullptr);
uint32_t ModBus_WriteSingleReg(RS232Port* port, uint8_t addr, uint16_t reg, uint16_t value,
                               std::string* err_text = nullptr);
uint32_t ModBus_WriteMultipleReg(RS232Port* port, uint8_t addr, uint16_t reg, uint16_t num,
                                 const uint16_t* values, std::string* err_text = nullptr);

// CAN tunnel (kModBusCanTunnel): `len` data bytes (at most 8) to an 11-bit identifier.
// The answer's data bytes go to `out` (room for 8 bytes), their number to `out_count`;
// an answer that claims more than 8 is refused with kModBusProtocolError.
uint32_t ModBus_CanTxRx(RS232Port* port, uint8_t addr, const uint8_t* data, uint32_t len,
                        uint16_t can_id, uint8_t* out, uint32_t* out_count,
                        std::string* err_text = nullptr);
// Transmit only; a failure leaves the port layer's own text.
uint32_t ModBus_CanTx(RS232Port* port, uint8_t addr, const uint8_t* data, uint32_t len,
                      uint16_t can_id, std::string* err_text = nullptr);

// "NONE", "ILLEGAL_FUNCTION", ... for exception codes 0..11, "Uknown" above.
const char* ModBusExceptionName(uint32_t code);

}  // namespace korvex
