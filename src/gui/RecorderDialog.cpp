// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/RecorderDialog.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QVBoxLayout>

#include "app/Language.h"
#include "gui/Captions.h"
#include "gui/DialogUnits.h"
#include "gui/Texts.h"
#include "recorder/RecorderTexts.h"

namespace korvex::gui {

void RecorderTableModel::Apply(const RecorderPollResult& r) {
    table_ = r.table;
    current_ = r.header.current_file;
    if (r.rows_after > rows_) {
        beginInsertRows({}, rows_, r.rows_after - 1);
        rows_ = r.rows_after;
        endInsertRows();
    } else if (r.rows_after < rows_) {
        beginRemoveRows({}, r.rows_after, rows_ - 1);
        rows_ = r.rows_after;
        endRemoveRows();
    }
    for (int row : r.redraw)
        if (row < rows_) emit dataChanged(index(row, 0), index(row, kRecorderColumns - 1));
}

const RecorderFileEntry* RecorderTableModel::entry(int row) const {
    return row >= 0 && row < rows_ && row < int(table_.size()) ? &table_[size_t(row)] : nullptr;
}

int RecorderTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int RecorderTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kRecorderColumns;
}

QVariant RecorderTableModel::data(const QModelIndex& index, int role) const {
    const RecorderFileEntry* e = entry(index.row());
    if (role != Qt::DisplayRole || !e) return {};
    return Q(RecorderCellText(*e, index.row(), index.column(), index.row() == current_));
}

QVariant RecorderTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) return {};
    if (role == Qt::DisplayRole) return Q(RecorderColumnCaption(section));
    if (role == Qt::TextAlignmentRole) return int(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

RecorderDialog::RecorderDialog(RecorderSession& session, QWidget* parent)
    : QDialog(parent), session_(session), model_(this) {
    setObjectName(QStringLiteral("recorder"));
    setWindowIcon(ProgramIcon());
    setWindowTitle(QString::fromUtf8("Аварийный осциллограф"));
    SetTitleVersion(this);
    DialogUnits du(this);

    status_ = new QLabel(T("  Идет считывание ...", "   Please wait ..."), this);
    status_->setObjectName(QStringLiteral("status"));
    status_->setTextFormat(Qt::PlainText);
    status_->setMinimumWidth(du.X(385));
    write_ = new QCheckBox(T("Запись", "Write"), this);
    write_->setObjectName(QStringLiteral("write"));
    write_->hide();
    auto* top = new QHBoxLayout;
    top->addWidget(status_, 1);
    top->addWidget(write_);

    list_ = new QTableView(this);
    list_->setObjectName(QStringLiteral("list"));
    list_->setModel(&model_);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setSortingEnabled(false);
    list_->setShowGrid(false);
    list_->setWordWrap(false);
    list_->verticalHeader()->hide();
    list_->verticalHeader()->setDefaultSectionSize(list_->fontMetrics().height() + 4);
    list_->horizontalHeader()->setHighlightSections(false);
    list_->horizontalHeader()->setSectionsClickable(false);
    // Each column as wide as its fixed sample text in the list's font.
    int total = 0;
    for (int c = 0; c < kRecorderColumns; ++c) {
        int w = list_->fontMetrics().horizontalAdvance(Q(RecorderColumnWidthSample(c)));
        w = std::max(w, list_->horizontalHeader()->fontMetrics().horizontalAdvance(
                            Q(RecorderColumnCaption(c))) +
                            12);
        list_->setColumnWidth(c, w);
        total += w;
    }
    list_->setMinimumSize(std::max(du.X(448), total + 24), du.Y(222));
    list_->setEnabled(false);

    // The selected recording: its number, start and duration.
    auto* detail = new QHBoxLayout;
    auto field = [&](const char* name, int width) {
        auto* e = new QLineEdit(this);
        e->setObjectName(QString::fromLatin1(name));
        e->setReadOnly(true);
        e->setMinimumWidth(du.X(width));
        e->setEnabled(false);
        return e;
    };
    auto label = [&](const QString& text) {
        auto* l = new QLabel(text, this);
        l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        return l;
    };
    number_ = field("number", 25);
    date_ = field("date", 52);
    time_ = field("time", 60);
    duration_ = field("duration", 42);
    number_->setEnabled(true);
    detail->addWidget(label(T("Файл:", "File :")));
    detail->addWidget(number_);
    detail->addSpacing(du.X(6));
    detail->addWidget(label(T("Дата-Время начала:", "Start Date-Time :")));
    detail->addWidget(date_);
    detail->addWidget(time_);
    detail->addSpacing(du.X(6));
    detail->addWidget(label(T("Время (сек):", "Time(sec):")));
    detail->addWidget(duration_);
    detail->addStretch(1);

    // Reading: what is read, its progress and the first sector's time stamp; Read/Stop.
    auto* bottom = new QHBoxLayout;
    reading_text_ = new QLabel(this);
    reading_text_->setObjectName(QStringLiteral("readingText"));
    reading_text_->setAlignment(Qt::AlignCenter);
    reading_text_->setMinimumWidth(du.X(122));
    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("progress"));
    progress_->setRange(0, 100);
    progress_->setTextVisible(false);
    progress_->setMinimumWidth(du.X(187));
    progress_->setMaximumHeight(du.Y(8));
    QSizePolicy keep = progress_->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    progress_->setSizePolicy(keep);
    progress_->hide();
    sector_time_ = new QLabel(this);
    sector_time_->setObjectName(QStringLiteral("sectorTime"));
    sector_time_->setMinimumWidth(du.X(189));
    auto* middle = new QVBoxLayout;
    middle->addWidget(progress_);
    middle->addWidget(sector_time_);
    read_ = new QPushButton(T("Чтение файла", "Read"), this);
    read_->setObjectName(QStringLiteral("read"));
    read_->setMinimumSize(du.Size(73, 14));
    read_->setEnabled(false);
    read_->setAutoDefault(false);
    bottom->addWidget(reading_text_);
    bottom->addLayout(middle);
    bottom->addStretch(1);
    bottom->addWidget(read_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(du.X(10), du.Y(7), du.X(10), du.Y(7));
    layout->addLayout(top);
    layout->addWidget(list_, 1);
    layout->addLayout(detail);
    layout->addLayout(bottom);
    for (auto* l : findChildren<QLabel*>()) l->setTextFormat(Qt::PlainText);

    connect(&session_, &RecorderSession::polled, this, &RecorderDialog::OnPolled);
    connect(&session_, &RecorderSession::readStarted, this, &RecorderDialog::OnReadStarted);
    connect(&session_, &RecorderSession::readProgress, progress_, &QProgressBar::setValue);
    connect(&session_, &RecorderSession::readingText, reading_text_, &QLabel::setText);
    connect(&session_, &RecorderSession::sectorTime, sector_time_, &QLabel::setText);
    connect(&session_, &RecorderSession::readFinished, this, &RecorderDialog::OnReadFinished);
    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &RecorderDialog::OnSelection);
    connect(read_, &QPushButton::clicked, this, &RecorderDialog::OnRead);
    connect(write_, &QCheckBox::clicked, this, [this](bool on) { session_.SetWriting(on); });
}

void RecorderDialog::OnPolled(const RecorderPollResult& r) {
    if (r.close) return;  // the mode ends; the window goes with it
    model_.Apply(r);
    list_->setEnabled(r.list_enabled);
    if (r.table_empty) {
        for (QWidget* w : std::initializer_list<QWidget*>{date_, time_, duration_, read_})
            w->setEnabled(session_.reading() && w == read_);
    }
    if (r.status_changed) status_->setText(Q(r.status_text));
    if (r.write_visibility_changed) write_->setVisible(r.write_visible);
    if (r.write_state_changed) {
        write_->setEnabled(r.write_enabled);
        write_->setChecked(r.write_checked);
    }
    // A selected recording that changed (one being recorded grows) shows its new detail.
    QModelIndexList rows = list_->selectionModel()->selectedRows();
    if (!rows.isEmpty() && !session_.reading()) {
        int row = rows.first().row();
        for (int redrawn : r.redraw)
            if (redrawn == row) SetDetail(row);
    }
}

void RecorderDialog::SetDetail(int row) {
    QString texts[4];
    bool enable = false;
    const RecorderFileEntry* e = model_.entry(row);
    if (e) {
        texts[0] = Q(RecorderCellText(*e, row, kRecorderColFile, false));
        if (e->status() != 0) {
            enable = true;
            texts[1] = Q(RecorderCellText(*e, row, kRecorderColDate, false));
            texts[2] = Q(RecorderCellText(*e, row, kRecorderColTime, false));
            texts[3] = Q(RecorderCellText(*e, row, kRecorderColSeconds, false));
        }
    }
    QLineEdit* fields[4] = {number_, date_, time_, duration_};
    for (int i = 0; i < 4; ++i) fields[i]->setText(texts[i]);
    for (int i = 1; i < 4; ++i) fields[i]->setEnabled(enable);
    read_->setEnabled(enable);
}

void RecorderDialog::OnSelection() {
    // The selection is frozen while a recording is read.
    if (session_.reading()) return;
    QModelIndexList rows = list_->selectionModel()->selectedRows();
    SetDetail(rows.isEmpty() ? -1 : rows.first().row());
}

void RecorderDialog::OnRead() {
    if (session_.reading()) {
        session_.StopReading();
        return;
    }
    QModelIndexList rows = list_->selectionModel()->selectedRows();
    session_.StartReading(rows.isEmpty() ? -1 : rows.first().row());
}

void RecorderDialog::OnReadStarted(int) {
    progress_->setValue(0);
    progress_->show();
    read_->setText(T("Прервать чтение", "Stop"));
    read_->setEnabled(true);
}

void RecorderDialog::OnReadFinished() {
    progress_->setValue(0);
    progress_->hide();
    read_->setText(T("Чтение файла", "Read"));
    reading_text_->clear();
    OnSelection();
}

void RecorderDialog::reject() {
    if (session_.is_ended()) {
        QDialog::reject();
        return;
    }
    // The read and the poll are woken, whole sectors kept, and the link is closed before
    // the window goes (ended() closes it).
    if (!session_.closing()) {
        setCursor(Qt::BusyCursor);
        for (QWidget* w : std::initializer_list<QWidget*>{list_, read_, write_})
            w->setEnabled(false);
        session_.Close();
    }
}

void RecorderDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void RecorderDialog::closeEvent(QCloseEvent* event) {
    if (session_.is_ended()) {
        event->accept();
        return;
    }
    event->ignore();
    reject();
}

}  // namespace korvex::gui
