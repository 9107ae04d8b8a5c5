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
    file_of_.assign(names_.size(), 0);
    column_of_.clear();
    for (size_t c = 0; c < names_.size(); ++c) column_of_.push_back(int(c));
    endResetModel();
}

void ChannelTableModel::AddChannels(int file, const std::vector<QString>& names,
                                    const std::vector<QColor>& colours) {
    if (names.empty()) return;
    const int first = int(names_.size());
    beginInsertRows(QModelIndex(), first, first + int(names.size()) - 1);
    for (size_t c = 0; c < names.size(); ++c) {
        names_.push_back(names[c]);
        colours_.push_back(c < colours.size() ? colours[c] : QColor());
        visible_.push_back(true);
        panes_.push_back(0);
        cells_.push_back({});
        file_of_.push_back(file);
        column_of_.push_back(int(c));
    }
    endInsertRows();
}

void ChannelTableModel::RemoveFile(int file) {
    const int first = FirstRow(file);
    if (file < 1 || first < 0) return;
    int end = first;
    while (size_t(end) < file_of_.size() && file_of_[size_t(end)] == file) ++end;
    beginRemoveRows(QModelIndex(), first, end - 1);
    auto cut = [first, end](auto& v) { v.erase(v.begin() + first, v.begin() + end); };
    cut(names_);
    cut(colours_);
    cut(visible_);
    cut(panes_);
    cut(cells_);
    cut(file_of_);
    cut(column_of_);
    for (int& f : file_of_)
        if (f > file) --f;
    endRemoveRows();
}

int ChannelTableModel::FileOf(int row) const {
    return row >= 0 && size_t(row) < file_of_.size() ? file_of_[size_t(row)] : -1;
}

int ChannelTableModel::ColumnOf(int row) const {
    return row >= 0 && size_t(row) < column_of_.size() ? column_of_[size_t(row)] : -1;
}

int ChannelTableModel::FirstRow(int file) const {
    for (size_t r = 0; r < file_of_.size(); ++r)
        if (file_of_[r] == file) return int(r);
    return -1;
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

void ChannelTableModel::SetReadings(int file, const RecordingData* data, long a, long b) {
    const int first = FirstRow(file);
    if (first < 0) return;
    // Rows beyond the recording's (a reading taken while it is replaced) read blank.
    const long rows = data ? long(data->rows()) : 0;
    if (a >= rows) a = -1;
    if (b >= rows) b = -1;
    std::vector<ChannelStats> stats;
    if (data && a >= 0 && b >= 0)
        stats = ComputeStats(*data, size_t(std::min(a, b)), size_t(std::max(a, b)) + 1);
    size_t r = size_t(first);
    for (; r < cells_.size() && file_of_[r] == file; ++r) {
        auto& cell = cells_[r];
        for (int k = kAtA; k < kColumns; ++k) cell[size_t(k)].clear();
        const int c = column_of_[r];
        if (!data || c >= data->channels()) continue;
        const double* v = data->column(c);
        if (a >= 0) cell[kAtA] = Number(v[a]);
        if (b >= 0) cell[kAtB] = Number(v[b]);
        if (a >= 0 && b >= 0) cell[kDiff] = Number(v[b] - v[a]);
        if (size_t(c) < stats.size() && stats[size_t(c)].count) {
            cell[kMin] = Number(stats[size_t(c)].min);
            cell[kMax] = Number(stats[size_t(c)].max);
            cell[kMean] = Number(stats[size_t(c)].mean);
            cell[kRms] = Number(stats[size_t(c)].rms);
        }
    }
    emit dataChanged(index(first, kAtA), index(int(r) - 1, kColumns - 1));
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
