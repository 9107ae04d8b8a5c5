#include "sim/Regulator.h"

#include "link/ModeSwitchFrame.h"

namespace korvex::sim {

void InstallRegulator(SimRegulator& sim, const RegulatorModel& model) {
    auto regs = model.registers;
    auto faults = model.modbus_faults;
    sim.RegisterMode(kTargetModBus, [regs, faults](int32_t key) {
        return std::make_unique<ModBusSlave>(ModBusSlave::BaudForKey(key), regs, faults);
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
    if (modbus_baud)
        sim.StartIn(
            std::make_unique<ModBusSlave>(modbus_baud, model.registers, model.modbus_faults));
    return sim.Start(error);
}

}  // namespace korvex::sim
