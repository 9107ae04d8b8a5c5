// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractTableModel>
#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>

#include "gui/RecorderSession.h"

namespace korvex::gui {

// The recorder's file table as the list shows it: one row per recording, numbered from
// 1, nine columns whose texts are made when the view asks for them. Rows are only
// appended or removed at the end, so a row's index is the table index.
class RecorderTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    // Applies a poll: rows appended or removed at the end, changed rows redrawn.
    void Apply(const RecorderPollResult& result);
    const RecorderFileEntry* entry(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::vector<RecorderFileEntry> table_;
    int rows_ = 0;
    int current_ = -1;
};

// "Аварийный осциллограф": the fault recorder's window, a view of its RecorderSession.
// The status line and the "Write" box (shown while there are recordings, disabled during
// an automatic recording); the list of recordings; the detail row of the selected one
// (number, start date and time, duration); while reading, "Чтение файла %d", the
// progress bar and the first sector's time stamp; Read, which reads "Stop" while a
// recording is read. Esc, Enter and the close box end the mode: a read in progress
// finishes its sector, then the link is closed and the window goes. GUI thread only;
// opened with show().
class RecorderDialog : public QDialog {
    Q_OBJECT
public:
    explicit RecorderDialog(RecorderSession& session, QWidget* parent = nullptr);

    RecorderTableModel& model() { return model_; }
    QTableView* list() const { return list_; }

protected:
    void reject() override;
    void accept() override { reject(); }
    // Enter closes the window as Esc does (the window has no default button).
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void OnPolled(const RecorderPollResult& r);
    void OnSelection();
    void OnRead();
    void OnReadStarted(int index);
    void OnReadFinished();
    void SetDetail(int row);

    RecorderSession& session_;
    RecorderTableModel model_;
    QLabel* status_;
    QCheckBox* write_;
    QTableView* list_;
    QLineEdit *number_, *date_, *time_, *duration_;
    QLabel *reading_text_, *sector_time_;
    QProgressBar* progress_;
    QPushButton* read_;
};

}  // namespace korvex::gui
