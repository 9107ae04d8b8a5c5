// SPDX-License-Identifier: GPL-3.0-or-later
// Our ModBus side against libmodbus, an implementation we did not write.
#include <errno.h>
#include <gtest/gtest.h>

#include <modbus/modbus.h>
#include <poll.h>
#include <unistd.h>
#include <algorithm>

#include <atomic>
#include <thread>

#include "link/ModBus.h"
#include "sim/PtyPair.h"
#include "sim/Regulator.h"

namespace korvex {
namespace {

// A null-modem cable between two pseudo-terminals: what is written on one port comes out
// of the other.
class PtyBridge {
public:
    PtyBridge() {
        std::string err;
        ok_ = a_.Open(&err) && b_.Open(&err);
        if (ok_) thread_ = std::thread([this] { Run(); });
    }
    ~PtyBridge() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    bool ok() const { return ok_; }
    const std::string& end_a() const { return a_.slave_path(); }
    const std::string& end_b() const { return b_.slave_path(); }

private:
    void Run() {
        while (!stop_) {
            pollfd fds[2] = {{a_.master(), POLLIN, 0}, {b_.master(), POLLIN, 0}};
            if (poll(fds, 2, 10) <= 0) continue;
            uint8_t buf[512];
            for (int i = 0; i < 2; ++i) {
                if (!(fds[i].revents & POLLIN)) continue;
                ssize_t n = read(fds[i].fd, buf, sizeof buf);
                if (n > 0) (void)!write(fds[1 - i].fd, buf, size_t(n));
            }
        }
    }
    sim::PtyPair a_, b_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    bool ok_ = false;
};

TEST(ModBusInterop, OurClientAgainstALibmodbusServer) {
    PtyBridge cable;
    ASSERT_TRUE(cable.ok());
    modbus_t* server = modbus_new_rtu(cable.end_a().c_str(), 115200, 'E', 8, 1);
    ASSERT_NE(server, nullptr);
    modbus_set_slave(server, 1);
    ASSERT_EQ(modbus_connect(server), 0) << modbus_strerror(errno);
    modbus_mapping_t* map = modbus_mapping_new_start_address(0, 0, 0, 0, 100, 200, 100, 50);
    for (int i = 0; i < 200; ++i) map->tab_registers[i] = uint16_t(0x1000 + i);
    for (int i = 0; i < 50; ++i) map->tab_input_registers[i] = uint16_t(0x2000 + i);

    std::atomic<bool> stop{false};
    std::thread serve([&] {
        modbus_set_indication_timeout(server, 0, 50000);
        uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
        while (!stop) {
            int n = modbus_receive(server, query);
            if (n > 0) modbus_reply(server, query, n, map);
        }
    });

    std::string err;
    RS232Port* port = RS232_Open(cable.end_b(), 115200, kParityEven, 0, 500, 0, &err);
    ASSERT_NE(port, nullptr) << err;
    uint16_t v[125] = {};
    EXPECT_EQ(ModBus_ReadHldReg(port, 1, 100, 125, v, &err), 0u) << err;
    EXPECT_EQ(v[0], 0x1000);
    EXPECT_EQ(v[124], 0x1000 + 124);
    EXPECT_EQ(ModBus_ReadInpReg(port, 1, 100, 3, v, &err), 0u) << err;
    EXPECT_EQ(v[2], 0x2002);
    EXPECT_EQ(ModBus_WriteSingleReg(port, 1, 150, 0xBEEF, &err), 0u) << err;
    const uint16_t many[] = {1, 2, 3, 4, 5};
    EXPECT_EQ(ModBus_WriteMultipleReg(port, 1, 160, 5, many, &err), 0u) << err;
    EXPECT_EQ(ModBus_ReadHldReg(port, 1, 150, 15, v, &err), 0u) << err;
    EXPECT_EQ(v[0], 0xBEEF);
    EXPECT_EQ(v[14], 5);
    EXPECT_EQ(ModBus_ReadHldReg(port, 1, 10, 1, v, &err), 0x102u);
    EXPECT_EQ(err,
              "ModBus_ReadHldReg(Addr=1, Reg=10, Num=1):\nModBus_TxRx(): Exception 2 "
              "(ILLEGAL_DATA_ADDRESS)");
    EXPECT_EQ(ModBus_WriteMultipleReg(port, 1, 299, 2, many, &err), 0x102u);

    stop = true;
    serve.join();
    RS232_Close(port);
    modbus_mapping_free(map);
    modbus_close(server);
    modbus_free(server);
}

TEST(ModBusInterop, LibmodbusClientPollsTheSimulatedRegulator) {
    sim::SimRegulator sim;
    sim::RegulatorModel model;
    std::string err;
    ASSERT_TRUE(sim::StartRegulator(sim, model, &err, 115200)) << err;

    modbus_t* client = modbus_new_rtu(sim.port_path().c_str(), 115200, 'E', 8, 1);
    ASSERT_NE(client, nullptr);
    modbus_set_slave(client, 1);
    ASSERT_EQ(modbus_connect(client), 0) << modbus_strerror(errno);

    uint16_t v[125] = {};
    ASSERT_EQ(modbus_read_registers(client, 130, 2, v), 2) << modbus_strerror(errno);
    EXPECT_EQ(v[0], 0x0203);
    EXPECT_EQ(v[1], 0x0100);
    ASSERT_EQ(modbus_read_input_registers(client, 144, 8, v), 8) << modbus_strerror(errno);
    EXPECT_EQ(v[0], 'K' | 'O' << 8);
    // The recorder: recording 2, sector 3 selected with one multiple write, then read.
    model.recorder->faults->busy_ms = 0;
    const uint16_t select[] = {1, 3};
    ASSERT_EQ(modbus_write_registers(client, 0x8100, 2, select), 2) << modbus_strerror(errno);
    ASSERT_EQ(modbus_read_registers(client, 0x8200, 125, v), 125) << modbus_strerror(errno);
    uint16_t sector[256];
    model.recorder->SectorWords(1, 3, sector);
    EXPECT_TRUE(std::equal(v, v + 125, sector));
    EXPECT_EQ(v[8], 0xA202);

    ASSERT_EQ(modbus_write_register(client, 0x8006, 1), 1) << modbus_strerror(errno);
    ASSERT_EQ(modbus_read_registers(client, 0x8002, 1, v), 1);
    EXPECT_EQ(v[0], 1) << "the manual switch shows in the recorder state";

    EXPECT_EQ(modbus_read_registers(client, 9999, 1, v), -1);
    EXPECT_EQ(errno, EMBXILADD);
    EXPECT_EQ(modbus_write_register(client, 130, 7), -1) << "version is read-only";
    EXPECT_EQ(errno, EMBXILADD);
    uint8_t raw[] = {0x01, 0x2B, 0x0E, 0x01, 0x00};  // a function the regulator lacks
    uint8_t rsp[MODBUS_RTU_MAX_ADU_LENGTH];
    ASSERT_EQ(modbus_send_raw_request(client, raw, sizeof raw), 7);
    ASSERT_EQ(modbus_receive_confirmation(client, rsp), 5);
    EXPECT_EQ(rsp[1], 0xAB);
    EXPECT_EQ(rsp[2], MODBUS_EXCEPTION_ILLEGAL_FUNCTION);

    modbus_close(client);
    modbus_free(client);
}

}  // namespace
}  // namespace korvex
