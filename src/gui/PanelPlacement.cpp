// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/PanelPlacement.h"

#include <algorithm>

namespace korvex::gui {

namespace {

constexpr int kGap = 8;

}  // namespace

std::vector<QPoint> PlacePanels(const QRect& screen, const QRect& window, const QRect& plot,
                                const std::vector<QSize>& panels) {
    int widest = 0;
    for (const QSize& s : panels) widest = std::max(widest, s.width());
    std::vector<QPoint> at;
    at.reserve(panels.size());

    const int right = screen.right() - window.right(), left = window.left() - screen.left();
    if (screen.isEmpty() || right >= widest + kGap || left >= widest + kGap) {
        const bool on_right = screen.isEmpty() || right >= widest + kGap;
        int y = window.top();
        for (const QSize& s : panels) {
            at.emplace_back(on_right ? window.right() + kGap : window.left() - s.width() - kGap, y);
            y += s.height() + kGap;
        }
        return at;
    }
    // No room beside: over the oldest part of the plot, kept on the screen.
    QRect area = plot.intersected(screen.isEmpty() ? plot : screen);
    if (area.isEmpty()) area = plot;
    int x = area.left(), y = area.top(), column_width = 0;
    for (const QSize& s : panels) {
        if (y != area.top() && y + s.height() > area.bottom() + 1) {
            x += column_width + kGap;
            y = area.top();
            column_width = 0;
        }
        at.emplace_back(x, y);
        y += s.height() + kGap;
        column_width = std::max(column_width, s.width());
    }
    return at;
}

}  // namespace korvex::gui
