#include "gui/VestaDlg.h"

#include <QApplication>
#include <QThread>

#include "app/ErrorReport.h"
#include "app/StrPrintf.h"
#include "app/Viewer.h"
#include "gui/AboutDlg.h"
#include "gui/Captions.h"
#include "gui/DialogUnits.h"

namespace korvex::gui {

namespace {
QString Q(const std::string& s) {
    return QString::fromUtf8(s.c_str());
}
}  // namespace

CVestaDlg::CVestaDlg(LinkSettings& link, OscState& osc, QWidget* parent)
    : QDialog(parent), link_(link), osc_(osc) {
    setWindowIcon(ProgramIcon());
    setWindowFlags(windowFlags() | Qt::WindowMinimizeButtonHint);
    BuildControls();
    tick_.setInterval(30);
    connect(&tick_, &QTimer::timeout, this, &CVestaDlg::OnTick);
    clock_.start();
}

CVestaDlg::~CVestaDlg() {
    tick_.stop();
    StopWorker();
    osc_.on_screen_changed = nullptr;
}

// The worker may be showing a message, which waits for this thread: wait for it while
// processing events, never with a plain join.
void CVestaDlg::StopWorker() {
    link_.live_mode = 0;
    if (!worker_.running()) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    while (!osc_.done) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
        QThread::msleep(5);
    }
    worker_.Join();
    QApplication::restoreOverrideCursor();
}

void CVestaDlg::BuildControls() {
    DialogUnits du(this);
    graph_ = new OscGraph(this);
    du.Place(graph_, 7, 7, 616, 255);
    auto* zero = new QLabel(QStringLiteral("0"), this);
    du.Place(zero, 7, 262, 30, 8);
    tenth_label_ = new QLabel(QStringLiteral("0.1 sec"), this);
    du.Place(tenth_label_, 7 + 61.6 - 15, 262, 40, 8);
    screen_label_ = new QLabel(QStringLiteral("1 sec"), this);
    screen_label_->setAlignment(Qt::AlignRight);
    du.Place(screen_label_, 563, 262, 60, 8);
    for (int i = 0; i < kMaxShownChannels; ++i) {
        legends_[i] = new LegendGraph(this);
        du.Place(legends_[i], 7 + 41 * i, 272, 40, 25);
        checks_[i] = new QCheckBox(this);
        du.Place(checks_[i], 9 + 41 * i, 298, 39, 10);
    }
    file_line_ = new QLabel(this);
    du.Place(file_line_, 7, 312, 420, 9);
    status_line_ = new QLabel(this);
    du.Place(status_line_, 7, 323, 420, 9);
    error_line_ = new QLabel(this);
    error_line_->setStyleSheet(QStringLiteral("color:#b00000;"));
    du.Place(error_line_, 7, 334, 200, 9);

    auto* time_box = new QGroupBox(QStringLiteral("Time Scale"), this);
    du.Place(time_box, 432, 308, 130, 40);
    more_points_ = new QPushButton(QStringLiteral("--> |||"), this);
    du.Place(more_points_, 440, 318, 50, 14);
    fewer_points_ = new QPushButton(QStringLiteral("<-- | | |"), this);
    du.Place(fewer_points_, 504, 318, 50, 14);
    time_text_ = new QLabel(this);
    time_text_->setAlignment(Qt::AlignCenter);
    du.Place(time_text_, 436, 335, 122, 9);

    y_max_ = new QLineEdit(this);
    y_max_->setReadOnly(true);
    du.Place(y_max_, 627, 7, 34, 12);
    y_max_up_ = new QToolButton(this);
    y_max_up_->setArrowType(Qt::UpArrow);
    du.Place(y_max_up_, 662, 7, 10, 6);
    y_max_down_ = new QToolButton(this);
    y_max_down_->setArrowType(Qt::DownArrow);
    du.Place(y_max_down_, 662, 13, 10, 6);
    auto_scale_ = new QCheckBox(QStringLiteral("Auto\nScale"), this);
    du.Place(auto_scale_, 627, 24, 45, 20);
    y_min_ = new QLineEdit(this);
    y_min_->setReadOnly(true);
    du.Place(y_min_, 627, 244, 34, 12);
    y_min_up_ = new QToolButton(this);
    y_min_up_->setArrowType(Qt::UpArrow);
    du.Place(y_min_up_, 662, 244, 10, 6);
    y_min_down_ = new QToolButton(this);
    y_min_down_->setArrowType(Qt::DownArrow);
    du.Place(y_min_down_, 662, 250, 10, 6);

    write_ = new QCheckBox(QStringLiteral("Write to File"), this);
    du.Place(write_, 570, 312, 60, 10);
    selvo_button_ = new QPushButton(QStringLiteral("SELVO"), this);
    du.Place(selvo_button_, 627, 272, 45, 14);
    viewer_button_ = new QPushButton(
        FindViewer().empty() ? QStringLiteral("Viewer") : QStringLiteral("Trendal"), this);
    viewer_button_->setToolTip(QStringLiteral("Open this recording in a viewer window"));
    du.Place(viewer_button_, 627, 290, 45, 14);
    about_button_ = new QPushButton(QStringLiteral("About..."), this);
    du.Place(about_button_, 627, 312, 45, 14);
    exit_button_ = new QPushButton(QStringLiteral("Exit"), this);
    du.Place(exit_button_, 627, 334, 45, 14);
    for (auto* b : findChildren<QPushButton*>()) b->setAutoDefault(false);
    // File names and values are shown as they are, never as markup.
    for (auto* l : findChildren<QLabel*>()) l->setTextFormat(Qt::PlainText);
    setFixedSize(du.Size(676, 354));

    connect(more_points_, &QPushButton::clicked, this, &CVestaDlg::OnMorePoints);
    connect(fewer_points_, &QPushButton::clicked, this, &CVestaDlg::OnFewerPoints);
    connect(y_max_up_, &QToolButton::clicked, this, [this] { StepYMax(-1); });
    connect(y_max_down_, &QToolButton::clicked, this, [this] { StepYMax(1); });
    connect(y_min_up_, &QToolButton::clicked, this, [this] { StepYMin(-1); });
    connect(y_min_down_, &QToolButton::clicked, this, [this] { StepYMin(1); });
    connect(auto_scale_, &QCheckBox::toggled, this, &CVestaDlg::SetAutoScale);
    connect(write_, &QCheckBox::toggled, this, &CVestaDlg::SetWriting);
    connect(selvo_button_, &QPushButton::clicked, this, &CVestaDlg::ShowPanels);
    connect(viewer_button_, &QPushButton::clicked, this, [this] { RunViewer(link_.file_arg); });
    connect(about_button_, &QPushButton::clicked, this, [this] {
        CAboutDlg about(this);
        about.exec();
    });
    connect(exit_button_, &QPushButton::clicked, this, &CVestaDlg::Exit);
}

bool CVestaDlg::SetUp() {
    setWindowTitle(QString());
    SetTitleVersion(this);
    file_line_->clear();
    status_line_->clear();
    error_line_->clear();
    write_->blockSignals(true);
    write_->setChecked(true);
    write_->blockSignals(false);

    osc_.Reset();
    if (link_.live_mode) {
        if (OSC_Open(link_, osc_) != 0) return false;
        if (osc_.display_present) {
            if (osc_.selvo) selvo_ = std::make_unique<CSelvoDlg>(osc_, link_.port_name);
            if (osc_.selvom) selvom_ = std::make_unique<CSelvoMDlg>(osc_);
            osc_.on_screen_changed = [this] {
                QMetaObject::invokeMethod(
                    this, [this] { OnScreen(); }, Qt::QueuedConnection);
            };
        }
        worker_.Start(link_, osc_);
    }
    selvo_button_->setVisible(osc_.display_present);
    write_->setVisible(link_.live_mode != 0);

    uint64_t consumed = 0;
    // A recording being viewed is finished: its last line counts even without a line end.
    const bool finished = !link_.live_mode;
    if (ReadRecordingHeader(link_.file_arg, &header_, &consumed, nullptr, finished) != 0) {
        Fail();
        return false;
    }
    if (!header_.file_value.empty())
        setWindowTitle(windowTitle() + QStringLiteral("  -  ") + Q(header_.file_value));
    zoom_ = 4;
    WriteFileLine();

    for (int i = 0; i < kMaxShownChannels; ++i) {
        bool used = i < header_.shown;
        legends_[i]->setVisible(used);
        checks_[i]->setVisible(used);
        checks_[i]->setText(QString());
        visible_[i] = used;
        if (!used) continue;
        checks_[i]->setChecked(true);
        uint32_t colour = i < int(osc_.channels.size()) ? osc_.channels[size_t(i)].colour
                                                        : DefaultChannelColour(i);
        legends_[i]->Show(ChannelColour(colour), Q(header_.names[size_t(i)]), follower_.buffer(i));
    }

    graph_->SetYRange(-1.0, 1.0);
    auto_scale_->setChecked(true);
    SetAutoScale(true);
    graph_->RemoveAllPlots();
    for (int i = 0; i < header_.shown; ++i) {
        uint32_t colour = i < int(osc_.channels.size()) ? osc_.channels[size_t(i)].colour
                                                        : DefaultChannelColour(i);
        graph_->PlotY(graph_->AddPlot(ChannelColour(colour)), follower_.buffer(i));
    }

    double rate = link_.live_mode ? osc_.sample_rate : 1.0;
    if (!follower_.Open(link_.file_arg, consumed, header_.shown, rate, NowMs(), nullptr,
                        finished)) {
        Fail();
        return false;
    }
    RefreshTimeLabels();
    tick_.start();
    return true;
}

// Set-up failed after the stream may have started: stop it before the window goes.
void CVestaDlg::Fail() {
    StopWorker();
    OSC_CloseWriter(osc_);
}

int CVestaDlg::exec() {
    if (!SetUp()) return QDialog::Rejected;
    return QDialog::exec();
}

void CVestaDlg::WriteFileLine() {
    std::string extra =
        header_.num_chan > header_.shown ? StrPrintf(" (%d)", header_.num_chan) : "";
    file_line_->setText(Q(StrPrintf("File: %s ,  %d%s channels", link_.file_arg.c_str(),
                                    header_.shown, extra.c_str())));
}

void CVestaDlg::RefreshTimeLabels() {
    double rate = follower_.sample_rate();
    double t = 4000.0 / (zoom_ * rate);
    int points = 4000 / zoom_;
    graph_->SetXRange(4000 - points, 3999.0);
    graph_->SetXCaption(Q(StrPrintf("Screen Time = %.1lf sec", t)));
    time_text_->setText(Q(StrPrintf("T=%.1lf sec (%d points)", t, points)));
    tenth_label_->setText(Q(StrPrintf("%.2lf sec", t / 10)));
    screen_label_->setText(Q(StrPrintf("%.1lf sec", t)));
    more_points_->setEnabled(zoom_ > 1);
    fewer_points_->setEnabled(zoom_ < 16);
}

void CVestaDlg::OnMorePoints() {
    if (zoom_ < 2) return;
    zoom_ /= 2;
    RefreshTimeLabels();
    graph_->Redraw();
}

void CVestaDlg::OnFewerPoints() {
    if (zoom_ >= 16) return;
    zoom_ *= 2;
    RefreshTimeLabels();
    graph_->Redraw();
}

void CVestaDlg::SetAutoScale(bool on) {
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

void CVestaDlg::StepYMax(int d) {
    double max = graph_->YMax(), min = graph_->YMin();
    max += (max - min) * 0.1 * -d;
    graph_->SetYRange(min, max);
    y_max_->setText(Q(StrPrintf("%lf", max)));
    graph_->Redraw();
}

void CVestaDlg::StepYMin(int d) {
    double max = graph_->YMax(), min = graph_->YMin();
    min += (max - min) * 0.1 * -d;
    graph_->SetYRange(min, max);
    y_min_->setText(Q(StrPrintf("%lf", min)));
    graph_->Redraw();
}

void CVestaDlg::SetWriting(bool on) {
    if (!link_.live_mode) return;
    if (on) {
        if (OSC_FileHeader(link_, osc_) != 0) return;  // "Open File error" shown; writing stays off
        if (follower_.Open(link_.file_arg, 0, header_.shown, osc_.sample_rate, NowMs()))
            WriteFileLine();
    } else {
        follower_.Close();
        OSC_CloseWriter(osc_);
    }
}

void CVestaDlg::ShowPanels() {
    if (selvo_) selvo_->show();
    if (selvom_) selvom_->show();
}

void CVestaDlg::OnScreen() {
    if (selvo_) selvo_->Refresh();
    if (selvom_) selvom_->Refresh();
}

void CVestaDlg::OnTick() {
    if (ended_) return;
    if (link_.live_mode && osc_.done) {
        Exit();
        return;
    }
    uint32_t now = NowMs();
    OscFollower::Tick t = follower_.Poll(now);
    bool changed = t.display_changed;
    if (t.rate_changed) RefreshTimeLabels();
    if (t.error_changed) error_line_->setText(Q(follower_.error_line()));
    for (int k = 0; k < t.captions; ++k) {
        checks_[t.caption_channel[k]]->setText(Q(StrPrintf("%.3f", t.caption_value[k])));
    }
    if (t.status_changed) status_line_->setText(Q(follower_.StatusLine(now)));
    for (int c = 0; c < header_.shown; ++c) {
        bool v = checks_[c]->isChecked();
        if (v == visible_[c]) continue;
        visible_[c] = v;
        graph_->SetPlotVisible(c, v);
        changed = true;
    }
    if (changed) {
        for (int c = 0; c < header_.shown; ++c) graph_->PlotY(c, follower_.buffer(c));
        graph_->Redraw();
    }
}

void CVestaDlg::Exit() {
    if (ended_) return;
    ended_ = true;
    tick_.stop();
    // The worker sends the stop byte and lets go of the port within a packet time-out and
    // 100 ms; the window keeps painting (and the worker's messages can show) meanwhile.
    StopWorker();
    osc_.on_screen_changed = nullptr;
    follower_.Close();
    OSC_CloseWriter(osc_);
    selvo_.reset();
    selvom_.reset();
    QDialog::reject();
}

}  // namespace korvex::gui
