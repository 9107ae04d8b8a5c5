// SPDX-License-Identifier: GPL-3.0-or-later
// korvex-cli ports: the serial ports, the ones named first.
#include "cli/CliFixture.h"

TEST(PortsCommand, HeldPortShowsItsError) {
    PtyPeer free_port, held;
    std::string err;
    RS232Port* holder = RS232_Open(held.port(), 9600, 0, 0, 100, 0, &err);
    ASSERT_NE(holder, nullptr) << err;
    Result r = RunCommand(kCli + " ports " + free_port.port() + " " + held.port());
    RS232_Close(holder);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind(free_port.port() + "\n" + held.port() + " - Error 16\n", 0), 0u) << r.out;
}
