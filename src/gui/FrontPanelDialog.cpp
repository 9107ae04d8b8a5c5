// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/FrontPanelDialog.h"

#include <QFileInfo>
#include <QFontDatabase>
#include <QGridLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/Captions.h"
#include "gui/DialogUnits.h"
#include "gui/OscSession.h"
#include "osc/SelvoText.h"

namespace korvex::gui {

FrontPanelDialog::FrontPanelDialog(OscSession& session, Model model, const std::string& port_name,
                                   QWidget* live_window)
    : QDialog(live_window, Qt::Tool), session_(session), model_(model) {
    const bool m = model == Model::kSelvoM;
    setObjectName(m ? QStringLiteral("selvomPanel") : QStringLiteral("selvoPanel"));
    setWindowIcon(ProgramIcon());
    // The model and the port: short enough for a small window's title bar.
    QString port = QFileInfo(QString::fromStdString(port_name)).fileName();
    setWindowTitle((m ? QStringLiteral("SELVO-M") : QStringLiteral("SELVO")) +
                   (port.isEmpty() ? QString() : QStringLiteral("  -  ") + port));

    DialogUnits du(this);
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->setContentsMargins(du.X(5), du.Y(5), du.X(5), du.Y(5));
    display_ = new QLabel(this);
    display_->setObjectName(QStringLiteral("display"));
    display_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    display_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    display_->setTextFormat(Qt::PlainText);
    display_->setStyleSheet(QStringLiteral("background:#1c2a1c; color:#b8ff9a; padding:3px;"));
    // Room for the whole display whatever the font: 4 x 20 or 2 x 16 characters.
    QFontMetrics fm(display_->font());
    const int cols = m ? 16 : 20, rows = m ? 2 : 4;
    display_->setMinimumSize(
        std::max(du.X(m ? 66 : 82), fm.horizontalAdvance(QString(cols, QLatin1Char('W'))) + 8),
        std::max(du.Y(m ? 18 : 34), fm.lineSpacing() * rows + 8));
    layout->addWidget(display_);

    auto* keys = new QGridLayout;
    keys->setSpacing(du.X(2));
    layout->addLayout(keys);
    // A key is as wide as its widest caption with the style's margins (all keys of a
    // panel alike), never a style's wide default.
    QFontMetrics key_font(font());
    const int key_width = key_font.horizontalAdvance(QStringLiteral("ESC")) + du.X(6);
    const int key_height = key_font.height() + du.Y(4);
    auto add = [&](const char* caption, uint8_t code, int row, int col, int row_span, int w,
                   int h) {
        QPushButton* key = AddKey(QString::fromLatin1(caption), code);
        int width = std::max(du.X(w), key_width);
        int height = std::max(du.Y(h), row_span * key_height + (row_span - 1) * du.X(2));
        key->setFixedSize(width, height);
        keys->addWidget(key, row, col, row_span, 1);
    };
    if (!m) {
        // Five columns: 1-5, then 6-9 and 0; ESC and ENT two rows high at the sides,
        // F ^ . between them, and the arrows < V > under those.
        for (int i = 0; i < 5; ++i)
            add(QByteArray::number(i + 1).constData(), 0x31 + i, 0, i, 1, 12, 14);
        for (int i = 0; i < 5; ++i) {
            int digit = i < 4 ? 6 + i : 0;
            add(QByteArray::number(digit).constData(), uint8_t(0x30 + digit), 1, i, 1, 12, 14);
        }
        add("ESC", 0x1B, 2, 0, 2, 12, 30);
        add("F", 0x00, 2, 1, 1, 12, 14);
        add("^", 0x01, 2, 2, 1, 12, 14);
        add(".", 0x2E, 2, 3, 1, 12, 14);
        add("ENT", 0x0D, 2, 4, 2, 12, 30);
        add("<", 0x04, 3, 1, 1, 12, 14);
        add("V", 0x02, 3, 2, 1, 12, 14);
        add(">", 0x03, 3, 3, 1, 12, 14);
    } else {
        // ESC at the left; the arrows as a cross around OK.
        add("ESC", 0x01, 0, 0, 1, 18, 12);
        add("^", 0x20, 0, 2, 1, 14, 14);
        add("<", 0x04, 1, 1, 1, 14, 14);
        add("OK", 0x02, 1, 2, 1, 14, 14);
        add(">", 0x08, 1, 3, 1, 14, 14);
        add("V", 0x10, 2, 2, 1, 14, 14);
    }
    display_->setText(QString());
}

QPushButton* FrontPanelDialog::AddKey(const QString& caption, uint8_t code) {
    auto* key = new QPushButton(caption, this);
    key->setObjectName(QStringLiteral("key_") + caption);
    key->setAutoDefault(false);
    key->setFocusPolicy(Qt::NoFocus);
    connect(key, &QPushButton::clicked, this, [this, code] { session_.PressKey(code); });
    return key;
}

void FrontPanelDialog::Refresh() {
    OscState& osc = session_.osc();
    const bool m = model_ == Model::kSelvoM;
    // With both panels the SELVO-M text follows the SELVO's 80 characters.
    int offset = m && osc.selvo ? 80 : 0;
    display_->setText(
        QString::fromUtf8(RefreshSelvoDisplay(osc.screen, m, &blink_, offset).c_str()));
}

}  // namespace korvex::gui
