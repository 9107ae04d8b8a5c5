// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDockWidget>
#include <QString>
#include <vector>

class QDoubleSpinBox;
class QPushButton;
class QTableWidget;

namespace korvex::gui {

// The viewer's panel of the recordings laid over each other: a row per recording, its
// file's name (tool tip: the full path and its start clock when known) and its offset in
// seconds along the time axis (6 decimals, ±1e6; the first recording, the time base, is
// fixed at 0), and for each added one the buttons "Align at cursor A", "By clock" and
// "Remove". It only shows and asks: the window does what the signals ask and sets the
// offsets back (SetOffset). GUI thread only.
class RecordingsDock : public QDockWidget {
    Q_OBJECT
public:
    struct Row {
        QString path;
        QString tool_tip;
        double offset = 0;
        // Why "By clock" cannot be used (empty: it can).
        QString no_clock;
    };

    explicit RecordingsDock(QWidget* parent = nullptr);

    // The rows, the first recording's first. The offset boxes and buttons of row f are
    // named "offset<f>", "alignAtCursor<f>", "byClock<f>" and "remove<f>".
    void SetRows(const std::vector<Row>& rows);
    // Shows an offset without offsetChanged.
    void SetOffset(int file, double seconds);
    // "Align at cursor A" needs both cursors: off, `why` is its tool tip.
    void SetCanAlign(bool on, const QString& why);
    QDoubleSpinBox* offset_box(int file) const;

signals:
    void offsetChanged(int file, double seconds);
    void alignRequested(int file);
    void byClockRequested(int file);
    void removeRequested(int file);

private:
    QTableWidget* table_;
    std::vector<QDoubleSpinBox*> boxes_;
    std::vector<QPushButton*> align_;
    QString align_why_;
    bool can_align_ = false;
};

}  // namespace korvex::gui
