#include "gui/PortDlg.h"

#include "app/ErrorReport.h"
#include "app/Language.h"
#include "gui/Captions.h"
#include "gui/DialogUnits.h"
#include "link/PortNames.h"

namespace korvex::gui {

namespace {

const int kDividers[4] = {10, 5, 4, 3};
const uint32_t kOscBauds[3] = {115200, 57600, 38400};

QString T(const char* russian, const char* english) {
    return QString::fromUtf8(Tr(russian, english));
}

// A configured name matches a listed port by name, or by the device both stand for
// ("COM3" and /dev/ttyS2).
bool SamePort(const std::string& configured, const std::string& listed) {
    if (configured == listed) return true;
    std::string a, b;
    return ResolvePortName(configured, &a) && ResolvePortName(listed, &b) && a == b;
}

}  // namespace

CPortDlg::CPortDlg(LinkSettings& link, const ConfigValues& cfg, Modes modes, QWidget* parent)
    : QDialog(parent), link_(link), cfg_(cfg), modes_(std::move(modes)) {
    setWindowIcon(ProgramIcon());
    DialogUnits du(this);
    auto place = [&du](QWidget* w, int x, int y, int width, int height) {
        du.Place(w, x, y, width, height);
    };

    port_label_ = new QLabel(T("Порт", "Port"), this);
    port_label_->setAlignment(Qt::AlignCenter);
    place(port_label_, 34, 13, 51, 8);
    ports_ = new QComboBox(this);
    ports_->setEditable(true);
    ports_->setInsertPolicy(QComboBox::NoInsert);
    ports_->setGeometry(du.X(21), du.Y(25), du.X(69), ports_->sizeHint().height());
    progress_ = new QProgressBar(this);
    progress_->setRange(0, 100);
    progress_->setTextVisible(false);
    progress_->hide();
    place(progress_, 14, 60, 81, 11);
    wait_ = new QLabel(T("Считывание ...", "Please wait ..."), this);
    wait_->setAlignment(Qt::AlignCenter);
    wait_->hide();
    place(wait_, 15, 75, 85, 8);
    diary_button_ = new QPushButton(T("Дневники и параметры", "Diary and Parameters"), this);
    place(diary_button_, 7, 87, 93, 14);

    auto* osc_box = new QGroupBox(this);
    place(osc_box, 108, 4, 98, 105);
    auto* rec_box = new QGroupBox(this);
    place(rec_box, 215, 5, 95, 105);
    osc_box->lower();
    rec_box->lower();

    speed_label_ = new QLabel(T("Скорость:", "Speed:"), this);
    place(speed_label_, 117, 19, 36, 8);
    osc_group_ = new QButtonGroup(this);
    const char* osc_texts[3] = {"115200", "57600", "38400"};
    const int osc_y[3] = {33, 46, 59};
    for (int i = 0; i < 3; ++i) {
        osc_speed_[i] = new QRadioButton(QString::fromLatin1(osc_texts[i]), this);
        place(osc_speed_[i], 116, osc_y[i], i ? 36 : 40, 10);
        osc_group_->addButton(osc_speed_[i], i);
    }
    rate_label_ = new QLabel(T("F оцифр.:", "F samp.:"), this);
    place(rate_label_, 164, 19, 39, 8);
    rate_group_ = new QButtonGroup(this);
    const char* rate_texts[4] = {"50 Hz", "100 Hz", "125 Hz", "166 Hz"};
    const int rate_y[4] = {33, 46, 57, 70};
    for (int i = 0; i < 4; ++i) {
        rate_[i] = new QRadioButton(QString::fromLatin1(rate_texts[i]), this);
        place(rate_[i], 165, rate_y[i], i ? 39 : 35, 10);
        rate_group_->addButton(rate_[i], i);
    }
    rec_speed_label_ = new QLabel(T("Скорость:", "Speed:"), this);
    place(rec_speed_label_, 228, 22, 36, 8);
    rec_group_ = new QButtonGroup(this);
    const char* rec_texts[2] = {"230400", "115200"};
    for (int i = 0; i < 2; ++i) {
        rec_speed_[i] = new QRadioButton(QString::fromLatin1(rec_texts[i]), this);
        place(rec_speed_[i], 226, i ? 48 : 35, 40, 10);
        rec_group_->addButton(rec_speed_[i], i);
    }
    osc_button_ = new QPushButton(T("Осциллограф", "Oscilloscope"), this);
    osc_button_->setDefault(true);
    place(osc_button_, 118, 87, 77, 14);
    recorder_button_ = new QPushButton(T("Авар. осциллограф", "Emergency Recorder"), this);
    place(recorder_button_, 224, 87, 77, 14);
    setFixedSize(du.Size(317, 119));
    SetTitleVersion(this);

    connect(rate_group_, &QButtonGroup::idClicked, this, &CPortDlg::OnRate);
    connect(osc_group_, &QButtonGroup::idClicked, this, &CPortDlg::OnOscSpeed);
    connect(rec_group_, &QButtonGroup::idClicked, this, &CPortDlg::OnRecorderSpeed);
    connect(osc_button_, &QPushButton::clicked, this,
            [this] { RunMode(modes_.oscilloscope, true); });
    connect(recorder_button_, &QPushButton::clicked, this,
            [this] { RunMode(modes_.recorder, false); });
    connect(diary_button_, &QPushButton::clicked, this, [this] { RunMode(modes_.diary, false); });
}

bool CPortDlg::InitDialog() {
    if (modes_.enumerate) {
        list_ = modes_.enumerate();
    } else {
        RS232_EnumPorts();
        list_ = g_ComPortList;
    }
    if (list_.ports.empty()) {
        ShowError(Tr("Нет ни одного COM-порта", "COM-Ports not found"));
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
    link_.rate_divider = kDividers[rate];
    link_.rate_index = rate + 1;
    int rec = cfg_.cfg_baud2 == 230400 ? 0 : 1;
    link_.av_baud = rec == 0 ? 230400 : 115200;
    osc_speed_[osc]->setChecked(true);
    rate_[rate]->setChecked(true);
    rec_speed_[rec]->setChecked(true);
    EnableModeControls(true);
    return true;
}

int CPortDlg::exec() {
    if (!InitDialog()) return QDialog::Rejected;
    return QDialog::exec();
}

void CPortDlg::EnableModeControls(bool enable) {
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

void CPortDlg::FollowSpeed() {
    for (int i = 1; i < 4; ++i) rate_[i]->setEnabled(link_.osc_baud >= 115200);
}

void CPortDlg::OnRate(int choice) {
    link_.rate_divider = kDividers[choice];
    link_.rate_index = choice + 1;
}

void CPortDlg::OnOscSpeed(int choice) {
    link_.osc_baud = kOscBauds[choice];
    if (choice != 0 && rate_group_->checkedId() != 0) {
        rate_[0]->setChecked(true);
        OnRate(0);
    }
    FollowSpeed();
}

void CPortDlg::OnRecorderSpeed(int choice) {
    link_.av_baud = choice == 0 ? 230400 : 115200;
}

std::string CPortDlg::SelectedPortName() const {
    int i = ports_->currentIndex();
    if (i >= 0 && i < int(list_.ports.size()) && ports_->currentText() == ports_->itemText(i))
        return list_.ports[size_t(i)].name;
    return ports_->currentText().trimmed().toStdString();
}

void CPortDlg::RunMode(const std::function<void(LinkSettings&)>& mode, bool live) {
    if (!mode) return;
    EnableModeControls(false);
    link_.port_name = SelectedPortName();
    if (live) link_.live_mode = 1;
    mode(link_);
    EnableModeControls(true);
}

}  // namespace korvex::gui
