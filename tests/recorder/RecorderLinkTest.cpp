// SPDX-License-Identifier: GPL-3.0-or-later
#include "recorder/RecorderLink.h"

#include <gtest/gtest.h>

#include "recorder/SimulatedRecorder.h"

namespace korvex {
namespace {

TEST(RecorderLink, TheModeStartsOnlyWithARecorder) {
    sim::SimRegulator sim;
    sim::RegulatorModel model;
    std::string err;
    ASSERT_TRUE(sim::StartRegulator(sim, model, &err)) << err;
    LinkSettings settings;
    settings.port_name = sim.port_path();
    settings.av_baud = 57600;
    std::vector<std::string> messages;
    RecorderLink link = OpenRecorder(settings, &messages);
    EXPECT_EQ(link.port, nullptr);
    EXPECT_EQ(messages, std::vector<std::string>{"Unsupported Osc.AvSpeed"});
    EXPECT_TRUE(sim.Received().empty()) << "the port untouched";

    // Version 0: the message, and the regulator back in its normal mode.
    model.recorder->faults->version = 0;
    settings.av_baud = 115200;
    messages.clear();
    link = OpenRecorder(settings, &messages);
    EXPECT_EQ(link.port, nullptr);
    EXPECT_EQ(messages, std::vector<std::string>{"Система не имеет аварийного осциллографа!"});
    auto received = sim.Received();
    ASSERT_GE(received.size(), 8u);
    EXPECT_EQ(std::vector<uint8_t>(received.begin(), received.begin() + 8),
              (std::vector<uint8_t>{0xFF, 0xFE, 0xFC, 0x00, 0x00, 0x02, 0x80, 0xF5}))
        << "key 640";
    EXPECT_TRUE(test::PollUntil([&] { return sim.current_mode() == "normal"; }, 200));
}

}  // namespace
}  // namespace korvex
