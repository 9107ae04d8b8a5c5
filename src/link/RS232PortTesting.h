// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What tests and fuzz targets need of a port beyond the public calls. Production code
// does not include this header.

#include <cstdint>
#include <string>

#include "link/RS232Port.h"

#ifndef _WIN32
struct termios;
#endif

namespace korvex {

// The open device: the descriptor (POSIX) or HANDLE (Windows); -1 for a null handle.
intptr_t RS232_NativeHandle(const RS232Port* port);

#ifndef _WIN32
// The framing RS232_Open applies, made from the device's current settings in *t:
// 8 data bits, parity checked and errors marked (INPCK|PARMRK), raw, no flow control.
// False for a speed or parity the port cannot have.
bool RS232_MakeTermios(uint32_t baud, uint8_t parity, uint8_t stopbits, termios* t);

// A port on a descriptor the caller has opened already (a socket pair's end, say), with
// short receives silent and no framing applied; RS232_Close closes the descriptor.
RS232Port* RS232_AdoptDescriptor(int fd, const std::string& name, uint32_t baud, uint32_t wait_ms);
#endif

}  // namespace korvex
