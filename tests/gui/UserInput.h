// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtest/gtest.h>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QRadioButton>
#include <QStyle>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace korvex::test {

inline bool IsCheckable(QWidget* w) {
    return qobject_cast<QCheckBox*>(w) || qobject_cast<QRadioButton*>(w);
}

// Input as a user gives it: the events go to the widget's top-level window through the
// platform's input path (QWindowSystemInterface), where a window that a modal one blocks
// does not get them. A click that a modal window would swallow therefore fails the test,
// unlike a click sent to the widget itself.
inline void ClickAsUser(QWidget* w) {
    QWidget* top = w->window();
    QPoint at = w->rect().center();
    // A check box or radio button takes clicks on its indicator and text only.
    if (IsCheckable(w)) {
        auto indicator = qobject_cast<QCheckBox*>(w) ? QStyle::PM_IndicatorWidth
                                                     : QStyle::PM_ExclusiveIndicatorWidth;
        at.setX(w->style()->pixelMetric(indicator) / 2 + 1);
    }
    QTest::mouseClick(top->windowHandle(), Qt::LeftButton, Qt::NoModifier, w->mapTo(top, at));
}

// A key pressed in a window, which the user has brought to the front first.
inline void KeyAsUser(QWidget* window, Qt::Key key) {
    QWidget* top = window->window();
    top->activateWindow();
    (void)QTest::qWaitForWindowActive(top);
    QTest::keyClick(top->windowHandle(), key);
}

// Every label and button of a window shows its whole text: the text, with the style's
// margins or indicator, fits the place the layout gave the widget.
inline void ExpectNoTextClipped(QWidget* window, const QStringList& data_labels = {}) {
    for (QWidget* w : window->findChildren<QWidget*>()) {
        QString text = w->property("text").toString();
        if (!w->isVisible() || data_labels.contains(w->objectName()) || text.isEmpty()) continue;
        QSize need;
        auto* label = qobject_cast<QLabel*>(w);
        if (label && label->wordWrap()) {
            need = QSize(0, label->heightForWidth(label->width()));
        } else if (label || IsCheckable(w)) {
            need = w->sizeHint();
        } else if (qobject_cast<QAbstractButton*>(w)) {
            QSize t = w->fontMetrics().size(Qt::TextShowMnemonic, text);
            need = QSize(t.width() + w->style()->pixelMetric(QStyle::PM_ButtonMargin), t.height());
        } else {
            continue;
        }
        std::string what = std::string(window->metaObject()->className()) + " " +
                           w->objectName().toStdString() + " '" + text.toStdString() + "'";
        EXPECT_LE(need.width(), w->width()) << what;
        EXPECT_LE(need.height(), w->height()) << what;
    }
}

// A control of a window by its object name; a missing one fails the test.
template <typename W = QLabel>
W* Find(QWidget* window, const QString& name) {
    W* w = window->findChild<W*>(name);
    EXPECT_NE(w, nullptr) << name.toStdString();
    return w;
}

// Shows a window and waits until the window system has put it on screen.
inline bool ShowAndWait(QWidget* w) {
    w->show();
    return QTest::qWaitForWindowExposed(w);
}

// Processes events until `done` holds or `ms` have passed.
inline bool WaitFor(const std::function<bool()>& done, int ms = 3000) {
    return QTest::qWaitFor(done, ms);
}

// The user at the message boxes: every box that opens is read and, unless `hold` is
// set, taken with a real click on OK, one at a time as they come. The tests wait by
// processing events, so the event loop's depth is 0 wherever the program opened no
// loop of its own: a box shown from inside a nested loop (exec()) is seen at depth 1.
class BoxTaker : public QObject {
public:
    struct Seen {
        QString text, detail;
        bool window_modal = false;  // window-modal over a window that stands
        int loop_depth = 0;
    };
    BoxTaker() {
        QObject::connect(&timer_, &QTimer::timeout, this, [this] { Tick(); });
        timer_.start(5);
    }
    // Never two boxes at once, and none from a loop of the program's own.
    ~BoxTaker() override {
        EXPECT_LE(most_open, 1) << "boxes stacked";
        EXPECT_EQ(deepest_loop, 0) << "a box shown from a nested event loop";
    }
    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const auto& s : seen) out.push_back(s.text.toStdString());
        return out;
    }
    // The boxes open now.
    static std::vector<QMessageBox*> Open() {
        std::vector<QMessageBox*> boxes;
        for (QWidget* w : QApplication::allWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible())
                boxes.push_back(box);
        return boxes;
    }

    std::vector<Seen> seen;
    bool hold = false;
    int most_open = 0, deepest_loop = 0;

private:
    void Tick() {
        auto boxes = Open();
        most_open = std::max(most_open, int(boxes.size()));
        if (boxes.empty() || hold) return;
        QMessageBox* box = boxes.front();
        // Read once; clicked again while it stands (a window manager may not have put it
        // up for input yet).
        if (box != last_) {
            last_ = box;
            seen.push_back({box->text(), box->informativeText(),
                            box->windowModality() == Qt::WindowModal && box->parentWidget(),
                            QThread::currentThread()->loopLevel()});
            deepest_loop = std::max(deepest_loop, seen.back().loop_depth);
        }
        ClickAsUser(box->button(QMessageBox::Ok));
    }
    QTimer timer_;
    QPointer<QMessageBox> last_;
};

}  // namespace korvex::test
