// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated regulator's line pace and its ModBus watchdog, which the link timing of
// every other test relies on. Its switch frames and modes are exercised by the link,
// recorder, diary and stream tests themselves.
#include "sim/SimRegulator.h"

#include <gtest/gtest.h>

#include <thread>

#include "app/ErrorCapture.h"
#include "link/ModBus.h"
#include "link/ModBusCRC.h"
#include "link/ModeSwitch.h"
#include "link/ModeSwitchFrame.h"
#include "link/RS232Port.h"
#include "osc/OscStream.h"
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

TEST(SimRegulatorTest, BytesAfterAModeChangeGoToTheNextMode) {
    // A simulator thread held up past the client's 30 ms wait (here by its logger, at the
    // stream's stop) hands over everything that came due meanwhile in one batch: a switch
    // frame and the first ModBus request, sent together. The request is still the new
    // mode's to answer.
    sim::RegulatorModel model;
    model.registers->Set(0x4000, 0x1234);
    sim::SimRegulator sim;
    sim::InstallRegulator(sim, model);
    sim.StartIn(std::make_unique<sim::StreamMode>(0, model.stream_options, model.stream_faults,
                                                  model.stream_stats));
    sim.SetLogger([](const std::string& line) {
        if (line == "stream: stop") std::this_thread::sleep_for(milliseconds(30));
    });
    std::string err;
    ASSERT_TRUE(sim.Start(&err)) << err;
    RS232Port* port = RS232_Open(sim.port_path(), 9600, kParityNone, 0, 1000, 0, &err);
    ASSERT_NE(port, nullptr) << err;
    auto frame = BuildModeSwitchFrame(kKeyDiary, kTargetModBus);
    std::vector<uint8_t> request = {0x01, 0x03, 0x40, 0x00, 0x00, 0x01};
    uint16_t crc = ModBus_CRC(request.data(), request.size());
    request.push_back(uint8_t(crc & 0xFF));
    request.push_back(uint8_t(crc >> 8));
    std::vector<uint8_t> tx = {kOscStop};
    tx.insert(tx.end(), frame.begin(), frame.end());
    tx.insert(tx.end(), request.begin(), request.end());
    uint8_t rx[7] = {};
    uint32_t got = 0;
    ASSERT_EQ(RS232_TxRx(port, tx.data(), uint32_t(tx.size()), rx, &got, 7, &err), 0u) << err;
    EXPECT_EQ(rx[3], 0x12);
    EXPECT_EQ(rx[4], 0x34);
    RS232_Close(port);
    // The traffic shows each part under the mode that took it, in the order it happened.
    auto wire = sim.Wire();
    ASSERT_EQ(wire.size(), 4u);
    EXPECT_EQ(wire[0].mode, "stream");
    EXPECT_EQ(wire[0].bytes, std::vector<uint8_t>{kOscStop});
    EXPECT_EQ(wire[1].mode, "normal");
    EXPECT_EQ(wire[1].bytes, std::vector<uint8_t>(frame.begin(), frame.end()));
    EXPECT_EQ(wire[2].mode, "modbus");
    EXPECT_EQ(wire[2].bytes, request);
    EXPECT_FALSE(wire[3].from_program);
    EXPECT_EQ(wire[3].bytes.size(), 7u);
}

}  // namespace
}  // namespace korvex
