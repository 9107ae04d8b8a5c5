// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <array>
#include <vector>

#include "files/RecordingStats.h"

namespace korvex {
class RecordingData;
}

namespace korvex::gui {

// The viewer's channel list: each channel's colour, name and show/hide box, its pane, its
// values at cursors A and B and their difference, and its minimum, maximum, mean and RMS
// between the cursors. Numbers read with "." whatever the locale. The list may hold the
// channels of several recordings laid over each other: the first recording's (file 0)
// first, then each added one's, every row knowing its file and its column there.
// GUI thread only.
class ChannelTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { kName, kPane, kAtA, kAtB, kDiff, kMin, kMax, kMean, kRms, kColumns };

    explicit ChannelTableModel(QObject* parent = nullptr);

    // The first recording's channels; those of recordings added go.
    void SetChannels(const std::vector<QString>& names, const std::vector<QColor>& colours);
    // Appends the channels of recording `file` (columns 0, 1, ...), shown.
    void AddChannels(int file, const std::vector<QString>& names,
                     const std::vector<QColor>& colours);
    // Takes recording `file`'s rows off; the recordings after it are numbered one less.
    void RemoveFile(int file);
    // A row's recording and its column there (-1 for a row not listed), and the first
    // row of a recording (-1: it has none).
    int FileOf(int row) const;
    int ColumnOf(int row) const;
    int FirstRow(int file) const;
    void SetPanes(const std::vector<int>& panes);
    void SetVisible(int channel, bool visible);
    bool Visible(int channel) const { return visible_[size_t(channel)]; }
    // The readings for cursors at rows `a` and `b` (-1: not placed); statistics over the
    // rows between them, both included, when both are placed.
    void SetReadings(const RecordingData* data, long a, long b) { SetReadings(0, data, a, b); }
    // The same for the rows of recording `file`, `a` and `b` being rows of its own.
    void SetReadings(int file, const RecordingData* data, long a, long b);
    // The text of a cell, as shown.
    QString Text(int channel, Column column) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

signals:
    void visibilityToggled(int channel, bool visible);

private:
    std::vector<QString> names_;
    std::vector<QColor> colours_;
    std::vector<bool> visible_;
    std::vector<int> panes_;
    std::vector<int> file_of_, column_of_;
    std::vector<std::array<QString, kColumns>> cells_;
};

}  // namespace korvex::gui
