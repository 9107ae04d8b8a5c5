// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ProgramDir.h"

#include <gtest/gtest.h>

namespace korvex {
namespace {

TEST(ProgramDir, IsAnAbsolutePathEndingWithASeparator) {
    std::string dir = GetProgramDir();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.front(), '/');
    EXPECT_EQ(dir.back(), '/');
}

}  // namespace
}  // namespace korvex
