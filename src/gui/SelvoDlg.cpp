#include "gui/SelvoDlg.h"

#include <QFontDatabase>
#include <QPushButton>

#include "gui/Captions.h"
#include "gui/DialogUnits.h"
#include "osc/SelvoText.h"

namespace korvex::gui {

CSelvoPanel::CSelvoPanel(OscState& osc, bool selvom)
    : QDialog(nullptr), osc_(osc), selvom_(selvom) {
    setWindowIcon(ProgramIcon());
    display_ = new QLabel(this);
    display_->setObjectName(QStringLiteral("display"));
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    display_->setFont(mono);
    display_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    display_->setTextFormat(Qt::PlainText);
    display_->setStyleSheet(QStringLiteral("background:#1c2a1c; color:#b8ff9a; padding:3px;"));
    display_->setText(QString());
}

void CSelvoPanel::AddKey(const QString& caption, uint8_t code, int x, int y, int w, int h) {
    DialogUnits du(this);
    auto* key = new QPushButton(caption, this);
    key->setAutoDefault(false);
    key->setFocusPolicy(Qt::NoFocus);
    du.Place(key, x, y, w, h);
    connect(key, &QPushButton::clicked, this, [this, code] { osc_.pending_key = code; });
}

bool CSelvoPanel::ClickKey(const QString& caption) {
    for (auto* b : findChildren<QPushButton*>()) {
        if (b->text() == caption) {
            b->click();
            return true;
        }
    }
    return false;
}

void CSelvoPanel::Refresh() {
    display_->setText(QString::fromUtf8(
        RefreshSelvoDisplay(osc_.screen, selvom_, &blink_, selvom_ && osc_.selvo ? 80 : 0)
            .c_str()));
}

CSelvoDlg::CSelvoDlg(OscState& osc, const std::string& port_name) : CSelvoPanel(osc, false) {
    DialogUnits du(this);
    QFontMetrics fm(display_->font());
    display_->setGeometry(du.X(5), du.Y(5),
                          std::max(du.X(82), fm.horizontalAdvance(QString(20, 'W')) + 8),
                          fm.lineSpacing() * 4 + 8);
    // The keypad keeps its template layout below a display as tall as the font needs.
    int off = std::max(0, du.ToDluY(display_->geometry().bottom()) + 6 - 43);
    const int cols[5] = {5, 23, 40, 57, 75};
    for (int i = 0; i < 5; ++i)
        AddKey(QString::number(i + 1), uint8_t(0x31 + i), cols[i], 43 + off, 12, 14);
    for (int i = 0; i < 5; ++i) {
        int digit = i < 4 ? 6 + i : 0;
        AddKey(QString::number(digit), uint8_t(0x30 + digit), cols[i], 59 + off, 12, 14);
    }
    int y3 = 75 + off, y4 = 91 + off;
    AddKey(QStringLiteral("ESC"), 0x1B, 5, y3, 12, 30);
    AddKey(QStringLiteral("F"), 0x00, 23, y3, 12, 14);
    AddKey(QStringLiteral("^"), 0x01, 40, y3, 12, 14);
    AddKey(QStringLiteral("."), 0x2E, 57, y3, 12, 14);
    AddKey(QStringLiteral("ENT"), 0x0D, 75, y3, 12, 30);
    AddKey(QStringLiteral("<"), 0x04, 23, y4, 12, 14);
    AddKey(QStringLiteral("V"), 0x02, 40, y4, 12, 14);
    AddKey(QStringLiteral(">"), 0x03, 57, y4, 12, 14);
    setFixedSize(std::max(du.X(92), display_->geometry().right() + du.X(5)), du.Y(y4 + 14 + 6));
    setWindowTitle(QString::fromStdString(port_name));
    SetTitleVersion(this);
}

CSelvoMDlg::CSelvoMDlg(OscState& osc) : CSelvoPanel(osc, true) {
    DialogUnits du(this);
    QFontMetrics fm(display_->font());
    display_->setGeometry(du.X(5), du.Y(5),
                          std::max(du.X(74), fm.horizontalAdvance(QString(16, 'W')) + 8),
                          fm.lineSpacing() * 2 + 8);
    int dy = std::max(0, du.ToDluY(display_->geometry().bottom()) + 4 - 27);
    AddKey(QStringLiteral("ESC"), 0x01, 8, 29 + dy, 18, 12);
    AddKey(QStringLiteral("^"), 0x20, 48, 27 + dy, 14, 14);
    AddKey(QStringLiteral("OK"), 0x02, 48, 42 + dy, 14, 14);
    AddKey(QStringLiteral("<"), 0x04, 34, 42 + dy, 14, 14);
    AddKey(QStringLiteral("V"), 0x10, 48, 56 + dy, 14, 14);
    AddKey(QStringLiteral(">"), 0x08, 62, 42 + dy, 14, 14);
    setFixedSize(std::max(du.X(84), display_->geometry().right() + du.X(5)), du.Y(76 + dy));
    setWindowTitle(QStringLiteral("SELVO-M"));
    SetTitleVersion(this);
}

}  // namespace korvex::gui
