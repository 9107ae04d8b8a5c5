// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/SimRegulator.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "app/ErrorCapture.h"
#include "link/ModBus.h"
#include "link/ModeSwitch.h"
#include "link/ModeSwitchFrame.h"
#include "link/RS232Port.h"
#include "sim/Regulator.h"

namespace korvex {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// A mode that answers every byte with the byte plus one at 115200 baud, even parity,
// and goes back to normal on 0x00.
class EchoMode : public sim::SimMode {
public:
    explicit EchoMode(int32_t key) : key_(key) {}
    const char* name() const override { return "echo"; }
    sim::LineSpeed speed() const override { return {115200, 11}; }
    void OnBytes(const uint8_t* data, size_t n, sim::SimLink& link) override {
        for (size_t i = 0; i < n; ++i) {
            if (data[i] == 0x00) {
                link.ReturnToNormal();
                return;
            }
            uint8_t b = uint8_t(data[i] + 1 + key_);
            link.Send(&b, 1);
        }
    }

private:
    int32_t key_;
};

class SimRegulatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim.RegisterMode(kTargetModBus,
                         [](int32_t key) { return std::make_unique<EchoMode>(key); });
        std::string error;
        ASSERT_TRUE(sim.Start(&error)) << error;
    }

    bool WaitForMode(const std::string& mode) {
        return test::PollUntil([&] { return sim.current_mode() == mode; }, 400);
    }

    sim::SimRegulator sim;
};

TEST_F(SimRegulatorTest, SwitchFrameHandsThePortToTheModeAndBack) {
    EXPECT_EQ(sim.current_mode(), "normal");
    std::string err;
    RS232Port* port = RS232_Open(sim.port_path(), 9600, kParityNone, 0, 100, 0, &err);
    ASSERT_NE(port, nullptr) << err;
    auto frame = BuildModeSwitchFrame(0, kTargetModBus);
    EXPECT_EQ(RS232_TxRx(port, frame.data(), 8, nullptr, nullptr, 0), 0u);
    RS232_Close(port);
    ASSERT_TRUE(WaitForMode("echo"));

    // The program reopens at the new speed; the port survives the close.
    port = RS232_Open(sim.port_path(), 115200, kParityEven, 0, 500, kRS232ReportShort, &err);
    ASSERT_NE(port, nullptr) << err;
    const uint8_t req[] = {0x10, 0x20, 0x30};
    uint8_t rsp[3];
    uint32_t n = 0;
    EXPECT_EQ(RS232_TxRx(port, req, 3, rsp, &n, 3, &err), 0u) << err;
    EXPECT_EQ(std::vector<uint8_t>(rsp, rsp + 3), (std::vector<uint8_t>{0x11, 0x21, 0x31}));
    const uint8_t leave = 0x00;
    EXPECT_EQ(RS232_TxRx(port, &leave, 1, nullptr, nullptr, 0), 0u);
    RS232_Close(port);
    ASSERT_TRUE(WaitForMode("normal"));

    auto wire = sim.Wire();
    ASSERT_GE(wire.size(), 3u);
    EXPECT_TRUE(wire[0].from_program);
    EXPECT_EQ(wire[0].mode, "normal");
    EXPECT_EQ(wire[0].bytes, std::vector<uint8_t>(frame.begin(), frame.end()));
}

TEST_F(SimRegulatorTest, UnknownTargetStaysInNormalMode) {
    std::string err;
    RS232Port* port = RS232_Open(sim.port_path(), 9600, kParityNone, 0, 100, 0, &err);
    ASSERT_NE(port, nullptr) << err;
    auto frame = BuildModeSwitchFrame(3, 0x77);
    EXPECT_EQ(RS232_TxRx(port, frame.data(), 8, nullptr, nullptr, 0), 0u);
    test::PollUntil([&] { return sim.Received().size() >= 8; }, 200);
    EXPECT_EQ(sim.Received().size(), 8u);
    EXPECT_EQ(sim.current_mode(), "normal");
    RS232_Close(port);
}

TEST_F(SimRegulatorTest, AnswersArePacedAtTheLineSpeed) {
    sim::SimRegulator fast;
    fast.StartIn(std::make_unique<EchoMode>(0));
    std::string err;
    ASSERT_TRUE(fast.Start(&err)) << err;
    RS232Port* port =
        RS232_Open(fast.port_path(), 115200, kParityEven, 0, 1000, kRS232ReportShort, &err);
    ASSERT_NE(port, nullptr) << err;
    std::vector<uint8_t> req(200, 0x41);
    std::vector<uint8_t> rsp(200);
    uint32_t n = 0;
    auto t0 = Clock::now();
    EXPECT_EQ(RS232_TxRx(port, req.data(), 200, rsp.data(), &n, 200, &err), 0u) << err;
    auto took = Clock::now() - t0;
    // 200 characters of 11 bits at 115200 baud take 19.1 ms on a real line; the
    // answer cannot come faster than the request's last byte arrives plus its echo.
    EXPECT_GE(took, std::chrono::microseconds(200 * 11 * 1000000ll / 115200));
    EXPECT_EQ(rsp, std::vector<uint8_t>(200, 0x42));
    RS232_Close(port);
}

TEST(SimModBusWatchdog, RequestsKeepTheModeAndASilenceEndsIt) {
    // A client that polls more often than the watchdog's time keeps the ModBus mode for
    // longer than that time; once it falls silent the port goes back to its normal mode.
    // A port started in ModBus mode keeps it: its clients have no switch frame to come
    // back with.
    sim::RegulatorModel model;
    model.modbus_options->watchdog_ms = 800;
    sim::SimRegulator switched, direct;
    std::string err;
    ASSERT_TRUE(sim::StartRegulator(switched, model, &err)) << err;
    ASSERT_TRUE(sim::StartRegulator(direct, model, &err, 115200)) << err;
    RS232Port* port =
        TSR_RS232_Open_ModBus(switched.port_path(), kKeyDiary, 115200, kParityEven, &err);
    ASSERT_NE(port, nullptr) << err;
    uint16_t value = 0;
    // Requests 150 ms apart for longer than the watchdog's time; the silence counts from
    // the last one.
    auto last_request = Clock::now();
    for (int i = 0; i < 8; ++i) {
        if (i) std::this_thread::sleep_for(milliseconds(150));
        last_request = Clock::now();
        EXPECT_EQ(ModBus_ReadHldReg(port, 1, 0, 1, &value, &err), 0u) << i << ": " << err;
    }
    EXPECT_EQ(switched.current_mode(), "modbus");
    EXPECT_TRUE(test::PollUntil([&] { return switched.current_mode() == "normal"; }, 3000));
    EXPECT_GE(Clock::now() - last_request, milliseconds(800)) << "not before the silence";
    EXPECT_EQ(direct.current_mode(), "modbus");
    RS232_Close(port);
}

}  // namespace
}  // namespace korvex
