// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "link/PortNames.h"

namespace korvex {
namespace {

TEST(PortNames, DevicePathsAndComAliases) {
    struct Case {
        const char* name;
        bool valid;
        const char* path;
    } cases[] = {
        {"/dev/ttyUSB0", true, "/dev/ttyUSB0"},
        {"/tmp/korvex-sim", true, "/tmp/korvex-sim"},
        {"COM1", true, "/dev/ttyS0"},
        {"COM3", true, "/dev/ttyS2"},
        {"COM999", true, "/dev/ttyS998"},
        {"COMX", true, "/dev/COMX"},  // passes the check, fails in the open
        {"COM", false, ""},
        {"COM1234", false, ""},
        {"ttyUSB0", false, ""},
        {"com3", false, ""},
        {"", false, ""},
    };
    for (const auto& c : cases) {
        std::string path;
        EXPECT_EQ(ResolvePortName(c.name, &path), c.valid) << c.name;
        if (c.valid) {
            EXPECT_EQ(path, c.path) << c.name;
        }
    }
}

}  // namespace
}  // namespace korvex
