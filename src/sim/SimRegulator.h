// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/PtyPair.h"
#include "sim/SimMode.h"

namespace korvex::sim {

// The simulated regulator: a pseudo-terminal pair whose master end behaves like the
// regulator's RS-232 port. It starts in the normal mode and follows switch frames to
// the modes registered for their targets. Everything it sends, and everything it takes
// in, is paced at the current mode's line speed, so link timing is real.
//
// Start() spawns the simulator's thread; Stop() (and the destructor) stops and joins it.
// The accessors may be called from any thread.
class SimRegulator {
public:
    using ModeFactory = std::function<std::unique_ptr<SimMode>(int32_t key)>;

    struct WireEvent {
        bool from_program;  // true: received by the regulator; false: sent by it
        std::string mode;   // the mode that was in force
        std::vector<uint8_t> bytes;
    };

    SimRegulator();
    ~SimRegulator();
    SimRegulator(const SimRegulator&) = delete;
    SimRegulator& operator=(const SimRegulator&) = delete;

    // Registers the mode a switch frame with `target` enters. Before Start().
    void RegisterMode(uint8_t target, ModeFactory factory);
    // The mode to start in instead of the normal mode (korvex-sim --mode). Before Start().
    void StartIn(std::unique_ptr<SimMode> mode);
    // Log lines go here (korvex-sim --verbose); default: nowhere.
    void SetLogger(std::function<void(const std::string&)> logger);

    bool Start(std::string* error);
    void Stop();

    const std::string& port_path() const { return pty_.slave_path(); }
    std::string current_mode() const;

    // The traffic so far, merged into one event per direction change.
    std::vector<WireEvent> Wire() const;
    // All bytes the regulator has received, in order.
    std::vector<uint8_t> Received() const;
    void ClearWire();

private:
    class Link;
    void Run();
    void Deliver(Clock::time_point upto);
    void PumpInput(Clock::time_point until);
    // Appends to the traffic; returns where the bytes went: the event, counted since the
    // last ClearWire.
    struct WireMark {
        uint64_t generation;
        size_t event;
    };
    WireMark Record(bool from_program, const uint8_t* data, size_t n);
    void SendPaced(const uint8_t* data, size_t n);
    void ApplyPendingMode();

    PtyPair pty_;
    int wake_pipe_[2] = {-1, -1};
    std::thread thread_;
    std::atomic<bool> stop_{false};

    std::map<uint8_t, ModeFactory> factories_;
    std::unique_ptr<SimMode> mode_;
    std::unique_ptr<SimMode> pending_mode_;
    std::unique_ptr<Link> link_;
    std::function<void(const std::string&)> logger_;

    struct Incoming {
        uint8_t byte;
        Clock::time_point due;
    };
    std::vector<Incoming> rx_queue_;
    Clock::time_point batch_first_{}, batch_last_{};  // line times of the bytes being delivered
    LineClock rx_clock_, tx_clock_;

    mutable std::mutex mu_;  // guards the three below
    std::vector<WireEvent> wire_;
    uint64_t wire_generation_ = 0;  // ClearWire calls so far
    std::string mode_name_;
};

}  // namespace korvex::sim
