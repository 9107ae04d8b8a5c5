// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/Regulator.h"

#include "link/ModeSwitchFrame.h"

namespace korvex::sim {

std::unique_ptr<ModBusSlave> MakeModBusSlave(const RegulatorModel& model, uint32_t baud) {
    return std::make_unique<ModBusSlave>(
        baud, model.registers, model.modbus_faults,
        std::vector<std::shared_ptr<RegisterDevice>>{model.recorder, model.diaries},
        model.parameters);
}

void InstallRegulator(SimRegulator& sim, const RegulatorModel& model) {
    sim.RegisterMode(kTargetModBus, [model](int32_t key) {
        auto slave = MakeModBusSlave(model, ModBusSlave::BaudForKey(key));
        slave->SetWatchdog(std::chrono::milliseconds(model.modbus_options->watchdog_ms.load()));
        return slave;
    });
    auto options = model.stream_options;
    auto stream_faults = model.stream_faults;
    auto stats = model.stream_stats;
    sim.RegisterMode(kTargetStream, [options, stream_faults, stats](int32_t key) {
        return std::make_unique<StreamMode>(key, options, stream_faults, stats);
    });
}

bool StartRegulator(SimRegulator& sim, const RegulatorModel& model, std::string* error,
                    uint32_t modbus_baud) {
    InstallRegulator(sim, model);
    if (modbus_baud) sim.StartIn(MakeModBusSlave(model, modbus_baud));
    return sim.Start(error);
}

}  // namespace korvex::sim
