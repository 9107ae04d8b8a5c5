// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/PanelPlacement.h"

#include <gtest/gtest.h>

namespace korvex::gui {
namespace {

// Beside the window where the screen has room; on a laptop's 1366 x 768 over the oldest
// part of the plot, never over the Y limits, the buttons or the newest data.
TEST(PanelPlacement, BesideTheWindowElseOverTheOldestPartOfThePlot) {
    const std::vector<QSize> two = {QSize(200, 240), QSize(170, 130)};
    const QRect plot(60, 40, 440, 420), laptop(0, 0, 1366, 740), wide(50, 10, 1250, 740);
    struct Case {
        QRect screen, window, plot;
        std::vector<QPoint> at;
    } cases[] = {
        {QRect(0, 0, 1920, 1080), QRect(100, 50, 1250, 740), plot, {{1357, 50}, {1357, 298}}},
        {QRect(0, 0, 1920, 1080), QRect(660, 50, 1250, 740), plot, {{452, 50}, {482, 298}}},
        {QRect(), QRect(0, 0, 1250, 740), plot, {{1257, 0}, {1257, 248}}},
        // No room beside: over the plot's left part, the second panel under the first...
        {laptop, wide, plot, {{60, 40}, {60, 288}}},
        // ... or beside the first where the plot is too low for both.
        {laptop, wide, QRect(60, 40, 440, 300), {{60, 40}, {268, 40}}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PlacePanels(c.screen, c.window, c.plot, two), c.at) << c.window.left();
}

}  // namespace
}  // namespace korvex::gui
