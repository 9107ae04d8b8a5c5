// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/ErrorCapture.h"
#include "app/Language.h"
#include "app/TempDataDir.h"
#include "gui/Modes.h"
#include "gui/UserInput.h"
#include "link/RS232Port.h"
#include "sim/Regulator.h"

namespace korvex::test {

// Recordings and reports of the GUI tests go to a temporary data directory.
inline const auto* const g_gui_data_dir =
    ::testing::AddGlobalTestEnvironment(new TempDataDirEnvironment);

// The simulated regulator (korvex-sim's model) on a pseudo-terminal pair, with link
// settings that point at it; the message boxes the program shows are read and taken with
// OK as they come, and the language is English again after each test.
class SimulatedRegulator : public ::testing::Test {
protected:
    void SetUp() override {
        std::string err;
        ASSERT_TRUE(sim::StartRegulator(sim, model, &err)) << err;
        settings.port_name = sim.port_path();
        settings.rate_divider = 3;
        settings.av_baud = 230400;
    }
    void TearDown() override {
        g_bRussian = false;
        // Windows show their messages themselves (the box taker checks how).
        EXPECT_TRUE(sink.texts().empty()) << "shown through the core's sink: " << sink.texts()[0];
    }

    // The regulator left ModBus mode (the link ended with its exit message).
    bool InNormalMode() {
        return WaitFor([&] { return sim.current_mode() == "normal"; });
    }
    // Nothing holds the port: it opens again at once.
    void ExpectPortFree() {
        std::string err;
        RS232Port* again = RS232_Open(sim.port_path(), 9600, 0, 0, 100, 0, &err);
        EXPECT_NE(again, nullptr) << "the port is still held: " << err;
        RS232_Close(again);
    }
    // The start dialog with this build's modes on the regulator's port, shown.
    std::unique_ptr<gui::StartDialog> ProgramDialog() {
        gui::StartDialog::Modes modes = gui::ProgramModes();
        modes.enumerate = [port = sim.port_path()] { return ComPortList{{{port, 0}}}; };
        auto dlg =
            std::make_unique<gui::StartDialog>(ConfigValues{.cfg_port = sim.port_path()}, modes);
        EXPECT_TRUE(dlg->InitDialog(nullptr));
        EXPECT_TRUE(ShowAndWait(dlg.get()));
        return dlg;
    }

    sim::SimRegulator sim;
    sim::RegulatorModel model;
    LinkSettings settings;
    ErrorCapture sink;
    BoxTaker shown;
};

}  // namespace korvex::test
