// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

#include "link/RS232Port.h"

namespace korvex {

// Reads the selected sector (registers 0x8200-0x82FF) into words[256] in three requests
// of 86, 86 and 84 registers. Returns 0, or the code of the failing ModBus call with
// its text in *text:
//  - a character-buffer overrun (35) repeats the request, three times per chunk at most;
//    the third gives "Слишком много попыток считывания сектора (OVER)";
//  - a busy answer (exception 6, 0x106) to the first chunk repeats it for up to 500 ms
//    after the first busy answer: the regulator takes its time after a sector was
//    selected. A busy answer to a later chunk, or after 500 ms, is a failure.
uint32_t AvOsc_ReadSector(RS232Port* port, uint16_t* words, std::string* text);

}  // namespace korvex
