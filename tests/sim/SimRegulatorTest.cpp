// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated regulator's line pace and its ModBus watchdog, which the link timing of
// every other test relies on. Its switch frames and modes are exercised by the link,
// recorder, diary and stream tests themselves.
#include "sim/SimRegulator.h"

#include <gtest/gtest.h>

#include <thread>

#include "app/ErrorCapture.h"
#include "link/ModBus.h"
#include "link/ModeSwitch.h"
#include "link/RS232Port.h"
#include "sim/Regulator.h"

namespace korvex {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

TEST(SimRegulatorTest, PacedAnswersAndTheModBusWatchdog) {
    // A port started in ModBus mode answers at its line's pace and keeps the mode: its
    // clients have no switch frame to come back with.
    sim::RegulatorModel model;
    model.modbus_options->watchdog_ms = 800;
    for (uint16_t r = 0; r < 100; ++r) model.registers->Set(uint16_t(0x4000 + r), r);
    sim::SimRegulator switched, direct;
    std::string err;
    ASSERT_TRUE(sim::StartRegulator(switched, model, &err)) << err;
    ASSERT_TRUE(sim::StartRegulator(direct, model, &err, 115200)) << err;
    RS232Port* port = RS232_Open(direct.port_path(), 115200, kParityEven, 0, 1000, 0, &err);
    ASSERT_NE(port, nullptr) << err;
    uint16_t v[100] = {};
    auto t0 = Clock::now();
    EXPECT_EQ(ModBus_ReadHldReg(port, 1, 0x4000, 100, v, &err), 0u) << err;
    // An 8-byte request and a 205-byte answer, 11 bits each at 115200 baud: 20.3 ms on a
    // real line, which the answer cannot beat.
    EXPECT_GE(Clock::now() - t0, std::chrono::microseconds((8 + 205) * 11 * 1000000ll / 115200));
    EXPECT_EQ(v[99], 99);
    RS232_Close(port);

    // A client that polls more often than the watchdog's time keeps the ModBus mode for
    // longer than that time; once it falls silent the port goes back to its normal mode.
    port = TSR_RS232_Open_ModBus(switched.port_path(), kKeyDiary, 115200, kParityEven, &err);
    ASSERT_NE(port, nullptr) << err;
    // Requests 150 ms apart for longer than the watchdog's time; the silence counts from
    // the last one.
    auto last_request = Clock::now();
    for (int i = 0; i < 8; ++i) {
        if (i) std::this_thread::sleep_for(milliseconds(150));
        last_request = Clock::now();
        EXPECT_EQ(ModBus_ReadHldReg(port, 1, 0, 1, v, &err), 0u) << i << ": " << err;
    }
    EXPECT_EQ(switched.current_mode(), "modbus");
    EXPECT_TRUE(test::PollUntil([&] { return switched.current_mode() == "normal"; }, 3000));
    EXPECT_GE(Clock::now() - last_request, milliseconds(800)) << "not before the silence";
    EXPECT_EQ(direct.current_mode(), "modbus");
    RS232_Close(port);
}

}  // namespace
}  // namespace korvex
