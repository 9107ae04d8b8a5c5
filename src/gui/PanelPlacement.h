// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <vector>

namespace korvex::gui {

// Where the front panels of the live window go: the top-left corner of each panel's frame,
// in screen coordinates, for frames of the sizes `panels` in that order.
//  - Beside the window, right of it where the screen has room, else left of it, the second
//    panel under the first; never over the window or over each other.
//  - Where the screen has no room on either side (a laptop's 1366 x 768): over `plot`, the
//    part of the window that a panel may hide (the oldest seconds at the left of the plot,
//    away from the newest data, the Y limits and the buttons), top-left first, the next
//    panel under it, or beside it when the plot has no room under it.
// An empty `screen` (none known) counts as room on the right.
std::vector<QPoint> PlacePanels(const QRect& screen, const QRect& window, const QRect& plot,
                                const std::vector<QSize>& panels);

}  // namespace korvex::gui
