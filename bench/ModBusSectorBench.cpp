// SPDX-License-Identifier: GPL-3.0-or-later
// One sector's worth of register traffic as the fault recorder reads it: a write of one
// register, then reads of 86, 86 and 84 holding registers, at 230400 baud from the
// simulated regulator, which paces every byte at the line speed in both directions.
// Compared with the ideal wire time and with libmodbus making the same four exchanges.
//
//   korvex_bench_modbus [SECTORS]
#include <errno.h>
#include <modbus/modbus.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "link/ModBus.h"
#include "sim/Regulator.h"

using namespace korvex;
using Clock = std::chrono::steady_clock;

namespace {

constexpr uint32_t kBaud = 230400;
constexpr uint16_t kParts[3][2] = {{0x8200, 86}, {0x8256, 86}, {0x82AC, 84}};

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double WireMs() {
    // Request and answer bytes of the four exchanges, 11 bits per character.
    int bytes = 8 + 8;  // write single register and its echo
    for (auto& p : kParts) bytes += 8 + 5 + 2 * p[1];
    return bytes * 11 * 1000.0 / kBaud;
}

}  // namespace

int main(int argc, char** argv) {
    int sectors = argc > 1 ? std::atoi(argv[1]) : 25;
    sim::SimRegulator sim;
    sim::RegulatorModel model;
    std::string err;
    if (!sim::StartRegulator(sim, model, &err, kBaud)) {
        std::fprintf(stderr, "%s\n", err.c_str());
        return 1;
    }
    uint16_t values[125];

    // Rounds alternate between the two clients so that neither gains from going first.
    std::vector<double> ours, theirs;
    for (int round = 0; round < 4; ++round) {
        RS232Port* port = RS232_Open(sim.port_path(), kBaud, kParityEven, 0, 1000, 0, &err);
        if (!port) {
            std::fprintf(stderr, "%s\n", err.c_str());
            return 1;
        }
        for (int s = 0; s < sectors; ++s) {
            auto t0 = Clock::now();
            bool ok = ModBus_WriteSingleReg(port, 1, 0x8100, uint16_t(s)) == 0;
            for (auto& p : kParts) ok = ok && ModBus_ReadHldReg(port, 1, p[0], p[1], values) == 0;
            if (!ok) return 1;
            ours.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        }
        RS232_Close(port);

        modbus_t* ctx = modbus_new_rtu(sim.port_path().c_str(), kBaud, 'E', 8, 1);
        modbus_set_slave(ctx, 1);
        if (modbus_connect(ctx) != 0) {
            std::fprintf(stderr, "libmodbus: %s\n", modbus_strerror(errno));
            return 1;
        }
        for (int s = 0; s < sectors; ++s) {
            auto t0 = Clock::now();
            bool ok = modbus_write_register(ctx, 0x8100, s) == 1;
            for (auto& p : kParts)
                ok = ok && modbus_read_registers(ctx, p[0], p[1], values) == p[1];
            if (!ok) {
                std::fprintf(stderr, "libmodbus: %s\n", modbus_strerror(errno));
                return 1;
            }
            theirs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        }
        modbus_close(ctx);
        modbus_free(ctx);
    }

    double wire = WireMs(), mine = Median(ours), lib = Median(theirs);
    std::printf("sector at %u baud, %zu sectors each, medians:\n", kBaud, ours.size());
    std::printf("  wire time (both directions)   %7.2f ms\n", wire);
    std::printf("  korvex                        %7.2f ms   %.3f x wire (target <= 1.05)\n", mine,
                mine / wire);
    std::printf("  libmodbus                     %7.2f ms   %.3f x wire\n", lib, lib / wire);
    std::printf("  korvex / libmodbus            %.3f (target <= 1.0)\n", mine / lib);
    return 0;
}
