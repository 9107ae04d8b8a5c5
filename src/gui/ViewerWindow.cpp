// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/ViewerWindow.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <memory>

#include "app/Language.h"
#include "app/StrPrintf.h"
#include "files/ComtradeReader.h"
#include "files/ExportFile.h"
#include "gui/AnalysisDock.h"
#include "gui/Captions.h"
#include "gui/ChannelTableModel.h"
#include "gui/MessageBoxes.h"
#include "gui/RecordingsDock.h"
#include "gui/TestReport.h"
#include "gui/Texts.h"
#include "gui/ViewerPlot.h"
#include "gui/ViewerSession.h"

namespace korvex::gui {

namespace {

// The user's settings of the viewer (UseSettings).
constexpr char kGeometryKey[] = "window/geometry";
constexpr char kStateKey[] = "window/state";
constexpr char kRecordingFolderKey[] = "folders/recordings";
constexpr char kExportFolderKey[] = "folders/exports";

QSettings* NewSettings() {
    return new QSettings(QStringLiteral("Korvex"), QStringLiteral("korvex-view"));
}

std::string BaseName(const std::string& name) {
    return name.substr(0, name.find('*'));
}

// The fault recorder's files get three panes: the stator's quantities, the field's, and
// the flags; any other recording one pane.
std::vector<int> DefaultPanes(const RecordingInfo& info) {
    const std::vector<std::string>& names = info.names;
    std::vector<int> panes(names.size(), 0);
    // A COMTRADE record's status channels, 0 or 1, in a pane of their own under the values.
    if (info.status_from > 0)
        for (size_t c = size_t(info.status_from); c < panes.size(); ++c) panes[c] = 1;
    bool recorder = names.size() >= 4 && BaseName(names[0]) == "State" &&
                    BaseName(names[1]) == "Write" && BaseName(names[2]) == "Prot" &&
                    BaseName(names[3]) == "RF";
    if (!recorder) return panes;
    for (size_t c = 0; c < names.size(); ++c) {
        std::string n = BaseName(names[c]);
        if (c < 4)
            panes[c] = 2;
        else if (n == "If" || n == "Uf" || n == "Uexc")
            panes[c] = 1;
    }
    return panes;
}

// A reader's message about the file at `path`, naming the file where the message does
// not: "'<path>':" on a line of its own before it, as nested messages are written.
QString AboutFile(const QString& path, const QString& message) {
    QString quoted = QLatin1Char('\'') + path + QLatin1Char('\'');
    return message.contains(quoted) ? message : quoted + QStringLiteral(":\n") + message;
}

// The channels' names in the list, with their units where the record gives them
// ("Ua, kV"), each after `prefix`.
std::vector<QString> ChannelNames(const RecordingInfo& info, const QString& prefix) {
    std::vector<QString> names;
    for (size_t c = 0; c < info.names.size(); ++c) {
        std::string unit = c < info.units.size() ? info.units[c] : std::string();
        names.push_back(prefix + QString::fromStdString(unit.empty() || unit == "NA"
                                                            ? info.names[c]
                                                            : info.names[c] + ", " + unit));
    }
    return names;
}

// When a recording's first row was taken, in ClockSeconds: a COMTRADE record's first
// sample to the microsecond, else a fault recording's "#INFO=" clock; NaN when unknown.
double StartSeconds(const RecordingInfo& info) {
    if (std::isfinite(info.start_seconds)) return info.start_seconds;
    return info.has_start ? ClockSeconds(info.start) : NAN;
}

// Offsets are kept to the microsecond: the offset box shows no more, and the clocks
// recordings give are no finer.
double Microseconds(double seconds) {
    return std::round(std::clamp(seconds, -1e6, 1e6) * 1e6) / 1e6;
}

QStringList LocalFiles(const QMimeData* mime) {
    QStringList files;
    if (mime && mime->hasUrls())
        for (const QUrl& url : mime->urls())
            if (url.isLocalFile()) files << url.toLocalFile();
    return files;
}

}  // namespace

ViewerWindow::ViewerWindow(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("viewer"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowIcon(ProgramIcon());
    session_ = new ViewerSession(this);
    plot_ = new ViewerPlot(this);
    plot_->setObjectName(QStringLiteral("plot"));
    plot_->setMinimumHeight(200);
    scroll_ = new QScrollBar(Qt::Horizontal, this);
    scroll_->setObjectName(QStringLiteral("scrollBar"));
    model_ = new ChannelTableModel(this);
    table_ = new QTableView(this);
    table_->setObjectName(QStringLiteral("channels"));
    table_->setModel(model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setContextMenuPolicy(Qt::CustomContextMenu);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table_->horizontalHeader()->setStretchLastSection(false);
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
    cursor_label_ = new QLabel(this);
    cursor_label_->setObjectName(QStringLiteral("cursorText"));
    cursor_label_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // The readout wraps in a narrow window rather than widen it past the screen.
    cursor_label_->setWordWrap(true);
    hover_label_ = new QLabel(this);
    hover_label_->setObjectName(QStringLiteral("hoverText"));
    info_label_ = new QLabel(this);
    info_label_->setObjectName(QStringLiteral("infoText"));
    // The status line's texts may be cut in a narrow window, not make it wider (the
    // summary's whole text is its tool tip).
    const int narrow = fontMetrics().averageCharWidth() * 12;
    hover_label_->setMinimumWidth(narrow);
    info_label_->setMinimumWidth(narrow);
    progress_ = new QProgressBar(this);
    progress_->setRange(0, 100);
    progress_->setMaximumWidth(160);
    progress_->hide();
    cancel_ = new QPushButton(T("Прервать", "Cancel"), this);
    cancel_->setObjectName(QStringLiteral("cancelExport"));
    cancel_->hide();

    auto* top = new QWidget(this);
    auto* top_layout = new QVBoxLayout(top);
    top_layout->setContentsMargins(0, 0, 0, 0);
    top_layout->setSpacing(0);
    top_layout->addWidget(plot_, 1);
    top_layout->addWidget(scroll_);
    auto* bottom = new QWidget(this);
    auto* bottom_layout = new QVBoxLayout(bottom);
    bottom_layout->setContentsMargins(4, 2, 4, 0);
    bottom_layout->addWidget(cursor_label_);
    bottom_layout->addWidget(table_, 1);
    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(top);
    split->addWidget(bottom);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);
    setCentralWidget(split);
    statusBar()->addWidget(hover_label_, 1);
    statusBar()->addPermanentWidget(info_label_);
    statusBar()->addPermanentWidget(progress_);
    statusBar()->addPermanentWidget(cancel_);
    analysis_ = new AnalysisDock(session_, plot_, this);
    addDockWidget(Qt::RightDockWidgetArea, analysis_);
    analysis_->hide();
    recordings_ = new RecordingsDock(this);
    addDockWidget(Qt::BottomDockWidgetArea, recordings_);
    recordings_->hide();
    connect(recordings_, &RecordingsDock::offsetChanged, this, &ViewerWindow::SetAddedOffset);
    connect(recordings_, &RecordingsDock::alignRequested, this, &ViewerWindow::AlignAtCursor);
    connect(recordings_, &RecordingsDock::byClockRequested, this, &ViewerWindow::AlignByClock);
    connect(recordings_, &RecordingsDock::removeRequested, this, &ViewerWindow::RemoveAdded);
    setAcceptDrops(true);

    BuildActions();
    connect(session_, &ViewerSession::loaded, this, &ViewerWindow::OnLoaded);
    connect(session_, &ViewerSession::grew, this, &ViewerWindow::OnGrew);
    connect(session_, &ViewerSession::followEnded, this, [this](const QString& message) {
        QSignalBlocker quiet(follow_);
        follow_->setChecked(false);
        if (!message.isEmpty()) ShowMessage(this, message);
    });
    connect(session_, &ViewerSession::exportProgress, progress_, &QProgressBar::setValue);
    connect(session_, &ViewerSession::exportFinished, this, [this](const QString& message) {
        progress_->hide();
        cancel_->hide();
        UpdateActions();
        emit exported(message);
        if (message.isEmpty())
            statusBar()->showMessage(T("Экспорт завершён", "Export finished"), 5000);
        else if (message != QLatin1String("Cancelled"))
            ShowMessage(this, message);
    });
    connect(cancel_, &QPushButton::clicked, session_, &ViewerSession::CancelExport);
    connect(plot_, &ViewerPlot::viewChanged, this, &ViewerWindow::OnViewChanged);
    connect(plot_, &ViewerPlot::cursorsChanged, this, &ViewerWindow::OnCursorsChanged);
    connect(plot_, &ViewerPlot::hovered, this, &ViewerWindow::OnHovered);
    connect(plot_, &ViewerPlot::historyChanged, this, &ViewerWindow::UpdateActions);
    connect(plot_, &ViewerPlot::contextMenuRequestedAt, this, &ViewerWindow::ShowPlotMenu);
    connect(scroll_, &QScrollBar::valueChanged, this, &ViewerWindow::OnScroll);
    connect(model_, &ChannelTableModel::visibilityToggled, plot_, &ViewerPlot::SetChannelVisible);
    connect(table_, &QTableView::customContextMenuRequested, this, &ViewerWindow::ShowTableMenu);
    connect(analysis_, &AnalysisDock::resultChanged, this, &ViewerWindow::UpdateActions);

    setWindowTitle(T("Просмотр записей", "Recording Viewer"));
    SetTitleVersion(this);
    OnCursorsChanged();
    UpdateActions();
    FitToScreen();
}

void ViewerWindow::FitToScreen() {
    if (!screen()) return;  // no screen at all: the size the layout asks for
    const QRect area = screen()->availableGeometry();
    QSize size(std::min(area.width() * 85 / 100, 1400), std::min(area.height() * 85 / 100, 900));
    size = size.expandedTo(minimumSizeHint()).boundedTo(area.size());
    resize(size);
    move(area.center() - QPoint(size.width() / 2, size.height() / 2));
}

void ViewerWindow::UseSettings() {
    settings_ = true;
    std::unique_ptr<QSettings> settings(NewSettings());
    const QByteArray saved = settings->value(QLatin1String(kGeometryKey)).toByteArray();
    if (!saved.isEmpty() && restoreGeometry(saved)) {
        // A window restored where no screen is now (a monitor unplugged) opens as new.
        bool shown = false;
        for (QScreen* s : QGuiApplication::screens()) {
            QRect seen = s->availableGeometry().intersected(geometry());
            shown = shown || (seen.width() >= 100 && seen.height() >= 50);
        }
        if (!shown) FitToScreen();
    }
    restoreState(settings->value(QLatin1String(kStateKey)).toByteArray());
    if (added_.empty()) recordings_->hide();  // nothing to show in it yet
}

void ViewerWindow::closeEvent(QCloseEvent* event) {
    if (settings_) {
        std::unique_ptr<QSettings> settings(NewSettings());
        settings->setValue(QLatin1String(kGeometryKey), saveGeometry());
        settings->setValue(QLatin1String(kStateKey), saveState());
    }
    QMainWindow::closeEvent(event);
}

QString ViewerWindow::Folder(const char* key, const QString& fallback) const {
    if (!settings_) return fallback;
    std::unique_ptr<QSettings> settings(NewSettings());
    QString folder = settings->value(QLatin1String(key)).toString();
    return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : fallback;
}

void ViewerWindow::KeepFolder(const char* key, const QString& file) {
    if (!settings_) return;
    std::unique_ptr<QSettings> settings(NewSettings());
    settings->setValue(QLatin1String(key), QFileInfo(file).absolutePath());
}

void ViewerWindow::SetInfo(const QString& text) {
    info_label_->setText(text);
    info_label_->setToolTip(text);
}

ViewerWindow::~ViewerWindow() {
    // The dock first, while the window it reports to is whole: closing the window hides
    // it, and hiding it drops its result, which updates the window's actions.
    delete analysis_;
}

void ViewerWindow::BuildActions() {
    auto action = [this](const QString& text, const QKeySequence& key, auto&& slot,
                         bool data = true) {
        auto* a = new QAction(text, this);
        // On the window itself too, so that its keys work wherever the menu bar is (a
        // desktop's global menu takes it out of the window).
        addAction(a);
        if (!key.isEmpty()) a->setShortcut(key);
        connect(a, &QAction::triggered, this, slot);
        if (data) need_data_.push_back(a);
        return a;
    };
    QAction* open = action(
        T("Открыть...", "Open..."), QKeySequence::Open, [this] { AskOpen(); }, false);
    QAction* add = action(
        T("Добавить запись...", "Add Recording..."), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O),
        [this] { AskAdd(); }, false);
    add->setObjectName(QStringLiteral("addRecording"));
    QAction* reload = action(T("Перечитать", "Reload"), QKeySequence(Qt::Key_F5),
                             [this] { Open(session_->path()); });
    QAction* csv = action(T("CSV...", "CSV..."), {}, [this] { AskExport(Format::Csv); });
    QAction* cfg = action(T("COMTRADE (двоичный)...", "COMTRADE (binary)..."), {},
                          [this] { AskExport(Format::Comtrade); });
    QAction* cfg_ascii = action(T("COMTRADE (ASCII)...", "COMTRADE (ASCII)..."), {},
                                [this] { AskExport(Format::ComtradeAscii); });
    QAction* png =
        action(T("Рисунок PNG...", "Picture PNG..."), {}, [this] { AskExport(Format::Png); });
    QAction* pdf =
        action(T("Рисунок PDF...", "Picture PDF..."), {}, [this] { AskExport(Format::Pdf); });
    report_ = action(
        T("Отчёт об испытании (PDF)...", "Test Report (PDF)..."), {}, [this] { AskReport(); },
        false);
    report_->setObjectName(QStringLiteral("exportReport"));
    range_only_ =
        new QAction(T("Только между курсорами A и B", "Between Cursors A and B Only"), this);
    range_only_->setObjectName(QStringLiteral("rangeOnly"));
    range_only_->setCheckable(true);
    QAction* close = action(
        T("Закрыть", "Close"), QKeySequence::Close, [this] { this->close(); }, false);

    QAction* fit = action(T("Весь файл", "Whole File"), QKeySequence(Qt::Key_Home),
                          [this] { plot_->FitAll(); });
    QAction* zoom_in = action(T("Увеличить", "Zoom In"), QKeySequence(Qt::Key_Plus),
                              [this] { plot_->ZoomAround(0.5, plot_->view().center()); });
    zoom_in->setShortcuts({QKeySequence(Qt::Key_Plus), QKeySequence(Qt::Key_Equal)});
    QAction* zoom_out = action(T("Уменьшить", "Zoom Out"), QKeySequence(Qt::Key_Minus),
                               [this] { plot_->ZoomAround(2.0, plot_->view().center()); });
    back_ =
        action(T("Назад", "Back"), QKeySequence(Qt::ALT | Qt::Key_Left), [this] { plot_->Back(); });
    forward_ = action(T("Вперёд", "Forward"), QKeySequence(Qt::ALT | Qt::Key_Right),
                      [this] { plot_->Forward(); });
    zoom_cursors_ = action(T("Масштаб по A–B", "Zoom to A–B"), QKeySequence(Qt::Key_Z),
                           [this] { plot_->ZoomToCursors(); });
    zoom_cursors_->setObjectName(QStringLiteral("zoomToCursors"));
    box_ = action(T("Зум рамкой", "Box Zoom"), QKeySequence(Qt::SHIFT | Qt::Key_Z),
                  [this](bool on) { plot_->SetBoxZoom(on); });
    box_->setCheckable(true);
    QAction* auto_y = action(T("Подогнать Y во всех окнах", "Fit Y in All Panes"),
                             QKeySequence(Qt::Key_Y), [this] { plot_->SetAllAutoY(true); });
    legend_ = action(T("Легенда", "Legend"), QKeySequence(Qt::Key_L),
                     [this](bool on) { plot_->SetLegendsVisible(on); });
    legend_->setCheckable(true);
    legend_->setChecked(true);
    QAction* clear = action(T("Убрать курсоры", "Clear Cursors"), QKeySequence(Qt::Key_Escape),
                            [this] { plot_->ClearCursors(); });
    follow_ = action(T("Следить за файлом", "Follow"), QKeySequence(Qt::Key_F),
                     [this](bool on) { session_->SetFollow(on); });
    follow_->setCheckable(true);
    follow_->setObjectName(QStringLiteral("follow"));
    follow_->setToolTip(T("Показывать новые строки файла, который ещё пишется",
                          "Show the new rows of a file still being written"));
    for (QAction* a : {fit, zoom_in, zoom_out, zoom_cursors_, back_, forward_, box_, auto_y,
                       legend_, clear, follow_}) {
        // The plot's keys work wherever the focus is in the window, the table's arrows aside.
        a->setShortcutContext(Qt::WindowShortcut);
    }
    fit->setObjectName(QStringLiteral("fit"));
    back_->setObjectName(QStringLiteral("back"));
    forward_->setObjectName(QStringLiteral("forward"));
    box_->setObjectName(QStringLiteral("boxZoom"));
    csv->setObjectName(QStringLiteral("exportCsv"));

    QMenu* file = menuBar()->addMenu(T("Файл", "File"));
    file->addAction(open);
    file->addAction(add);
    file->addAction(reload);
    QMenu* exports = file->addMenu(T("Экспорт", "Export"));
    exports->addAction(csv);
    exports->addAction(cfg);
    exports->addAction(cfg_ascii);
    exports->addSeparator();
    exports->addAction(png);
    exports->addAction(pdf);
    exports->addAction(report_);
    exports->addSeparator();
    exports->addAction(range_only_);
    // Which side of the instrument transformers a COMTRADE record's values are shown on.
    QMenu* sides = file->addMenu(T("Значения COMTRADE", "COMTRADE Values"));
    auto* side_group = new QActionGroup(this);
    const std::pair<ComtradeOptions::Side, QString> side_names[] = {
        {ComtradeOptions::Side::AsRecorded, T("Как записаны", "As Recorded")},
        {ComtradeOptions::Side::Primary, T("Первичные", "Primary")},
        {ComtradeOptions::Side::Secondary, T("Вторичные", "Secondary")},
    };
    for (const auto& [side, name] : side_names) {
        QAction* a = sides->addAction(name);
        a->setCheckable(true);
        a->setChecked(side == session_->comtrade_side());
        side_group->addAction(a);
        connect(a, &QAction::triggered, this, [this, side = side] {
            session_->SetComtradeSide(side);
            // A record shown is read again on the side chosen.
            if (session_->has_data() && IsComtradePath(session_->path().toStdString()))
                Open(session_->path());
        });
    }
    file->addSeparator();
    file->addAction(close);
    QMenu* view = menuBar()->addMenu(T("Вид", "View"));
    for (QAction* a : {fit, zoom_in, zoom_out, zoom_cursors_, back_, forward_}) view->addAction(a);
    view->addSeparator();
    for (QAction* a : {box_, auto_y, legend_, clear}) view->addAction(a);
    view->addSeparator();
    view->addAction(follow_);
    QAction* analysis = analysis_->toggleViewAction();
    analysis->setObjectName(QStringLiteral("showAnalysis"));
    view->addSeparator();
    view->addAction(analysis);

    QToolBar* bar = addToolBar(T("Инструменты", "Tools"));
    bar->setObjectName(QStringLiteral("toolBar"));
    bar->setMovable(false);
    bar->addAction(open);
    bar->addSeparator();
    for (QAction* a : {back_, forward_, fit, zoom_in, zoom_out, box_, follow_}) bar->addAction(a);
    bar->addSeparator();
    auto* export_button = new QPushButton(T("Экспорт", "Export"), this);
    export_button->setObjectName(QStringLiteral("exportButton"));
    export_button->setFlat(true);
    export_button->setMenu(exports);
    bar->addWidget(export_button);
    export_button_ = export_button;
    bar->addSeparator();
    bar->addAction(analysis);
}

void ViewerWindow::Open(const QString& path) {
    Load(path, !session_->has_data());
}

void ViewerWindow::Load(const QString& path, bool close_on_failure) {
    if (path.isEmpty() || session_->loading() || session_->exporting()) return;
    reload_ = session_->has_data() && QFileInfo(path) == QFileInfo(session_->path());
    close_on_failure_ = close_on_failure;
    follow_wanted_ = follow_->isChecked();
    pending_path_ = path;
    SetInfo(T("Чтение ", "Reading ") + QFileInfo(path).fileName() + QStringLiteral(" ..."));
    session_->Open(path);
}

void ViewerWindow::OnLoaded(const QString& message) {
    if (!message.isEmpty()) {
        // The recording shown stays, and so does its status; a window that was opened
        // for this file alone has nothing to show and goes once the user has read why.
        SetInfo(session_->has_data() ? StatusText() : QString());
        if (follow_wanted_ && session_->has_data()) Follow(true);  // the file shown goes on
        UpdateActions();
        QString text = AboutFile(pending_path_, message);
        bool close_window = close_on_failure_ && !session_->has_data();
        emit loaded(text);
        ShowMessage(this, text, this, [this, close_window] {
            if (close_window) close();
        });
        return;
    }
    const RecordingData& data = session_->data();
    const RecordingInfo& info = data.info();
    const std::vector<QString> names = ChannelNames(info, QString());
    // A reload of the same recording keeps what the user set up: panes, hidden channels,
    // view and cursors, those of the recordings added too.
    const int first_rows = model_->FirstRow(1) >= 0 ? model_->FirstRow(1) : model_->rowCount();
    bool keep = reload_ && int(names.size()) == first_rows;
    const std::vector<int> all_panes = plot_->panes();
    std::vector<int> panes = keep ? all_panes : DefaultPanes(info);
    panes.resize(names.size(), 0);
    std::vector<bool> visible;
    for (int c = 0; keep && c < model_->rowCount(); ++c) visible.push_back(model_->Visible(c));
    QCPRange view = plot_->view();
    long a = plot_->cursor(ViewerPlot::kCursorA), b = plot_->cursor(ViewerPlot::kCursorB);
    std::vector<QColor> colours;
    const std::vector<QColor>& palette = ViewerPlot::Palette();
    for (size_t c = 0; c < names.size(); ++c) colours.push_back(palette[c % palette.size()]);

    model_->SetChannels(names, colours);
    plot_->SetRecording(session_, panes, colours);
    plot_->SetNames(names);
    for (size_t i = 0; i < added_.size(); ++i) ShowAdded(i);
    if (keep && all_panes.size() == size_t(model_->rowCount())) plot_->SetPanes(all_panes);
    model_->SetPanes(plot_->panes());
    if (!keep && !added_.empty()) plot_->SetView(plot_->Span(), false);
    UpdateRecordingsDock(false);
    if (keep) {
        visible.resize(size_t(model_->rowCount()), true);
        for (int c = 0; c < int(visible.size()); ++c) model_->SetVisible(c, visible[size_t(c)]);
        plot_->SetChannelsVisible(visible);
        plot_->SetView(view, false);
        plot_->SetCursor(ViewerPlot::kCursorA, a);
        plot_->SetCursor(ViewerPlot::kCursorB, b);
    }

    QFileInfo file(session_->path());
    setWindowTitle(file.fileName() +
                   (info.file_value.empty()
                        ? QString()
                        : QStringLiteral(" - ") + QString::fromStdString(info.file_value)));
    SetTitleVersion(this);
    SetInfo(StatusText());
    KeepFolder(kRecordingFolderKey, session_->path());
    OnViewChanged();
    OnCursorsChanged();
    analysis_->RecordingChanged();
    // A file still being written is followed from the start; a reload keeps the choice.
    Follow(session_->growing() || (reload_ && follow_wanted_));
    UpdateActions();
    emit loaded(QString());
}

void ViewerWindow::Follow(bool on) {
    session_->SetFollow(on);
    QSignalBlocker quiet(follow_);
    follow_->setChecked(session_->following());
}

void ViewerWindow::OnGrew(size_t old_rows) {
    // The scroll bar spans the longer file either way; a view that moved has updated it.
    if (!plot_->DataGrew(old_rows)) OnViewChanged();
    SetInfo(StatusText());
    // Readings at cursors placed on rows that were already there stay as they are, but
    // the statistics between them do not change either: nothing to redo.
}

QString ViewerWindow::StatusText() const {
    if (!session_->has_data()) return QString();
    const RecordingData& data = session_->data();
    std::string text = StrPrintf(Tr("строк: %zu, %.6f с, %.6g Гц", "%zu rows, %.6f s, %.6g Hz"),
                                 data.rows(), data.duration(), 1.0 / data.step());
    // A COMTRADE record's trigger, and the codes of the time zones of its clock times
    // (the 2013 revision's), as written.
    const RecordingInfo& info = data.info();
    if (std::isfinite(info.trigger_seconds))
        text += StrPrintf(Tr(", пуск: %.6f с", ", trigger at %.6f s"), info.trigger_seconds);
    if (!info.time_code.empty())
        text += StrPrintf(Tr(", код времени: %s, местный: %s", ", time code %s, local code %s"),
                          info.time_code.c_str(), info.local_code.c_str());
    if (!data.seq_errors().empty())
        text +=
            StrPrintf(Tr(", ошибки посл.: %zu", ", Seq. Errors: %zu"), data.seq_errors().size());
    if (data.short_rows())
        text += StrPrintf(Tr(", неполных строк: %zu", ", %zu short rows"), data.short_rows());
    if (data.pending_bytes())
        text += StrPrintf(Tr(", не показаны последние байты (%llu) - строка, которая ещё пишется "
                             "(F5 дочитывает)",
                             ", %llu bytes of a row being written not shown (F5 reads on)"),
                          static_cast<unsigned long long>(data.pending_bytes()));
    return QString::fromUtf8(text.c_str());
}

void ViewerWindow::OnViewChanged() {
    // The scroll bar spans the whole file in steps of the rows, at most a million steps.
    // Over all recordings shown, their offsets included.
    QCPRange v = plot_->view();
    const QCPRange span = plot_->Span();
    double total = session_->has_data() ? span.size() : 0.0;
    QSignalBlocker block(scroll_);
    if (total <= 0 || v.size() >= total) {
        scroll_->setRange(0, 0);
        return;
    }
    double step = session_->data().step();
    scroll_unit_ = std::max(step, total / 1e6);
    scroll_->setRange(0, int(std::lround((total - v.size()) / scroll_unit_)));
    scroll_->setPageStep(std::max(1, int(std::lround(v.size() / scroll_unit_))));
    scroll_->setSingleStep(std::max(1, scroll_->pageStep() / 10));
    scroll_->setValue(int(std::lround((v.lower - span.lower) / scroll_unit_)));
}

void ViewerWindow::OnScroll(int value) {
    QCPRange v = plot_->view();
    double lower = plot_->Span().lower + value * scroll_unit_;
    plot_->SetView(QCPRange(lower, lower + v.size()), false);
}

QString ViewerWindow::TimeText(double seconds) const {
    std::string text = StrPrintf(Tr("%.6f с", "%.6f s"), seconds);
    if (session_->has_data() && session_->data().info().has_start)
        text += " (" + FormatClock(ClockSeconds(session_->data().info().start) + seconds) + ")";
    return QString::fromStdString(text);
}

void ViewerWindow::OnCursorsChanged() {
    long a = plot_->cursor(ViewerPlot::kCursorA), b = plot_->cursor(ViewerPlot::kCursorB);
    const RecordingData* data = session_->has_data() ? &session_->data() : nullptr;
    // The list's statistics run over every row between the cursors: while a cursor is
    // dragged they are worked out once the pointer's moves queued so far are through.
    if (!readings_pending_) {
        readings_pending_ = true;
        QTimer::singleShot(0, this, [this] {
            readings_pending_ = false;
            UpdateReadings();
        });
    }
    recordings_->SetCanAlign(a >= 0 && b >= 0,
                             T("Поставьте курсор A на событие в первой записи, а курсор B - на "
                               "то же событие в этой",
                               "Put cursor A on the event in the first recording and cursor B "
                               "on the same event in this one"));
    if (!data || (a < 0 && b < 0)) {
        cursor_label_->setText(
            T("Курсоры: щелчок ставит A, Shift+щелчок ставит B; их линии можно тянуть.",
              "Cursors: a click places A, Shift+click places B; drag their lines to move them."));
        UpdateActions();
        return;
    }
    QString text;
    if (a >= 0) text += QStringLiteral("A: ") + TimeText(data->time(size_t(a)));
    if (b >= 0)
        text += (text.isEmpty() ? QString() : QStringLiteral("    ")) + QStringLiteral("B: ") +
                TimeText(data->time(size_t(b)));
    if (a >= 0 && b >= 0) {
        double dt = data->time(size_t(b)) - data->time(size_t(a));
        std::string d = StrPrintf(Tr("    \xce\x94t = %.6f с", "    \xce\x94t = %.6f s"), dt);
        if (dt != 0)
            d += StrPrintf(Tr("    1/\xce\x94t = %.6g Гц", "    1/\xce\x94t = %.6g Hz"),
                           1.0 / std::fabs(dt));
        text += QString::fromUtf8(d.c_str());
    }
    cursor_label_->setText(text);
    UpdateActions();
}

QString ViewerWindow::cursor_text() const {
    return cursor_label_->text();
}

void ViewerWindow::OnHovered(double seconds) {
    hover_label_->setText(std::isnan(seconds) || !session_->has_data()
                              ? QString()
                              : QStringLiteral("t = ") + TimeText(seconds));
}

void ViewerWindow::ShowPlotMenu(const QPoint& global, int pane) {
    if (!session_->has_data()) return;
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QPoint local = plot_->mapFromGlobal(global);
    if (pane >= 0) {
        QAction* fit_y = menu->addAction(T("Подгонять Y по видимому", "Fit Y to the View"));
        fit_y->setCheckable(true);
        fit_y->setChecked(plot_->AutoY(pane));
        connect(fit_y, &QAction::toggled, this,
                [this, pane](bool on) { plot_->SetAutoY(pane, on); });
        auto place = [this, local](int which) {
            QCPAxisRect* rect = plot_->axisRect(0);
            double seconds = rect->axis(QCPAxis::atBottom)->pixelToCoord(local.x());
            plot_->SetCursor(which, long(session_->data().RowAt(seconds)));
        };
        connect(menu->addAction(T("Поставить A здесь", "Place A Here")), &QAction::triggered, this,
                [place] { place(ViewerPlot::kCursorA); });
        connect(menu->addAction(T("Поставить B здесь", "Place B Here")), &QAction::triggered, this,
                [place] { place(ViewerPlot::kCursorB); });
    }
    connect(menu->addAction(T("Убрать курсоры", "Clear Cursors")), &QAction::triggered, plot_,
            &ViewerPlot::ClearCursors);
    connect(menu->addAction(T("Весь файл", "Whole File")), &QAction::triggered, plot_,
            &ViewerPlot::FitAll);
    menu->popup(global);
}

void ViewerWindow::ShowTableMenu(const QPoint& pos) {
    if (!session_->has_data()) return;
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QMenu* move = menu->addMenu(T("В окно", "Move to Pane"));
    for (int p = 0; p < plot_->pane_count(); ++p)
        connect(move->addAction(QString::number(p + 1)), &QAction::triggered, this,
                [this, p] { MoveSelectedTo(p); });
    connect(move->addAction(T("Новое окно", "New Pane")), &QAction::triggered, this,
            [this] { MoveSelectedTo(plot_->pane_count()); });
    auto show_all = [this](bool on) {
        for (int c = 0; c < model_->rowCount(); ++c) model_->SetVisible(c, on);
        plot_->SetChannelsVisible(std::vector<bool>(size_t(model_->rowCount()), on));
    };
    connect(menu->addAction(T("Показать все", "Show All")), &QAction::triggered, this,
            [show_all] { show_all(true); });
    connect(menu->addAction(T("Скрыть все", "Hide All")), &QAction::triggered, this,
            [show_all] { show_all(false); });
    menu->popup(table_->viewport()->mapToGlobal(pos));
}

void ViewerWindow::MoveSelectedTo(int pane) {
    std::vector<int> panes = plot_->panes();
    const auto rows = table_->selectionModel()->selectedRows();
    if (rows.isEmpty()) return;
    for (const QModelIndex& i : rows) panes[size_t(i.row())] = pane;
    plot_->SetPanes(panes);
    model_->SetPanes(plot_->panes());
}

bool ViewerWindow::ExportRangeOnly() const {
    return range_only_->isChecked();
}

void ViewerWindow::SetExportRangeOnly(bool on) {
    range_only_->setChecked(on);
}

void ViewerWindow::ExportRows(size_t* begin, size_t* end) const {
    *begin = 0;
    *end = session_->has_data() ? session_->data().rows() : 0;
    long a = plot_->cursor(ViewerPlot::kCursorA), b = plot_->cursor(ViewerPlot::kCursorB);
    if (ExportRangeOnly() && a >= 0 && b >= 0) {
        *begin = size_t(std::min(a, b));
        *end = size_t(std::max(a, b)) + 1;
    }
}

bool ViewerWindow::ExportTo(Format format, const QString& path, bool overwrite) {
    if (!session_->has_data()) return false;
    if (format == Format::Png || format == Format::Pdf) {
        if (!overwrite && PathExists(path.toStdString())) {
            ShowMessage(this, QString::fromStdString(
                                  StrPrintf("'%s' already exists", path.toStdString().c_str())));
            return false;
        }
        // The view, or A..B when the export covers the rows between the cursors; the
        // cursors' readout under the panes.
        QCPRange range = plot_->view();
        size_t begin, end;
        ExportRows(&begin, &end);
        if (begin != 0 || end != session_->data().rows())
            range = QCPRange(session_->data().time(begin), session_->data().time(end - 1));
        const bool cursors =
            plot_->cursor(ViewerPlot::kCursorA) >= 0 || plot_->cursor(ViewerPlot::kCursorB) >= 0;
        bool ok = plot_->SavePicture(path, range, cursors ? cursor_label_->text() : QString());
        QString message = ok ? QString()
                             : QString::fromStdString(
                                   StrPrintf("Write File '%s' error", path.toStdString().c_str()));
        if (!ok) ShowMessage(this, message);
        emit exported(message);
        return ok;
    }
    size_t begin, end;
    ExportRows(&begin, &end);
    ViewerSession::ExportKind kind =
        format == Format::Csv               ? ViewerSession::ExportKind::Csv
        : format == Format::CsvDecimalComma ? ViewerSession::ExportKind::CsvDecimalComma
        : format == Format::Comtrade        ? ViewerSession::ExportKind::ComtradeBinary
                                            : ViewerSession::ExportKind::ComtradeAscii;
    if (!session_->Export(kind, path, begin, end, overwrite)) return false;
    progress_->setValue(0);
    progress_->show();
    cancel_->show();
    UpdateActions();
    return true;
}

void ViewerWindow::AskExport(Format format) {
    if (!session_->has_data() || session_->exporting()) return;
    QFileInfo source(session_->path());
    QString base = Folder(kExportFolderKey, source.absolutePath()) + QLatin1Char('/') +
                   source.completeBaseName();
    size_t begin, end;
    ExportRows(&begin, &end);
    if (begin != 0 || end != session_->data().rows())
        base += QString::fromStdString(
            StrPrintf("_%.3f-%.3fs", session_->data().time(begin), session_->data().time(end - 1)));
    QString suffix, filter;
    // CSV comes in two styles, chosen by the dialog's type: the one a spreadsheet set to
    // the program's language opens as numbers is proposed.
    const QString csv = QStringLiteral("CSV (*.csv)");
    const QString csv_comma = T("CSV для таблиц: «;» и десятичная запятая (*.csv)",
                                "CSV for spreadsheets: \";\" and decimal comma (*.csv)");
    switch (format) {
        case Format::Csv:
        case Format::CsvDecimalComma:
            suffix = QStringLiteral("csv");
            filter = csv + QStringLiteral(";;") + csv_comma;
            break;
        case Format::Comtrade:
        case Format::ComtradeAscii:
            suffix = QStringLiteral("cfg");
            filter = QStringLiteral("COMTRADE (*.cfg)");
            break;
        case Format::Png:
            suffix = QStringLiteral("png");
            filter = QStringLiteral("PNG (*.png)");
            break;
        case Format::Pdf:
            suffix = QStringLiteral("pdf");
            filter = QStringLiteral("PDF (*.pdf)");
            break;
    }
    auto* dialog =
        new QFileDialog(this, T("Экспорт", "Export"), base + QLatin1Char('.') + suffix, filter);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setDefaultSuffix(suffix);
    if (suffix == QLatin1String("csv")) dialog->selectNameFilter(g_bRussian ? csv_comma : csv);
    // The dialog asks before it replaces the file chosen; a COMTRADE record's .dat goes
    // with its .cfg.
    connect(dialog, &QFileDialog::fileSelected, this, [=, this](const QString& path) {
        KeepFolder(kExportFolderKey, path);
        bool overwrite = PathExists(path.toStdString());
        Format chosen = format;
        if (suffix == QLatin1String("csv"))
            chosen =
                dialog->selectedNameFilter() == csv_comma ? Format::CsvDecimalComma : Format::Csv;
        ExportTo(chosen, path, overwrite);
    });
    dialog->open();
}

void ViewerWindow::AskReport() {
    const AnalysisResult* result = analysis_->result();
    if (!session_->has_data() || !result) return;
    QFileInfo source(session_->path());
    QString proposed = Folder(kExportFolderKey, source.absolutePath()) + QLatin1Char('/') +
                       source.completeBaseName() + QLatin1Char('_') +
                       QLatin1String(AnalysisDock::KindFileWord(result->kind)) +
                       QStringLiteral(".pdf");
    auto* dialog = new QFileDialog(this, T("Отчёт об испытании", "Test Report"), proposed,
                                   QStringLiteral("PDF (*.pdf)"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setDefaultSuffix(QStringLiteral("pdf"));
    // The dialog asks before it replaces the file chosen.
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString& path) {
        KeepFolder(kExportFolderKey, path);
        ExportReport(path);
    });
    dialog->open();
}

bool ViewerWindow::ExportReport(const QString& path) {
    if (!session_->has_data() || !analysis_->has_result()) return false;
    QString message;
    bool ok = false;
    try {
        ok = WriteTestReport(path, MakeTestReportPage(*session_, plot_, *analysis_), &message);
    } catch (const std::exception&) {
        message =
            QString::fromStdString(StrPrintf("Write File '%s' error", path.toStdString().c_str()));
    }
    if (ok)
        statusBar()->showMessage(T("Отчёт записан", "Report written"), 5000);
    else
        ShowMessage(this, message);
    emit exported(ok ? QString() : message);
    return ok;
}

QFileDialog* ViewerWindow::RecordingDialog(const QString& title) {
    auto* dialog = new QFileDialog(
        this, title,
        Folder(kRecordingFolderKey,
               session_->has_data() ? QFileInfo(session_->path()).absolutePath() : QString()),
        T("Записи (*.trd *.cfg *.CFG);;Записи COMTRADE (*.cfg *.CFG);;Все файлы (*)",
          "Recordings (*.trd *.cfg *.CFG);;COMTRADE records (*.cfg *.CFG);;All files (*)"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    return dialog;
}

void ViewerWindow::AskOpen() {
    QFileDialog* dialog = RecordingDialog(T("Открыть запись", "Open Recording"));
    dialog->setFileMode(QFileDialog::ExistingFile);
    // A file the user picks here that cannot be read leaves the window open for another.
    connect(dialog, &QFileDialog::fileSelected, this,
            [this](const QString& path) { Load(path, false); });
    dialog->open();
}

void ViewerWindow::UpdateActions() {
    bool data = session_->has_data();
    bool busy = session_->loading() || session_->exporting();
    for (QAction* a : need_data_) a->setEnabled(data && !busy);
    back_->setEnabled(data && plot_->CanGoBack());
    forward_->setEnabled(data && plot_->CanGoForward());
    bool both =
        plot_->cursor(ViewerPlot::kCursorA) >= 0 && plot_->cursor(ViewerPlot::kCursorB) >= 0;
    range_only_->setEnabled(both);
    zoom_cursors_->setEnabled(data && !busy && both);
    export_button_->setEnabled(data && !busy);
    report_->setEnabled(data && !busy && analysis_->has_result());
    follow_->setEnabled(data && !session_->loading() && session_->data().can_follow());
}

void ViewerWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (!LocalFiles(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void ViewerWindow::dropEvent(QDropEvent* event) {
    const QStringList files = LocalFiles(event->mimeData());
    if (files.isEmpty()) return;
    event->acceptProposedAction();
    qsizetype i = 0;
    if (!session_->has_data() && !session_->loading()) Open(files[i++]);
    for (; i < files.size(); ++i) AddRecording(files[i]);
}

void ViewerWindow::AskAdd() {
    QFileDialog* dialog = RecordingDialog(T("Добавить запись", "Add Recording"));
    dialog->setFileMode(QFileDialog::ExistingFiles);
    connect(dialog, &QFileDialog::filesSelected, this, [this](const QStringList& paths) {
        for (const QString& path : paths) AddRecording(path);
    });
    dialog->open();
}

void ViewerWindow::AddRecording(const QString& path) {
    if (path.isEmpty()) return;
    if (!session_->has_data() && !session_->loading()) {
        Open(path);
        return;
    }
    ViewerSession* session = nullptr;
    try {
        session = new ViewerSession(this);
    } catch (const std::exception&) {
        ShowMessage(this, AboutFile(path, T("Не хватает памяти", "Not enough memory")));
        return;
    }
    session->SetComtradeSide(session_->comtrade_side());
    connect(session, &ViewerSession::loaded, this,
            [this, session, path](const QString& message) { OnAddLoaded(session, path, message); });
    session->Open(path);
}

void ViewerWindow::OnAddLoaded(ViewerSession* session, const QString& path,
                               const QString& message) {
    if (!message.isEmpty()) {
        session->deleteLater();
        const QString text = AboutFile(path, message);
        ShowMessage(this, text);
        emit recordingAdded(text);
        return;
    }
    added_.push_back({session, path, 0.0});
    // Before the first recording has arrived it waits; OnLoaded shows it then.
    if (session_->has_data()) {
        // A view of the whole span goes on showing the whole span.
        const QCPRange span = plot_->Span(), view = plot_->view();
        const bool whole = view.lower <= span.lower && view.upper >= span.upper;
        ShowAdded(added_.size() - 1);
        model_->SetPanes(plot_->panes());
        if (whole) plot_->SetView(plot_->Span(), false);
        UpdateRecordingsDock(true);
        OnViewChanged();
        OnCursorsChanged();
    }
    emit recordingAdded(QString());
}

void ViewerWindow::ShowAdded(size_t i) {
    const Added& added = added_[i];
    const RecordingInfo& info = added.session->data().info();
    const int first = model_->rowCount();
    const std::vector<QString> names =
        ChannelNames(info, QFileInfo(added.path).completeBaseName() + QStringLiteral(": "));
    // The palette's colours go on where the channels before stopped; the recording's own
    // layout of panes goes below the panes there are.
    const std::vector<QColor>& palette = ViewerPlot::Palette();
    std::vector<QColor> colours;
    for (size_t c = 0; c < names.size(); ++c)
        colours.push_back(palette[(size_t(first) + c) % palette.size()]);
    std::vector<int> panes = DefaultPanes(info);
    for (int& p : panes) p += plot_->pane_count();
    const int file = plot_->AddRecording(added.session, added.offset, panes, colours, names);
    if (file > 0) model_->AddChannels(file, names, colours);
}

void ViewerWindow::UpdateRecordingsDock(bool show) {
    if (added_.empty() || !session_->has_data()) {
        recordings_->SetRows({});
        recordings_->hide();
        return;
    }
    auto tip = [](const QString& path, const RecordingInfo& info) {
        QString text = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
        const double start = StartSeconds(info);
        if (std::isfinite(start))
            text += T("\nНачало: ", "\nStart: ") + QString::fromStdString(FormatClock(start));
        return text;
    };
    const RecordingInfo& base = session_->data().info();
    const bool base_clock = std::isfinite(StartSeconds(base));
    std::vector<RecordingsDock::Row> rows;
    rows.push_back({session_->path(), tip(session_->path(), base), 0.0, QString()});
    for (const Added& added : added_) {
        const RecordingInfo& info = added.session->data().info();
        QString no_clock;
        if (!base_clock)
            no_clock = T("В первой записи не указано время её начала",
                         "The first recording does not say when it began");
        else if (!std::isfinite(StartSeconds(info)))
            no_clock = T("В этой записи не указано время её начала",
                         "This recording does not say when it began");
        rows.push_back({added.path, tip(added.path, info), added.offset, no_clock});
    }
    recordings_->SetRows(rows);
    OnCursorsChanged();  // "Align at cursor A" as the cursors allow
    if (show) recordings_->show();
}

double ViewerWindow::added_offset(int file) const {
    return file >= 1 && size_t(file) <= added_.size() ? added_[size_t(file) - 1].offset : 0.0;
}

void ViewerWindow::SetAddedOffset(int file, double seconds) {
    if (file < 1 || size_t(file) > added_.size() || !std::isfinite(seconds)) return;
    const double offset = Microseconds(seconds);
    added_[size_t(file) - 1].offset = offset;
    plot_->SetOffset(file, offset);
    recordings_->SetOffset(file, offset);
    OnViewChanged();
    OnCursorsChanged();  // the readings of the recording moved
}

void ViewerWindow::AlignAtCursor(int file) {
    const long a = plot_->cursor(ViewerPlot::kCursorA), b = plot_->cursor(ViewerPlot::kCursorB);
    if (file < 1 || size_t(file) > added_.size() || a < 0 || b < 0 || !session_->has_data()) return;
    const RecordingData& base = session_->data();
    const RecordingData& data = added_[size_t(file) - 1].session->data();
    if (data.rows() == 0) return;
    const size_t row = data.RowAt(base.time(size_t(b)) - added_[size_t(file) - 1].offset);
    SetAddedOffset(file, base.time(size_t(a)) - data.time(row));
}

void ViewerWindow::AlignByClock(int file) {
    if (file < 1 || size_t(file) > added_.size() || !session_->has_data()) return;
    const double base = StartSeconds(session_->data().info());
    const double start = StartSeconds(added_[size_t(file) - 1].session->data().info());
    if (std::isfinite(base) && std::isfinite(start)) SetAddedOffset(file, start - base);
}

void ViewerWindow::RemoveAdded(int file) {
    if (file < 1 || size_t(file) > added_.size()) return;
    ViewerSession* session = added_[size_t(file) - 1].session;
    plot_->RemoveRecording(file);
    model_->RemoveFile(file);
    model_->SetPanes(plot_->panes());
    added_.erase(added_.begin() + (file - 1));
    // Its graphs are gone from the plot: its columns may go.
    session->deleteLater();
    UpdateRecordingsDock(false);
    OnViewChanged();
    OnCursorsChanged();
}

long ViewerWindow::RowIn(int file, long row) const {
    if (row < 0 || !session_->has_data() || file < 1 || size_t(file) > added_.size()) return -1;
    const Added& added = added_[size_t(file) - 1];
    const RecordingData& data = added.session->data();
    if (data.rows() == 0) return -1;
    const double t = session_->data().time(size_t(row)) - added.offset;
    const double half = data.step() / 2;
    if (t < -half || t > data.duration() + half) return -1;
    return long(data.RowAt(t));
}

void ViewerWindow::UpdateReadings() {
    const long a = plot_->cursor(ViewerPlot::kCursorA), b = plot_->cursor(ViewerPlot::kCursorB);
    model_->SetReadings(session_->has_data() ? &session_->data() : nullptr, a, b);
    if (!session_->has_data()) return;
    for (size_t i = 0; i < added_.size(); ++i) {
        const int file = int(i) + 1;
        model_->SetReadings(file, &added_[i].session->data(), RowIn(file, a), RowIn(file, b));
    }
}

}  // namespace korvex::gui
