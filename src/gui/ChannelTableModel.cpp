// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/ChannelTableModel.h"

#include "app/Language.h"
#include "app/StrPrintf.h"
#include "files/RecordingData.h"

namespace korvex::gui {

namespace {

QString Number(double v) {
    return QString::fromStdString(StrPrintf("%.6f", v));
}

}  // namespace

ChannelTableModel::ChannelTableModel(QObject* parent) : QAbstractTableModel(parent) {}

void ChannelTableModel::SetChannels(const std::vector<QString>& names,
                                    const std::vector<QColor>& colours) {
    beginResetModel();
    names_ = names;
    colours_ = colours;
    colours_.resize(names_.size());
    visible_.assign(names_.size(), true);
    panes_.assign(names_.size(), 0);
    cells_.assign(names_.size(), {});
    endResetModel();
}

void ChannelTableModel::SetPanes(const std::vector<int>& panes) {
    panes_ = panes;
    panes_.resize(names_.size(), 0);
    if (!names_.empty()) emit dataChanged(index(0, kPane), index(int(names_.size()) - 1, kPane));
}

void ChannelTableModel::SetVisible(int channel, bool visible) {
    if (channel < 0 || size_t(channel) >= visible_.size() || visible_[size_t(channel)] == visible)
        return;
    visible_[size_t(channel)] = visible;
    emit dataChanged(index(channel, kName), index(channel, kName), {Qt::CheckStateRole});
}

void ChannelTableModel::SetReadings(const RecordingData* data, long a, long b) {
    std::vector<ChannelStats> stats;
    if (data && a >= 0 && b >= 0)
        stats = ComputeStats(*data, size_t(std::min(a, b)), size_t(std::max(a, b)) + 1);
    for (size_t c = 0; c < cells_.size(); ++c) {
        auto& cell = cells_[c];
        for (int k = kAtA; k < kColumns; ++k) cell[size_t(k)].clear();
        if (!data) continue;
        const double* v = data->column(int(c));
        if (a >= 0) cell[kAtA] = Number(v[a]);
        if (b >= 0) cell[kAtB] = Number(v[b]);
        if (a >= 0 && b >= 0) cell[kDiff] = Number(v[b] - v[a]);
        if (!stats.empty() && stats[c].count) {
            cell[kMin] = Number(stats[c].min);
            cell[kMax] = Number(stats[c].max);
            cell[kMean] = Number(stats[c].mean);
            cell[kRms] = Number(stats[c].rms);
        }
    }
    if (!cells_.empty())
        emit dataChanged(index(0, kAtA), index(int(cells_.size()) - 1, kColumns - 1));
}

QString ChannelTableModel::Text(int channel, Column column) const {
    if (channel < 0 || size_t(channel) >= names_.size()) return {};
    if (column == kName) return names_[size_t(channel)];
    if (column == kPane) return QString::number(panes_[size_t(channel)] + 1);
    return cells_[size_t(channel)][column];
}

int ChannelTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(names_.size());
}

int ChannelTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant ChannelTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    int c = index.row();
    if (role == Qt::DisplayRole) return Text(c, Column(index.column()));
    if (index.column() == kName && role == Qt::CheckStateRole)
        return visible_[size_t(c)] ? Qt::Checked : Qt::Unchecked;
    if (index.column() == kName && role == Qt::DecorationRole) return colours_[size_t(c)];
    if (role == Qt::TextAlignmentRole && index.column() != kName)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant ChannelTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* const kRussian[kColumns] = {"Канал",
                                                   "Окно",
                                                   "A",
                                                   "B",
                                                   "B \xe2\x88\x92 A",
                                                   "Мин. A\xe2\x80\x93"
                                                   "B",
                                                   "Макс. A\xe2\x80\x93"
                                                   "B",
                                                   "Среднее",
                                                   "СКЗ"};
    static const char* const kEnglish[kColumns] = {"Channel",
                                                   "Pane",
                                                   "A",
                                                   "B",
                                                   "B \xe2\x88\x92 A",
                                                   "Min A\xe2\x80\x93"
                                                   "B",
                                                   "Max A\xe2\x80\x93"
                                                   "B",
                                                   "Mean",
                                                   "RMS"};
    return QString::fromUtf8(Tr(kRussian[section], kEnglish[section]));
}

bool ChannelTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || index.column() != kName || role != Qt::CheckStateRole) return false;
    bool on = value.toInt() == Qt::Checked;
    SetVisible(index.row(), on);
    emit visibilityToggled(index.row(), on);
    return true;
}

Qt::ItemFlags ChannelTableModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == kName) f |= Qt::ItemIsUserCheckable;
    return f;
}

}  // namespace korvex::gui
