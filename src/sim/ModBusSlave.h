// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <memory>
#include <vector>

#include "link/ModBus.h"
#include "sim/ParameterStore.h"
#include "sim/RegisterDevice.h"
#include "sim/RegisterMap.h"
#include "sim/SimMode.h"

namespace korvex::sim {

// Faults the ModBus side injects into its next answers; each counter says how many
// answers it spoils (-1: all of them). Set from any thread.
struct ModBusFaults {
    std::atomic<int> wrong_address{0};  // answer from address + 1
    std::atomic<int> bad_crc{0};        // last CRC byte inverted
    std::atomic<int> exception{0};      // answer with exception `exception_code` instead
    std::atomic<int> exception_code{kModBusSlaveDeviceFailure};
    std::atomic<int> silent{0};    // no answer at all
    std::atomic<int> truncate{0};  // only the first `truncate_to` bytes of the answer
    std::atomic<int> truncate_to{3};
    std::atomic<int> delay_ms{0};  // wait this long before answering (every answer)
};

// How the ModBus mode watches its client. Read when the mode is entered by a switch
// frame; change it before the program switches.
struct ModBusOptions {
    // Back to the normal mode after this long without a byte from the client, as the
    // stream mode goes back without keep-alives: a client that died there would otherwise
    // leave the port in ModBus mode, and its exclusive hold on the port, until the
    // regulator restarts. 0: never. Clients poll far more often (the recorder window
    // every 300 ms), and a run's exchanges follow each other within a second.
    std::atomic<int> watchdog_ms{5000};
};

// The regulator's port in ModBus RTU mode: slave address 1 (0 for the CAN tunnel),
// functions 3, 4, 6, 16 and 0x41, exception 1 for an unknown function, 2 for an unknown
// register, 3 for a count beyond the ModBus limits. A request with a bad CRC or for another
// address is ignored, as a real slave does. The CAN exit message (kModBusExitMessage)
// takes the port back to its normal mode, and so does the watchdog, when one is set.
class ModBusSlave : public SimMode {
public:
    // Speed from the switch key: 648 gives 230400 baud, every other key 115200; even
    // parity (11 bits per character).
    static uint32_t BaudForKey(int32_t key) { return key == 648 ? 230400 : 115200; }

    // `devices` serve their own registers and are asked before `regs`, in order.
    ModBusSlave(uint32_t baud, std::shared_ptr<RegisterMap> regs,
                std::shared_ptr<ModBusFaults> faults,
                std::vector<std::shared_ptr<RegisterDevice>> devices = {},
                std::shared_ptr<CanDevice> can = nullptr);

    // Back to the normal mode after `silence` without a byte from the client (zero, the
    // default: never; a port started in ModBus mode has no switch frame to come back with).
    void SetWatchdog(Clock::duration silence) { watchdog_ = silence; }

    const char* name() const override { return "modbus"; }
    LineSpeed speed() const override { return {baud_, 11}; }
    void OnEnter(SimLink& link) override;
    size_t OnBytes(const uint8_t* data, size_t n, SimLink& link) override;
    void OnIdle(SimLink& link) override;
    int IdleIntervalMs() const override { return 5; }

private:
    // Length of the request in `frame_` once enough of it is known, else 0.
    size_t ExpectedLength() const;
    void Serve(SimLink& link);
    void Answer(SimLink& link, std::vector<uint8_t> pdu);
    // 0 or a ModBus exception code, from the devices or the register map.
    int ReadRegisters(uint16_t reg, uint16_t num, uint16_t* out, bool input);
    int WriteRegister(uint16_t reg, uint16_t value);

    uint32_t baud_;
    std::shared_ptr<RegisterMap> regs_;
    std::shared_ptr<ModBusFaults> faults_;
    std::vector<std::shared_ptr<RegisterDevice>> devices_;
    std::shared_ptr<CanDevice> can_;
    std::vector<uint8_t> frame_;
    Clock::time_point last_byte_{};
    Clock::duration watchdog_{};
    Clock::time_point last_heard_{};  // when the client last sent anything, or the mode began
};

}  // namespace korvex::sim
