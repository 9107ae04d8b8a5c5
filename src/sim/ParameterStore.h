// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace korvex::sim {

struct SimParameter {
    std::string name;  // at most 20 characters
    bool is_float = false;
    int32_t i = 0;
    float f = 0;
};

struct SimParameterSet {
    bool counted = true;  // counts toward the program's progress range
    std::vector<SimParameter> params;
};

// Faults for tests; change them from any thread.
struct ParameterFaults {
    std::atomic<int> set_count{-1};       // a set count to report instead (8)
    std::atomic<int> short_select{0};     // so many select-set replies of 7 bytes
    std::atomic<int> short_value{0};      // so many value replies of 7 bytes
    std::atomic<int> wrong_name_echo{0};  // so many name replies with a wrong echo
};

// A part of the regulator that answers CAN frames carried in ModBus function 0x41.
class CanDevice {
public:
    virtual ~CanDevice() = default;
    // The reply's data bytes (at most 8) to a frame for `can_id`; false for no reply.
    virtual bool Answer(uint16_t can_id, const uint8_t* data, size_t n,
                        std::vector<uint8_t>* reply) = 0;
};

// The regulator's service channel (CAN identifier 0x690): the parameter sets, answered
// to the requests 78 01 (set count), 78 02 s (select a set), 78 1p j (name part p of
// parameter j) and 78 05 j (value of parameter j). Standard content: three sets of an
// excitation regulator's settings, integer and floating-point, sets 1 and 2 differing
// in a few values.
// Thread-safe: the simulator's thread serves it while tests change it.
class ParameterStore : public CanDevice {
public:
    ParameterStore();

    std::shared_ptr<ParameterFaults> faults = std::make_shared<ParameterFaults>();

    void SetSets(std::vector<SimParameterSet> sets);
    std::vector<SimParameterSet> sets();

    bool Answer(uint16_t can_id, const uint8_t* data, size_t n,
                std::vector<uint8_t>* reply) override;

private:
    std::mutex mu_;
    std::vector<SimParameterSet> sets_;
    size_t selected_ = 0;
};

}  // namespace korvex::sim
