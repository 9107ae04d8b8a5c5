// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include "app/ErrorCapture.h"

namespace korvex::test {

// Sends the recordings of a test program to a temporary data directory, made before the
// first test and removed after the last. Register it with
// ::testing::AddGlobalTestEnvironment(new TempDataDirEnvironment).
class TempDataDirEnvironment : public ::testing::Environment {
public:
    void SetUp() override { setenv("KORVEX_DATA_DIR", dir_.path().c_str(), 1); }

private:
    TempDir dir_;
};

}  // namespace korvex::test
