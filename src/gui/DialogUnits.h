#pragma once

#include <QFontMetrics>
#include <QWidget>

namespace korvex::gui {

// Places widgets from the dialog units of the original templates: a horizontal unit is
// a quarter of the font's average character width, a vertical one an eighth of its
// height. The windows keep their arrangement and proportions with any font and scale
// with it (and with the screen's scaling, which Qt applies to fonts and pixels).
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
    void Place(QWidget* w, double x, double y, double width, double height) const {
        w->setGeometry(X(x), Y(y), X(width), Y(height));
    }
    QSize Size(double width, double height) const { return QSize(X(width), Y(height)); }
    // Pixels back into vertical dialog units, rounded up.
    int ToDluY(int px) const { return int(px * 8.0 / base_y_ + 0.999); }

private:
    double base_x_ = 6, base_y_ = 13;
};

}  // namespace korvex::gui
