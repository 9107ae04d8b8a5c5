// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "link/RS232Port.h"

namespace korvex {

// Switching the regulator's port into ModBus RTU and back. Runs on one thread while no
// worker uses the port. Texts nest behind the operation's prefix, e.g.
//   "TSR_RS232_Open_ModBus(): TSR_RS232_to_ModBus(): RS232_Open(): Open port COM3 : error 16"
// and go by the buffer rule.

// Keys of the switch frame (target 0xF5) and the ModBus speed each selects.
constexpr int32_t kKeyDiary = 0;  // 115200 baud, even parity
constexpr int32_t kKeyRecorder115200 = 640;
constexpr int32_t kKeyRecorder230400 = 648;

// The exit message that takes the regulator back from ModBus to its normal mode: a CAN
// frame to identifier 0x690 with the data 23 07 00, through the tunnel to address 0.
constexpr uint16_t kModBusExitCanId = 0x690;
constexpr std::array<uint8_t, 3> kModBusExitMessage = {0x23, 0x07, 0x00};

// Opens the port at 9600 8N1, sends FF FE FC <key> F5 with no answer, waits 20 ms for
// the frame to leave the line and closes the port. 0, -1 (open or close failed) or the
// port layer's code.
int32_t TSR_RS232_to_ModBus(const std::string& port_name, int32_t key,
                            std::string* err_text = nullptr);

// Switches the regulator, waits 10 ms and opens the port at `baud` and `parity` with a
// 1000 ms receive time-out and silent short receives. Nothing is sent to check the
// switch: the caller's first ModBus read does that. Null on failure.
RS232Port* TSR_RS232_Open_ModBus(const std::string& port_name, int32_t key, uint32_t baud,
                                 uint8_t parity, std::string* err_text = nullptr);

// Sends the exit message (kModBusExitMessage), waits 10 ms and closes the
// port, which is invalid afterwards in every case. 0 or the code of the first failure.
int32_t TSR_RS232_exit_ModBus(RS232Port* port, std::string* err_text = nullptr);

}  // namespace korvex
