// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "sim/LineClock.h"

namespace korvex::sim {

class SimLink;

// One behaviour of the regulator's port: its normal mode, ModBus RTU, the oscilloscope
// stream. Runs on the simulator's thread only.
class SimMode {
public:
    virtual ~SimMode() = default;
    virtual const char* name() const = 0;
    virtual LineSpeed speed() const = 0;
    // Called once when the mode takes over the port.
    virtual void OnEnter(SimLink& /*link*/) {}
    // Bytes as they arrive (n > 0), paced at this mode's line speed. Returns how many it
    // took, at least 1: fewer than n when one of them handed the port on (a switch frame,
    // a stop, an exit message), and the rest then go to the next mode.
    virtual size_t OnBytes(const uint8_t* data, size_t n, SimLink& link) = 0;
    // Called at least every IdleIntervalMs() whether or not bytes came.
    virtual void OnIdle(SimLink& /*link*/) {}
    virtual int IdleIntervalMs() const { return 20; }
    // When the mode next needs OnIdle sooner than its interval (a packet due).
    virtual Clock::time_point Deadline() const { return Clock::time_point::max(); }
};

// What a mode may do with the port.
class SimLink {
public:
    virtual ~SimLink() = default;
    // Sends bytes paced at the current mode's line speed; returns once the last byte
    // has been handed over. Bytes nobody reads are lost, as on a real line.
    virtual void Send(const uint8_t* data, size_t n) = 0;
    // Hands the port to the mode for a switch frame's target and key; an unknown target
    // leaves the current mode in place. Takes effect when the current call returns.
    virtual void EnterMode(uint8_t target, int32_t key) = 0;
    // Back to the normal mode (9600 baud, waiting for a switch frame).
    virtual void ReturnToNormal() = 0;
    // True once EnterMode or ReturnToNormal has handed the port on during this call.
    virtual bool ModeChanging() const = 0;
    virtual void Log(const std::string& text) = 0;
    virtual Clock::time_point Now() const { return Clock::now(); }
    // When the first and the last byte of the bytes being handed over arrived on the line
    // (they may be handed over later, when the simulator's thread was held up).
    virtual Clock::time_point FirstByteTime() const { return Now(); }
    virtual Clock::time_point LastByteTime() const { return Now(); }
};

}  // namespace korvex::sim
