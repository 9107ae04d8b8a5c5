// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/LiveWindow.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QScreen>
#include <QVBoxLayout>

#include "app/Language.h"
#include "app/StrPrintf.h"
#include "app/Viewer.h"
#include "gui/AboutDialog.h"
#include "gui/Captions.h"
#include "gui/DialogUnits.h"
#include "gui/MessageBoxes.h"
#include "gui/PanelPlacement.h"
#include "gui/Texts.h"

namespace korvex::gui {

namespace {

// A widget hidden by the window's rules keeps its place, so that nothing moves.
// Widths of the lines under the legends and of the time scale, in dialog units; with
// "Write to File" they fill the graph's width.
constexpr int kLinesWidth = 380;
constexpr int kTimeScaleWidth = 130;

template <typename W>
W* Keep(W* w) {
    QSizePolicy p = w->sizePolicy();
    p.setRetainSizeWhenHidden(true);
    w->setSizePolicy(p);
    return w;
}

}  // namespace

TimeScaleLabels::TimeScaleLabels(QWidget* parent) : QWidget(parent) {
    zero_ = new QLabel(QStringLiteral("0"), this);
    tenth_ = new QLabel(QStringLiteral("0.1 sec"), this);
    whole_ = new QLabel(QStringLiteral("1 sec"), this);
    tenth_->setObjectName(QStringLiteral("tenth"));
    whole_->setObjectName(QStringLiteral("whole"));
    whole_->setAlignment(Qt::AlignRight);
}

void TimeScaleLabels::SetTimes(const QString& tenth, const QString& whole) {
    tenth_->setText(tenth);
    whole_->setText(whole);
    Place();
}

QSize TimeScaleLabels::sizeHint() const {
    int h = std::max(
        {zero_->sizeHint().height(), tenth_->sizeHint().height(), whole_->sizeHint().height()});
    return QSize(
        zero_->sizeHint().width() + tenth_->sizeHint().width() + whole_->sizeHint().width(), h);
}

void TimeScaleLabels::resizeEvent(QResizeEvent*) {
    Place();
}

void TimeScaleLabels::Place() {
    int h = height();
    QSize z = zero_->sizeHint(), t = tenth_->sizeHint(), w = whole_->sizeHint();
    zero_->setGeometry(0, 0, z.width(), h);
    int tx = std::max(z.width() + 2, width() / 10 - t.width() / 2);
    tenth_->setGeometry(tx, 0, t.width(), h);
    whole_->setGeometry(width() - w.width(), 0, w.width(), h);
}

LiveWindow::LiveWindow(std::unique_ptr<OscSession> session, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                          Qt::WindowTitleHint | Qt::CustomizeWindowHint),
      session_(std::move(session)) {
    setWindowIcon(ProgramIcon());
    BuildControls();
    SetUpFromSession();
    connect(session_.get(), &OscSession::dataChanged, this, &LiveWindow::OnData);
    connect(session_.get(), &OscSession::recordingChanged, this, &LiveWindow::RefreshRecording);
    connect(session_.get(), &OscSession::stopped, this, &LiveWindow::OnStopped);
    connect(session_.get(), &OscSession::screenChanged, this, [this] {
        for (auto* p : panels_)
            if (p) p->Refresh();
    });
}

LiveWindow::~LiveWindow() {
    session_->Stop();
}

void LiveWindow::BuildControls() {
    DialogUnits du(this);
    auto* grid = new QGridLayout(this);
    grid->setSizeConstraint(QLayout::SetFixedSize);
    grid->setContentsMargins(du.X(7), du.Y(7), du.X(4), du.Y(5));
    grid->setHorizontalSpacing(du.X(4));
    grid->setVerticalSpacing(du.Y(1));
    BuildGraphs(grid, du);
    grid->addLayout(BuildLines(du), 3, 0, Qt::AlignLeft);
    grid->addLayout(BuildLimits(du), 0, 1);
    grid->addLayout(BuildButtons(du), 1, 1, 3, 1);

    for (auto* b : findChildren<QPushButton*>()) b->setAutoDefault(false);
    // File names and values are shown as they are, never as markup.
    for (auto* l : findChildren<QLabel*>()) l->setTextFormat(Qt::PlainText);
    Connect();
}

// The main graph, its time scale and the legends with their check boxes, in column 0.
void LiveWindow::BuildGraphs(QGridLayout* grid, const DialogUnits& du) {
    graph_ = new OscGraph(this);
    graph_->setObjectName(QStringLiteral("graph"));
    graph_->setFixedSize(du.Size(616, 257));
    grid->addWidget(graph_, 0, 0);
    time_labels_ = new TimeScaleLabels(this);
    time_labels_->setFixedWidth(graph_->width());
    grid->addWidget(time_labels_, 1, 0, Qt::AlignLeft);

    auto* legends = new QGridLayout;
    legends->setHorizontalSpacing(du.X(1));
    legends->setVerticalSpacing(du.Y(1));
    for (int i = 0; i < kMaxShownChannels; ++i) {
        legends_[i] = Keep(new LegendGraph(this));
        legends_[i]->setFixedSize(du.Size(40, 25));
        checks_[i] = Keep(new QCheckBox(this));
        checks_[i]->setObjectName(QStringLiteral("channel%1").arg(i));
        checks_[i]->setMinimumWidth(du.X(39));
        legends->addWidget(legends_[i], 0, i);
        legends->addWidget(checks_[i], 1, i);
        connect(checks_[i], &QCheckBox::toggled, this, [this, i](bool on) { OnChannelBox(i, on); });
    }
    grid->addLayout(legends, 2, 0, Qt::AlignLeft);
}

// Under the legends: the three lines, the time scale, "Write to File".
QLayout* LiveWindow::BuildLines(const DialogUnits& du) {
    auto* bottom = new QHBoxLayout;
    bottom->setSpacing(du.X(4));
    auto* lines = new QVBoxLayout;
    file_line_ = new QLabel(this);
    file_line_->setObjectName(QStringLiteral("fileLine"));
    status_line_ = new QLabel(this);
    status_line_->setObjectName(QStringLiteral("statusLine"));
    error_line_ = new QLabel(this);
    error_line_->setObjectName(QStringLiteral("errorLine"));
    error_line_->setStyleSheet(QStringLiteral("color:#b00000;"));
    // Fixed widths: a long path or a long count never widens the window.
    for (auto* l : {file_line_, status_line_, error_line_}) {
        l->setFixedWidth(du.X(kLinesWidth));
        lines->addWidget(l);
    }
    lines->addStretch(1);
    bottom->addLayout(lines, 1);

    auto* time_box = new QGroupBox(QStringLiteral("Time Scale"), this);
    auto* time_grid = new QGridLayout(time_box);
    more_points_ = new QPushButton(QStringLiteral("--> |||"), time_box);
    more_points_->setObjectName(QStringLiteral("morePoints"));
    fewer_points_ = new QPushButton(QStringLiteral("<-- | | |"), time_box);
    fewer_points_->setObjectName(QStringLiteral("fewerPoints"));
    for (auto* b : {more_points_, fewer_points_}) b->setMinimumSize(du.Size(50, 14));
    time_text_ = new QLabel(time_box);
    time_text_->setObjectName(QStringLiteral("timeText"));
    time_text_->setAlignment(Qt::AlignCenter);
    time_grid->addWidget(more_points_, 0, 0);
    time_grid->addWidget(fewer_points_, 0, 1);
    time_grid->addWidget(time_text_, 1, 0, 1, 2);
    time_box->setFixedWidth(du.X(kTimeScaleWidth));
    bottom->addWidget(time_box, 0, Qt::AlignTop);

    auto* write_column = new QVBoxLayout;
    write_ = Keep(new QCheckBox(QStringLiteral("Write to File"), this));
    write_->setObjectName(QStringLiteral("writeToFile"));
    write_note_ = Keep(new QLabel(
        QString::fromUtf8(Tr("Запись выключена, приём идёт: отображение возобновится при "
                             "включении записи",
                             "Recording is off, acquisition goes on: the display resumes when "
                             "recording is switched on"))));
    write_note_->setObjectName(QStringLiteral("writeNote"));
    write_note_->setWordWrap(true);
    // The rest of the graph's width, beside and under the box.
    write_note_->setFixedWidth(du.X(616 - kLinesWidth - kTimeScaleWidth) - 2 * du.X(4));
    write_column->addWidget(write_);
    write_column->addWidget(write_note_);
    write_column->addStretch(1);
    bottom->addLayout(write_column);
    return bottom;
}

// Right of the graph: the Y limits, their arrows and auto-scale.
QLayout* LiveWindow::BuildLimits(const DialogUnits& du) {
    auto* y_panel = new QVBoxLayout;
    auto limit_row = [&](QLineEdit*& edit, QToolButton*& up, QToolButton*& down, const char* name) {
        auto* row = new QHBoxLayout;
        row->setSpacing(0);
        edit = new QLineEdit(this);
        edit->setObjectName(QString::fromLatin1(name));
        edit->setReadOnly(true);
        // Wide enough for "%lf" of a limit beyond 100 ("-123.456789").
        edit->setFixedWidth(du.X(46));
        auto* arrows = new QVBoxLayout;
        arrows->setSpacing(0);
        up = new QToolButton(this);
        up->setArrowType(Qt::UpArrow);
        down = new QToolButton(this);
        down->setArrowType(Qt::DownArrow);
        for (auto* b : {up, down}) {
            b->setFixedSize(du.X(10), edit->sizeHint().height() / 2);
            arrows->addWidget(b);
        }
        row->addWidget(edit);
        row->addLayout(arrows);
        y_panel->addLayout(row);
    };
    limit_row(y_max_, y_max_up_, y_max_down_, "yMax");
    auto_scale_ = new QCheckBox(QStringLiteral("Auto\nScale"), this);
    auto_scale_->setObjectName(QStringLiteral("autoScale"));
    y_panel->addWidget(auto_scale_);
    y_panel->addStretch(1);
    limit_row(y_min_, y_min_up_, y_min_down_, "yMin");
    return y_panel;
}

// SELVO, the viewer, About and Exit, under the Y limits.
QLayout* LiveWindow::BuildButtons(const DialogUnits& du) {
    auto* buttons = new QVBoxLayout;
    selvo_button_ = Keep(new QPushButton(QStringLiteral("SELVO"), this));
    selvo_button_->setObjectName(QStringLiteral("selvo"));
    viewer_button_ =
        new QPushButton(FindViewer().empty() ? QString::fromUtf8(Tr("Просмотр", "Viewer"))
                                             : QStringLiteral("Trendal"),
                        this);
    viewer_button_->setObjectName(QStringLiteral("viewer"));
    viewer_button_->setToolTip(QString::fromUtf8(
        Tr("Открыть эту запись в окне просмотра", "Open this recording in a viewer window")));
    about_button_ = new QPushButton(QString::fromUtf8(Tr("О программе...", "About...")), this);
    about_button_->setObjectName(QStringLiteral("about"));
    exit_button_ = new QPushButton(QStringLiteral("Exit"), this);
    exit_button_->setObjectName(QStringLiteral("exit"));
    buttons->addWidget(selvo_button_);
    buttons->addWidget(viewer_button_);
    buttons->addStretch(1);
    buttons->addWidget(about_button_);
    buttons->addWidget(exit_button_);
    for (auto* b : {selvo_button_, viewer_button_, about_button_, exit_button_}) {
        b->setMinimumSize(du.Size(45, 14));
        b->setAutoDefault(false);
    }
    return buttons;
}

void LiveWindow::Connect() {
    connect(more_points_, &QPushButton::clicked, this, &LiveWindow::MorePoints);
    connect(fewer_points_, &QPushButton::clicked, this, &LiveWindow::FewerPoints);
    connect(y_max_up_, &QToolButton::clicked, this, [this] { StepYMax(-1); });
    connect(y_max_down_, &QToolButton::clicked, this, [this] { StepYMax(1); });
    connect(y_min_up_, &QToolButton::clicked, this, [this] { StepYMin(-1); });
    connect(y_min_down_, &QToolButton::clicked, this, [this] { StepYMin(1); });
    connect(auto_scale_, &QCheckBox::toggled, this, &LiveWindow::SetAutoScale);
    connect(write_, &QCheckBox::toggled, this, [this](bool on) {
        std::string err;
        if (!session_->SetWriting(on, &err)) {
            // Writing stays as it was; the box shows why.
            const QSignalBlocker block(write_);
            write_->setChecked(session_->writing());
            ShowMessage(this, QString::fromStdString(err));
        }
    });
    connect(selvo_button_, &QPushButton::clicked, this, &LiveWindow::ShowPanels);
    connect(viewer_button_, &QPushButton::clicked, this, [this] {
        std::string err;
        if (RunViewer(session_->file(), &err) != 0) ShowMessage(this, QString::fromStdString(err));
    });
    connect(about_button_, &QPushButton::clicked, this, [this] {
        auto* about = new AboutDialog(this);
        about->setAttribute(Qt::WA_DeleteOnClose);
        about->open();
    });
    connect(exit_button_, &QPushButton::clicked, this, &QWidget::close);
}

void LiveWindow::keyPressEvent(QKeyEvent* event) {
    // Esc as a key of this window only: a window-wide shortcut would also fire while a
    // front panel (a tool window of this one) is active, where Esc only hides the panel.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void LiveWindow::SetUpFromSession() {
    OscSession& s = *session_;
    const RecordingHeader& h = s.header();
    setWindowTitle(QString());
    SetTitleVersion(this);
    if (!h.file_value.empty())
        setWindowTitle(windowTitle() + QStringLiteral("  -  ") + Q(h.file_value));

    OscState& osc = s.osc();
    if (s.live() && osc.display_present) {
        std::string port = s.port_name();
        if (osc.selvo)
            panels_[0] = new FrontPanelDialog(s, FrontPanelDialog::Model::kSelvo, port, this);
        if (osc.selvom)
            panels_[1] = new FrontPanelDialog(s, FrontPanelDialog::Model::kSelvoM, port, this);
    }
    selvo_button_->setVisible(s.live() && osc.display_present);
    write_->setVisible(s.live());
    write_->blockSignals(true);
    write_->setChecked(true);
    write_->blockSignals(false);
    write_note_->setVisible(false);

    for (int i = 0; i < kMaxShownChannels; ++i) {
        bool used = i < h.shown;
        legends_[i]->setVisible(used);
        checks_[i]->setVisible(used);
        checks_[i]->setText(QString());
        if (!used) continue;
        checks_[i]->blockSignals(true);
        checks_[i]->setChecked(true);
        checks_[i]->blockSignals(false);
        legends_[i]->Show(ChannelColour(s.ChannelColour(i)), Q(h.names[size_t(i)]),
                          s.follower().buffer(i));
    }
    graph_->SetYRange(-1.0, 1.0);
    auto_scale_->setChecked(true);
    SetAutoScale(true);
    graph_->RemoveAllPlots();
    for (int i = 0; i < h.shown; ++i)
        graph_->PlotY(graph_->AddPlot(ChannelColour(s.ChannelColour(i))), s.follower().buffer(i));
    zoom_ = 4;
    file_line_->setText(s.FileLine());
    RefreshTimeLabels();
}

void LiveWindow::RefreshTimeLabels() {
    double rate = session_->follower().sample_rate();
    double t = 4000.0 / (zoom_ * rate);
    int points = 4000 / zoom_;
    graph_->SetXRange(4000 - points, 3999.0);
    graph_->SetXCaption(Q(StrPrintf("Screen Time = %.1lf sec", t)));
    time_text_->setText(Q(StrPrintf("T=%.1lf sec (%d points)", t, points)));
    time_labels_->SetTimes(Q(StrPrintf("%.2lf sec", t / 10)), Q(StrPrintf("%.1lf sec", t)));
    more_points_->setEnabled(zoom_ > 1);
    fewer_points_->setEnabled(zoom_ < 16);
}

void LiveWindow::MorePoints() {
    if (zoom_ < 2) return;
    zoom_ /= 2;
    RefreshTimeLabels();
    graph_->Redraw();
}

void LiveWindow::FewerPoints() {
    if (zoom_ >= 16) return;
    zoom_ *= 2;
    RefreshTimeLabels();
    graph_->Redraw();
}

void LiveWindow::SetAutoScale(bool on) {
    graph_->SetAutoScale(on);
    for (QWidget* w : std::initializer_list<QWidget*>{y_max_up_, y_max_down_, y_min_up_,
                                                      y_min_down_, y_max_, y_min_})
        w->setEnabled(!on);
    if (on) {
        y_max_->clear();
        y_min_->clear();
    } else {
        y_max_->setText(Q(StrPrintf("%lf", graph_->YMax())));
        y_min_->setText(Q(StrPrintf("%lf", graph_->YMin())));
    }
}

void LiveWindow::StepYMax(int d) {
    double max = graph_->YMax(), min = graph_->YMin();
    max += (max - min) * 0.1 * -d;
    graph_->SetYRange(min, max);
    y_max_->setText(Q(StrPrintf("%lf", max)));
    graph_->Redraw();
}

void LiveWindow::StepYMin(int d) {
    double max = graph_->YMax(), min = graph_->YMin();
    min += (max - min) * 0.1 * -d;
    graph_->SetYRange(min, max);
    y_min_->setText(Q(StrPrintf("%lf", min)));
    graph_->Redraw();
}

void LiveWindow::ShowPanels() {
    // The place is given before the panel is shown: a window manager places a window as
    // it maps it (a tool window over its owner) and may not honour a move that comes after.
    QRect frame = frameGeometry();
    QRect screen = this->screen() ? this->screen()->availableGeometry() : QRect();
    // A panel not yet shown has no frame: it gets the one this window has, so that the
    // next panel clears its title bar.
    const QSize decoration = frame.size() - geometry().size();
    std::vector<FrontPanelDialog*> shown;
    std::vector<QSize> sizes;
    for (auto* p : panels_) {
        if (!p) continue;
        if (!p->isVisible()) p->adjustSize();
        shown.push_back(p);
        sizes.push_back(p->frameGeometry().size().expandedTo(p->size() + decoration));
    }
    // Without room beside the window the panels may hide the plot's oldest part: its
    // left 40 %, clear of the newest data, the Y limits and the buttons at the right.
    QRect plot(graph_->mapToGlobal(QPoint(0, 0)), graph_->size());
    plot.setWidth(plot.width() * 2 / 5);
    std::vector<QPoint> at = PlacePanels(screen, frame, plot, sizes);
    for (size_t i = 0; i < shown.size(); ++i) {
        shown[i]->move(at[i]);
        shown[i]->show();
        shown[i]->raise();
    }
}

void LiveWindow::RefreshRecording() {
    bool on = session_->writing();
    write_->blockSignals(true);
    write_->setChecked(on);
    write_->blockSignals(false);
    write_note_->setVisible(!on);
    if (on) file_line_->setText(session_->FileLine());
}

void LiveWindow::OnChannelBox(int c, bool shown) {
    graph_->SetPlotVisible(c, shown);
    Replot();
}

void LiveWindow::Replot() {
    const OscFollower& f = session_->follower();
    for (int c = 0; c < session_->header().shown; ++c) graph_->PlotY(c, f.buffer(c));
    graph_->Redraw();
}

void LiveWindow::OnData(const OscFollower::Tick& t) {
    if (t.rate_changed) RefreshTimeLabels();
    if (t.error_changed) error_line_->setText(Q(session_->follower().error_line()));
    for (int k = 0; k < t.captions; ++k)
        checks_[t.caption_channel[k]]->setText(Q(StrPrintf("%.3f", t.caption_value[k])));
    if (t.status_changed) status_line_->setText(session_->StatusLine());
    if (t.display_changed) Replot();
}

void LiveWindow::OnStopped(const QString& message) {
    if (closing_) return;
    // The worker stopped on its own: its message over the window, then the window goes.
    ShowMessages(this, message.isEmpty() ? QStringList() : QStringList{message}, this,
                 [this] { close(); });
}

void LiveWindow::closeEvent(QCloseEvent* event) {
    closing_ = true;
    session_->Stop();
    for (auto*& p : panels_) {
        if (p) p->hide();
    }
    event->accept();
}

}  // namespace korvex::gui
