// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/StartDialog.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <algorithm>

#include "app/Language.h"
#include "app/SampleRate.h"
#include "gui/Captions.h"
#include "gui/DialogUnits.h"
#include "gui/Texts.h"
#include "link/PortNames.h"

namespace korvex::gui {

namespace {

const uint32_t kOscBauds[3] = {115200, 57600, 38400};

// A configured name matches a listed port by name, or by the device both stand for
// ("COM3" and /dev/ttyS2).
bool SamePort(const std::string& configured, const std::string& listed) {
    if (configured == listed) return true;
    std::string a, b;
    return ResolvePortName(configured, &a) && ResolvePortName(listed, &b) && a == b;
}

}  // namespace

StartDialog::StartDialog(const ConfigValues& cfg, Modes modes, QWidget* parent)
    : QDialog(parent), cfg_(cfg), modes_(std::move(modes)) {
    setWindowIcon(ProgramIcon());
    DialogUnits du(this);
    auto button = [&](const QString& text, const char* name, int width) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setMinimumSize(du.Size(width, 14));
        return b;
    };

    // Left: the port list, the progress of a reading mode, Diary and Parameters.
    auto* left = new QVBoxLayout;
    port_label_ = new QLabel(T("Порт", "Port"), this);
    port_label_->setAlignment(Qt::AlignCenter);
    ports_ = new QComboBox(this);
    ports_->setObjectName(QStringLiteral("ports"));
    ports_->setEditable(true);
    ports_->setInsertPolicy(QComboBox::NoInsert);
    ports_->setMinimumWidth(du.X(69));
    progress_ = new QProgressBar(this);
    progress_->setRange(0, 100);
    progress_->setTextVisible(false);
    progress_->setMinimumSize(du.Size(81, 11));
    wait_ = new QLabel(T("Считывание ...", "Please wait ..."), this);
    wait_->setObjectName(QStringLiteral("wait"));
    wait_->setAlignment(Qt::AlignCenter);
    for (QWidget* w : std::initializer_list<QWidget*>{progress_, wait_}) {
        QSizePolicy p = w->sizePolicy();
        p.setRetainSizeWhenHidden(true);
        w->setSizePolicy(p);
        w->hide();
    }
    diary_button_ = button(T("Дневники и параметры", "Diary and Parameters"), "diary", 93);
    left->addSpacing(du.Y(6));
    left->addWidget(port_label_);
    left->addWidget(ports_);
    left->addStretch(1);
    left->addWidget(progress_);
    left->addWidget(wait_);
    left->addWidget(diary_button_);

    // Middle: the oscilloscope's speed and sampling rate, and its button.
    auto* osc_box = new QGroupBox(this);
    osc_box->setMinimumWidth(du.X(98));
    auto* osc = new QGridLayout(osc_box);
    speed_label_ = new QLabel(T("Скорость:", "Speed:"), osc_box);
    rate_label_ = new QLabel(T("F оцифр.:", "F samp.:"), osc_box);
    osc->addWidget(speed_label_, 0, 0);
    osc->addWidget(rate_label_, 0, 1);
    osc_group_ = new QButtonGroup(this);
    const char* osc_texts[3] = {"115200", "57600", "38400"};
    for (int i = 0; i < 3; ++i) {
        osc_speed_[i] = new QRadioButton(QString::fromLatin1(osc_texts[i]), osc_box);
        osc_speed_[i]->setObjectName(QStringLiteral("oscSpeed%1").arg(i));
        osc->addWidget(osc_speed_[i], 1 + i, 0);
        osc_group_->addButton(osc_speed_[i], i);
    }
    rate_group_ = new QButtonGroup(this);
    const char* rate_texts[4] = {"50 Hz", "100 Hz", "125 Hz", "166 Hz"};
    for (int i = 0; i < 4; ++i) {
        rate_[i] = new QRadioButton(QString::fromLatin1(rate_texts[i]), osc_box);
        rate_[i]->setObjectName(QStringLiteral("rate%1").arg(i));
        osc->addWidget(rate_[i], 1 + i, 1);
        rate_group_->addButton(rate_[i], i);
    }
    osc->setRowStretch(5, 1);
    osc_button_ = button(T("Осциллограф", "Oscilloscope"), "oscilloscope", 77);
    osc_button_->setDefault(true);
    osc->addWidget(osc_button_, 6, 0, 1, 2, Qt::AlignHCenter);

    // Right: the recorder's speed and its button.
    auto* rec_box = new QGroupBox(this);
    rec_box->setMinimumWidth(du.X(95));
    auto* rec = new QVBoxLayout(rec_box);
    rec_speed_label_ = new QLabel(T("Скорость:", "Speed:"), rec_box);
    rec->addWidget(rec_speed_label_);
    rec_group_ = new QButtonGroup(this);
    const char* rec_texts[2] = {"230400", "115200"};
    for (int i = 0; i < 2; ++i) {
        rec_speed_[i] = new QRadioButton(QString::fromLatin1(rec_texts[i]), rec_box);
        rec_speed_[i]->setObjectName(QStringLiteral("recSpeed%1").arg(i));
        rec->addWidget(rec_speed_[i]);
        rec_group_->addButton(rec_speed_[i], i);
    }
    rec->addStretch(1);
    recorder_button_ = button(T("Авар. осциллограф", "Emergency Recorder"), "recorder", 77);
    rec->addWidget(recorder_button_, 0, Qt::AlignHCenter);

    auto* row = new QHBoxLayout(this);
    row->setSizeConstraint(QLayout::SetFixedSize);
    row->setContentsMargins(du.X(7), du.Y(4), du.X(7), du.Y(7));
    row->setSpacing(du.X(7));
    row->addLayout(left);
    row->addWidget(osc_box);
    row->addWidget(rec_box);
    // 119 units high, so that the mode buttons sit at the dialog's foot.
    setMinimumHeight(du.Y(119));
    SetTitleVersion(this);

    connect(rate_group_, &QButtonGroup::idClicked, this, &StartDialog::OnRate);
    connect(osc_group_, &QButtonGroup::idClicked, this, &StartDialog::OnOscSpeed);
    connect(rec_group_, &QButtonGroup::idClicked, this, &StartDialog::OnRecorderSpeed);
    connect(osc_button_, &QPushButton::clicked, this,
            [this] { RunMode(modes_.oscilloscope, true); });
    connect(recorder_button_, &QPushButton::clicked, this,
            [this] { RunMode(modes_.recorder, false); });
    connect(diary_button_, &QPushButton::clicked, this, [this] { RunMode(modes_.diary, false); });
}

StartDialog::~StartDialog() {
    if (mode_) {
        disconnect(mode_, nullptr, this, nullptr);
        delete mode_.data();
    }
}

bool StartDialog::InitDialog(std::string* err_text) {
    if (modes_.enumerate) {
        list_ = modes_.enumerate();
    } else {
        RS232_EnumPorts();
        list_ = g_ComPortList;
    }
    if (list_.ports.empty()) {
        if (err_text) *err_text = Tr("Нет ни одного COM-порта", "COM-Ports not found");
        return false;
    }
    ports_->clear();
    int selected = -1;
    for (size_t i = 0; i < list_.ports.size(); ++i) {
        const auto& p = list_.ports[i];
        ports_->addItem(
            p.error
                ? QStringLiteral("%1 - Error %2").arg(QString::fromStdString(p.name)).arg(p.error)
                : QString::fromStdString(p.name));
        if (selected < 0 && !cfg_.cfg_port.empty() && SamePort(cfg_.cfg_port, p.name))
            selected = int(i);
    }
    ports_->setCurrentIndex(selected < 0 ? 0 : selected);

    int osc = cfg_.cfg_baud1 == 38400 ? 2 : cfg_.cfg_baud1 == 57600 ? 1 : 0;
    link_.osc_baud = kOscBauds[osc];
    int rate = 0;
    if (link_.osc_baud >= 115200)
        rate = cfg_.cfg_fsam == 100 ? 1 : cfg_.cfg_fsam == 125 ? 2 : cfg_.cfg_fsam == 166 ? 3 : 0;
    link_.rate_divider = kStreamDividers[rate];
    link_.rate_index = rate + 1;
    int rec = cfg_.cfg_baud2 == 230400 ? 0 : 1;
    link_.av_baud = rec == 0 ? 230400 : 115200;
    osc_speed_[osc]->setChecked(true);
    rate_[rate]->setChecked(true);
    rec_speed_[rec]->setChecked(true);
    EnableModeControls(true);
    return true;
}

void StartDialog::EnableModeControls(bool enable) {
    for (QWidget* w :
         std::initializer_list<QWidget*>{diary_button_, osc_button_, recorder_button_, ports_,
                                         speed_label_, rate_label_, rec_speed_label_})
        w->setEnabled(enable);
    for (auto* r : osc_speed_) r->setEnabled(enable);
    for (auto* r : rate_) r->setEnabled(enable);
    for (auto* r : rec_speed_) r->setEnabled(enable);
    // The higher rates follow the speed, after a mode as at start.
    if (enable) FollowSpeed();
    // Modes this build does not have stay off.
    if (!modes_.recorder) recorder_button_->setEnabled(false);
    if (!modes_.diary) diary_button_->setEnabled(false);
}

void StartDialog::FollowSpeed() {
    for (int i = 1; i < 4; ++i) rate_[i]->setEnabled(link_.osc_baud >= 115200);
}

void StartDialog::OnRate(int choice) {
    link_.rate_divider = kStreamDividers[choice];
    link_.rate_index = choice + 1;
}

void StartDialog::OnOscSpeed(int choice) {
    link_.osc_baud = kOscBauds[choice];
    if (choice != 0 && rate_group_->checkedId() != 0) {
        rate_[0]->setChecked(true);
        OnRate(0);
    }
    FollowSpeed();
}

void StartDialog::OnRecorderSpeed(int choice) {
    link_.av_baud = choice == 0 ? 230400 : 115200;
}

std::string StartDialog::SelectedPortName() const {
    int i = ports_->currentIndex();
    if (i >= 0 && i < int(list_.ports.size()) && ports_->currentText() == ports_->itemText(i))
        return list_.ports[size_t(i)].name;
    return ports_->currentText().trimmed().toStdString();
}

void StartDialog::ShowProgress(bool visible) {
    progress_->setRange(0, 100);
    progress_->setValue(0);
    progress_->setVisible(visible);
    wait_->setVisible(visible);
}

void StartDialog::SetProgressRange(int maximum) {
    // Nothing to count shows an empty bar; Qt would draw a range of 0..0 as busy.
    progress_->setRange(0, std::max(maximum, 1));
}

void StartDialog::SetProgress(int position) {
    progress_->setValue(position);
}

void StartDialog::RunMode(const Mode& mode, bool live) {
    if (!mode || mode_) return;
    EnableModeControls(false);
    link_.port_name = SelectedPortName();
    link_.live_mode = live ? 1 : 0;
    QObject* running = mode(link_, *this);
    if (!running) {
        EnableModeControls(true);
        emit modeEnded();
        return;
    }
    mode_ = running;
    connect(running, &QObject::destroyed, this, [this] {
        mode_ = nullptr;
        EnableModeControls(true);
        emit modeEnded();
    });
}

}  // namespace korvex::gui
