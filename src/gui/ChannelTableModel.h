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
// between the cursors. Numbers read with "." whatever the locale. GUI thread only.
class ChannelTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { kName, kPane, kAtA, kAtB, kDiff, kMin, kMax, kMean, kRms, kColumns };

    explicit ChannelTableModel(QObject* parent = nullptr);

    void SetChannels(const std::vector<QString>& names, const std::vector<QColor>& colours);
    void SetPanes(const std::vector<int>& panes);
    void SetVisible(int channel, bool visible);
    bool Visible(int channel) const { return visible_[size_t(channel)]; }
    // The readings for cursors at rows `a` and `b` (-1: not placed); statistics over the
    // rows between them, both included, when both are placed.
    void SetReadings(const RecordingData* data, long a, long b);
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
    std::vector<std::array<QString, kColumns>> cells_;
};

}  // namespace korvex::gui
