// SPDX-License-Identifier: GPL-3.0-or-later
#include "recorder/RecorderPoll.h"

#include <gtest/gtest.h>

#include "recorder/SimulatedRecorder.h"

namespace korvex {
namespace {

using RecorderPollTest = test::SimulatedRecorder;

TEST_F(RecorderPollTest, ThePollMakesOnlyTheExchangesItNeeds) {
    RecorderPoller poller(link.port);
    CountRequests();
    RecorderPollResult r = poller.Poll();
    EXPECT_EQ(requests, 1 + 1 + 4) << "header, size, the whole table of 4";
    EXPECT_EQ(r.rows_after, 4);
    EXPECT_EQ(r.redraw, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_TRUE(r.status_changed);
    EXPECT_TRUE(r.write_visibility_changed && r.write_visible);
    CountRequests();
    r = poller.Poll();
    EXPECT_EQ(requests, 1) << "nothing changed: the header alone";
    EXPECT_EQ(std::pair(r.redraw.size(), r.status_changed), std::pair(size_t(0), false));

    // Manual recording on: a growing entry of status 1, the current one.
    std::string text;
    ASSERT_EQ(ModBus_WriteSingleReg(link.port, 1, kRecorderSwitchReg, 1, &text), 0u);
    r = poller.Poll();
    EXPECT_EQ(r.rows_after, 5);
    EXPECT_TRUE(r.write_state_changed && r.write_checked && r.write_enabled);
    CountRequests();
    r = poller.Poll();
    EXPECT_EQ(requests, 1 + 1) << "the header and the entry being recorded";
    EXPECT_EQ(r.redraw, std::vector<int>{4});
    ASSERT_EQ(ModBus_WriteSingleReg(link.port, 1, kRecorderSwitchReg, 0, &text), 0u);
    r = poller.Poll();
    EXPECT_EQ(r.table[4].status(), 2);
    EXPECT_TRUE(r.write_state_changed && !r.write_checked);
    CountRequests();
    poller.Poll();
    EXPECT_EQ(requests, 1);

    // An automatic recording disables the box.
    model.recorder->StartAutomatic(9, 60);
    r = poller.Poll();
    EXPECT_TRUE(r.write_state_changed && r.write_checked && !r.write_enabled);
}

TEST_F(RecorderPollTest, RowsComeAndGoAtTheEndAndAFullTableIsReadOnce) {
    RecorderPoller poller(link.port);
    model.recorder->Add({.start = {}, .sectors = 3});
    RecorderPollResult r = poller.Poll();
    ASSERT_EQ(r.rows_after, 5);
    model.recorder->faults->file_count = 3;
    r = poller.Poll();
    EXPECT_EQ(std::pair(r.rows_before, r.rows_after), std::pair(5, 3));
    EXPECT_EQ(r.redraw, (std::vector<int>{0, 1, 2})) << "every remaining row";
    model.recorder->faults->file_count = 0;
    r = poller.Poll();
    // Rows, table empty, list enabled, write box's visibility changed, visible.
    EXPECT_EQ(std::tuple(r.rows_after, r.table_empty, r.list_enabled, r.write_visibility_changed,
                         r.write_visible),
              std::tuple(0, true, false, true, false));
    model.recorder->faults->file_count = -1;
    CountRequests();
    r = poller.Poll();
    EXPECT_EQ(requests, 1 + 1 + 5) << "a new table is read in full";

    // 600 files: the message once, 512 rows.
    model.recorder->faults->file_count = 600;
    RecorderPoller big(link.port);
    r = big.Poll();
    EXPECT_EQ(r.messages, std::vector<std::string>{"Слишком много файлов!"});
    EXPECT_EQ(std::pair(r.rows_after, r.close), std::pair(512, false));
    r = big.Poll();
    EXPECT_TRUE(r.messages.empty());

    // Versions 0 and 2 close the window with their texts.
    model.recorder->faults->version = 0;
    r = poller.Poll();
    EXPECT_EQ(std::pair(r.close, r.link_status), std::pair(true, 0u));
    EXPECT_EQ(r.messages,
              std::vector<std::string>{"Эта система не имеет\nаварийного осциллографа!"});
    model.recorder->faults->version = 2;
    r = poller.Poll();
    EXPECT_EQ(r.messages,
              std::vector<std::string>{"Версия аварийного осциллографа\nне поддерживается!"});
    model.recorder->faults->version = 1;
    // A failed exchange closes it with the ModBus text and a link status.
    model.modbus_faults->silent = 1;
    r = poller.Poll();
    EXPECT_EQ(std::pair(r.close, r.link_status), std::pair(true, kRS232ShortReceive));
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_EQ(r.messages[0].rfind("ModBus_ReadHldReg(Addr=1, Reg=32768, Num=4):\n", 0), 0u);
}

}  // namespace
}  // namespace korvex
