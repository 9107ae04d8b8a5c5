// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/ModeSwitch.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <thread>

#include "app/ErrorCapture.h"
#include "link/ModBus.h"
#include "link/RS232PortTesting.h"
#include "sim/Regulator.h"

namespace korvex {
namespace {

using Bytes = std::vector<uint8_t>;

class ModeSwitchTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string err;
        ASSERT_TRUE(sim::StartRegulator(sim, model, &err)) << err;
    }
    bool WaitForMode(const std::string& mode) {
        for (int i = 0; i < 300 && sim.current_mode() != mode; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        return sim.current_mode() == mode;
    }

    sim::SimRegulator sim;
    sim::RegulatorModel model;
};

TEST_F(ModeSwitchTest, RecorderAt230400AndBack) {
    std::string err;
    RS232Port* port =
        TSR_RS232_Open_ModBus(sim.port_path(), kKeyRecorder230400, 230400, kParityEven, &err);
    ASSERT_NE(port, nullptr) << err;
    EXPECT_EQ(RS232_Baud(port), 230400u);
    EXPECT_EQ(RS232_WaitMs(port), 1000u);
    ASSERT_TRUE(WaitForMode("modbus"));
    uint16_t version = 0;
    EXPECT_EQ(ModBus_ReadHldReg(port, 1, 0x8000, 1, &version, &err), 0u) << err;
    EXPECT_EQ(version, 1);
    // Short receives are silent: "@", no text.
    uint8_t b;
    uint32_t n = 0;
    RS232_SetWaitMs(port, 20);
    EXPECT_EQ(RS232_TxRx(port, nullptr, 0, &b, &n, 1, &err), kRS232ShortReceive);
    EXPECT_EQ(err, "@");
    EXPECT_EQ(TSR_RS232_exit_ModBus(port, &err), 0) << err;
    ASSERT_TRUE(WaitForMode("normal"));

    auto wire = sim.Wire();
    ASSERT_GE(wire.size(), 4u);
    EXPECT_EQ(wire[0].mode, "normal");
    EXPECT_EQ(wire[0].bytes, (Bytes{0xFF, 0xFE, 0xFC, 0x00, 0x00, 0x02, 0x88, 0xF5}));
    EXPECT_EQ(wire.back().mode, "modbus");
    EXPECT_EQ(wire.back().bytes, (Bytes{0x00, 0x41, 0x36, 0x90, 0x23, 0x07, 0x00, 0x02, 0xEF}));
}

TEST_F(ModeSwitchTest, DiaryKeyFrame) {
    std::string err;
    EXPECT_EQ(TSR_RS232_to_ModBus(sim.port_path(), kKeyDiary, &err), 0) << err;
    ASSERT_TRUE(WaitForMode("modbus"));
    EXPECT_EQ(sim.Received(), (Bytes{0xFF, 0xFE, 0xFC, 0x00, 0x00, 0x00, 0x00, 0xF5}));
}

TEST_F(ModeSwitchTest, HeldPortGivesOneMessageWithThreePrefixes) {
    std::string err;
    RS232Port* holder = RS232_Open(sim.port_path(), 9600, 0, 0, 100, 0, &err);
    ASSERT_NE(holder, nullptr) << err;
    test::ErrorCapture shown;
    EXPECT_EQ(TSR_RS232_Open_ModBus(sim.port_path(), kKeyDiary, 115200, kParityEven), nullptr);
    EXPECT_EQ(shown.texts(),
              std::vector<std::string>{"TSR_RS232_Open_ModBus(): TSR_RS232_to_ModBus(): "
                                       "RS232_Open(): Open port " +
                                       sim.port_path() + " : error 16"});
    RS232_Close(holder);
    EXPECT_EQ(sim.current_mode(), "normal");
    EXPECT_TRUE(sim.Received().empty());
}

TEST_F(ModeSwitchTest, ExitClosesThePortEvenWhenTheTransmitFails) {
    std::string err;
    RS232Port* port = RS232_Open(sim.port_path(), 115200, kParityEven, 0, 100, 0, &err);
    ASSERT_NE(port, nullptr);
    int fd = int(RS232_NativeHandle(port));
    // A device that has gone away: writes fail.
    int devnull = open("/dev/null", O_RDONLY);
    dup2(devnull, fd);
    close(devnull);
    EXPECT_EQ(TSR_RS232_exit_ModBus(port, &err), int32_t(kRS232WriteFailed));
    EXPECT_EQ(err, "TSR_RS232_exit_ModBus(): RS232_TxRx(): WriteFile(9 bytes): error 0x9");
    EXPECT_EQ(fcntl(fd, F_GETFD), -1) << "the descriptor was closed";
}

}  // namespace
}  // namespace korvex
