// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFontMetrics>
#include <QWidget>

namespace korvex::gui {

// Sizes in dialog units, which follow the font: a horizontal unit is a quarter of the
// font's average character width, a vertical one an eighth of its height. Layouts take
// their minimum and fixed sizes from them, so the windows keep their proportions with
// any font and scale with it (and with the screen's scaling).
class DialogUnits {
public:
    explicit DialogUnits(const QWidget* dialog) {
        QFontMetrics fm(dialog->font());
        static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
        base_x_ = (fm.horizontalAdvance(QLatin1String(kAlphabet)) / 26.0 + 1) / 2.0;
        base_y_ = fm.height();
    }
    int X(double dlu) const { return int(dlu * base_x_ / 4.0 + 0.5); }
    int Y(double dlu) const { return int(dlu * base_y_ / 8.0 + 0.5); }
    QSize Size(double width, double height) const { return QSize(X(width), Y(height)); }

private:
    double base_x_ = 6, base_y_ = 13;
};

}  // namespace korvex::gui
