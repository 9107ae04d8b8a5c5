// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <string>

#include "sim/DiaryMemory.h"
#include "sim/ModBusSlave.h"
#include "sim/ParameterStore.h"
#include "sim/RecorderMemory.h"
#include "sim/RegisterMap.h"
#include "sim/SimRegulator.h"
#include "sim/StreamMode.h"

namespace korvex::sim {

// What the simulated regulator knows, shared between its modes and whoever drives or
// inspects it (tests, korvex-sim's options).
struct RegulatorModel {
    std::shared_ptr<RegisterMap> registers = std::make_shared<RegisterMap>();
    std::shared_ptr<ModBusFaults> modbus_faults = std::make_shared<ModBusFaults>();
    // Read when a switch frame enters the ModBus mode.
    std::shared_ptr<ModBusOptions> modbus_options = std::make_shared<ModBusOptions>();
    std::shared_ptr<RecorderMemory> recorder = std::make_shared<RecorderMemory>();
    std::shared_ptr<DiaryMemory> diaries = std::make_shared<DiaryMemory>();
    std::shared_ptr<ParameterStore> parameters = std::make_shared<ParameterStore>();
    // Read when the stream mode is entered: set them before the program switches.
    std::shared_ptr<StreamOptions> stream_options = std::make_shared<StreamOptions>();
    std::shared_ptr<StreamFaults> stream_faults = std::make_shared<StreamFaults>();
    std::shared_ptr<StreamStats> stream_stats = std::make_shared<StreamStats>();
};

// Registers the regulator's modes on the port: target 0xF5 enters ModBus RTU (with the
// fault recorder, the diaries and the service channel, and the watchdog of
// model.modbus_options), 0xF6 the oscilloscope stream.
void InstallRegulator(SimRegulator& sim, const RegulatorModel& model);

// One call for tests and demos: installs the modes, optionally starts directly in
// ModBus mode at `modbus_baud` (0: start in the normal mode; that first ModBus mode has
// no watchdog, since its clients cannot switch it back), and starts the port.
bool StartRegulator(SimRegulator& sim, const RegulatorModel& model, std::string* error,
                    uint32_t modbus_baud = 0);

// The ModBus side of the model at `baud`.
std::unique_ptr<ModBusSlave> MakeModBusSlave(const RegulatorModel& model, uint32_t baud);

}  // namespace korvex::sim
