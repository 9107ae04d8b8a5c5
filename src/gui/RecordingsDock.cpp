// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/RecordingsDock.h"

#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QLocale>
#include <QPushButton>
#include <QTableWidget>

#include "gui/Texts.h"

namespace korvex::gui {

namespace {

enum Column { kFile, kOffset, kAlign, kClock, kRemove, kColumns };

QString AlignTip() {
    return T("Сдвинуть запись так, чтобы её отсчёт под курсором B встал под курсор A",
             "Move the recording so that its sample under cursor B comes under cursor A");
}

}  // namespace

RecordingsDock::RecordingsDock(QWidget* parent) : QDockWidget(T("Записи", "Recordings"), parent) {
    setObjectName(QStringLiteral("recordingsDock"));
    table_ = new QTableWidget(0, kColumns, this);
    table_->setObjectName(QStringLiteral("recordings"));
    table_->setHorizontalHeaderLabels(
        {T("Файл", "File"), T("Смещение, с", "Offset (s)"), QString(), QString(), QString()});
    table_->verticalHeader()->hide();
    table_->setSelectionMode(QAbstractItemView::NoSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    // As tall as its rows and no taller: the plot keeps the window's height.
    table_->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);
    table_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    setWidget(table_);
}

void RecordingsDock::SetRows(const std::vector<Row>& rows) {
    // Built anew: a handful of rows, changed only when a recording comes or goes.
    table_->setRowCount(0);
    boxes_.clear();
    align_.clear();
    table_->setRowCount(int(rows.size()));
    for (int f = 0; f < int(rows.size()); ++f) {
        const Row& row = rows[size_t(f)];
        const QString n = QString::number(f);
        auto* name = new QTableWidgetItem(QFileInfo(row.path).fileName());
        name->setToolTip(row.tool_tip);
        table_->setItem(f, kFile, name);
        auto* box = new QDoubleSpinBox(table_);
        box->setObjectName(QStringLiteral("offset") + n);
        box->setLocale(QLocale::c());  // seconds read with "." whatever the language
        box->setDecimals(6);
        box->setRange(-1e6, 1e6);
        box->setSingleStep(0.001);
        // Taken when the typing is done (Enter, or the focus leaving), not at each key.
        box->setKeyboardTracking(false);
        box->setValue(f == 0 ? 0.0 : row.offset);
        box->setEnabled(f > 0);  // the time base stays at 0
        table_->setCellWidget(f, kOffset, box);
        boxes_.push_back(box);
        if (f == 0) {
            align_.push_back(nullptr);
            continue;
        }
        connect(box, &QDoubleSpinBox::valueChanged, this,
                [this, f](double seconds) { emit offsetChanged(f, seconds); });
        auto button = [&](Column column, const QString& text, const char* name) {
            auto* b = new QPushButton(text, table_);
            b->setObjectName(QLatin1String(name) + n);
            table_->setCellWidget(f, column, b);
            return b;
        };
        QPushButton* align =
            button(kAlign, T("Совместить по курсору A", "Align at cursor A"), "alignAtCursor");
        align->setEnabled(can_align_);
        align->setToolTip(can_align_ ? AlignTip() : align_why_);
        align_.push_back(align);
        connect(align, &QPushButton::clicked, this, [this, f] { emit alignRequested(f); });
        QPushButton* clock = button(kClock, T("По часам", "By clock"), "byClock");
        clock->setEnabled(row.no_clock.isEmpty());
        clock->setToolTip(row.no_clock.isEmpty() ? T("Смещение по времени начала записей",
                                                     "The offset from the recordings' start times")
                                                 : row.no_clock);
        connect(clock, &QPushButton::clicked, this, [this, f] { emit byClockRequested(f); });
        QPushButton* remove = button(kRemove, T("Убрать", "Remove"), "remove");
        // Queued: the panel's rows are built anew while the button's click is under way.
        // Disabled at once, so that a second click queued meanwhile (a double click)
        // cannot take off the recording that moved up into this row.
        connect(remove, &QPushButton::clicked, remove, [remove] { remove->setEnabled(false); });
        connect(
            remove, &QPushButton::clicked, this, [this, f] { emit removeRequested(f); },
            Qt::QueuedConnection);
    }
    table_->resizeColumnsToContents();
}

void RecordingsDock::SetOffset(int file, double seconds) {
    QDoubleSpinBox* box = offset_box(file);
    if (!box) return;
    QSignalBlocker quiet(box);
    box->setValue(seconds);
}

void RecordingsDock::SetCanAlign(bool on, const QString& why) {
    can_align_ = on;
    align_why_ = why;
    for (QPushButton* b : align_) {
        if (!b) continue;
        b->setEnabled(on);
        b->setToolTip(on ? AlignTip() : why);
    }
}

QDoubleSpinBox* RecordingsDock::offset_box(int file) const {
    return file >= 0 && size_t(file) < boxes_.size() ? boxes_[size_t(file)] : nullptr;
}

}  // namespace korvex::gui
