// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

#include "sim/SimMode.h"

namespace korvex::sim {

// The port's normal mode: 9600 baud 8N1, no answers; it watches for the mode-switch
// frame FF FE FC <key, 4 bytes high first> <target> and hands the port over.
class NormalMode : public SimMode {
public:
    const char* name() const override { return "normal"; }
    LineSpeed speed() const override { return {9600, 10}; }
    size_t OnBytes(const uint8_t* data, size_t n, SimLink& link) override;

private:
    std::vector<uint8_t> window_;
};

}  // namespace korvex::sim
