// SPDX-License-Identifier: GPL-3.0-or-later
#include "osc/OscFollower.h"

#include <gtest/gtest.h>

#include "app/ErrorCapture.h"

namespace korvex {
namespace {

TEST(OscFollower, CaptionsInTurnWithTheirRowsValues) {
    test::TempDir tmp;
    std::string path = tmp.path() + "/r.trd";
    std::string rows;
    for (int r = 1; r <= 10; ++r)
        rows += std::to_string(r) + "\t" + std::to_string(10 * r) + "\t" + std::to_string(100 * r) +
                "\t\r\n";
    test::WriteFileBytes(path, rows);
    OscFollower f;
    ASSERT_TRUE(f.Open(path, 0, 3, 50.0, 1000));
    OscFollower::Tick t = f.Poll(1000);
    EXPECT_TRUE(t.filled);
    EXPECT_TRUE(t.status_changed) << "the first tick shows the status";
    // Row 1 fills; rows 2..10 refresh channels 0,1,2,0,1,2,0,1,2: the last turns of the
    // three channels were rows 8, 9 and 10.
    ASSERT_EQ(t.captions, 3);
    for (int k = 0; k < 3; ++k) {
        int c = t.caption_channel[k];
        const double expect[3] = {8, 90, 1000};
        EXPECT_EQ(t.caption_value[k], expect[c]) << c;
    }
    // Writing switched on again: a new recording, and the turn goes on where it was.
    test::WriteFileBytes(path + "2", "1\t2\t3\t\r\n4\t5\t6\t\r\n");
    ASSERT_TRUE(f.Open(path + "2", 0, 3, 50.0, 1200));
    t = f.Poll(1400);
    ASSERT_EQ(t.captions, 1);
    EXPECT_EQ(t.caption_channel[0], 0);
    EXPECT_EQ(t.caption_value[0], 4);
    EXPECT_FALSE(t.status_changed) << "at most every 500 ms";
    EXPECT_EQ(f.StatusLine(1400),
              "Time=00:00:00 , Fsam=50.00 Hz , Samples=0.002 K , File Length=0.000 MB");
    EXPECT_EQ(f.StatusLine(1200 + 3725000),
              "Time=01:02:05 , Fsam=50.00 Hz , Samples=0.002 K , File Length=0.000 MB");
    // An empty tick changes nothing.
    t = f.Poll(1450);
    EXPECT_FALSE(t.display_changed);
}

}  // namespace
}  // namespace korvex
