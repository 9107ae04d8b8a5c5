// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/ComPortList.h"

#include <gtest/gtest.h>

#include "link/PtyPeer.h"
#include "link/RS232Port.h"

namespace korvex {
namespace {

TEST(ComPortList, HeldPortListedWithItsErrorMissingPortLeftOut) {
    test::PtyPeer free_port, held_port;
    ASSERT_TRUE(free_port.ok() && held_port.ok());
    std::string err;
    RS232Port* holder = RS232_Open(held_port.port(), 9600, 0, 0, 100, 0, &err);
    ASSERT_NE(holder, nullptr) << err;

    ComPortList list;
    RS232_EnumPortsFrom({free_port.port(), "/dev/korvex-missing", held_port.port()}, &list);
    ASSERT_EQ(list.ports.size(), 2u);
    EXPECT_EQ(list.ports[0].name, free_port.port());
    EXPECT_EQ(list.ports[0].error, 0u);
    EXPECT_EQ(list.ports[1].name, held_port.port());
    EXPECT_EQ(list.ports[1].error, 16u);

    // The trial open leaves a free port free.
    RS232Port* again = RS232_Open(free_port.port(), 9600, 0, 0, 100, 0, &err);
    EXPECT_NE(again, nullptr) << err;
    RS232_Close(again);
    RS232_Close(holder);

    RS232_EnumPortsFrom({}, &list);
    EXPECT_TRUE(list.ports.empty());
}

}  // namespace
}  // namespace korvex
