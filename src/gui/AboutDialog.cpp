// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/AboutDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/Language.h"
#include "app/Version.h"
#include "gui/Captions.h"
#include "gui/DialogUnits.h"

namespace korvex::gui {

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About Korvex"));
    setWindowIcon(ProgramIcon());
    DialogUnits du(this);
    auto* icon = new QLabel(this);
    icon->setPixmap(ProgramIcon().pixmap(du.X(20), du.X(20)));
    auto* version = new QLabel(QString::fromStdString(AboutVersionLine()), this);
    version->setObjectName(QStringLiteral("versionLine"));
    auto* line = new QLabel(
        QString::fromUtf8(Tr("Программа наладки и обслуживания регуляторов возбуждения",
                             "Service and commissioning tool for excitation regulators")),
        this);
    auto* licence = new QLabel(QString::fromUtf8(LicenceLine()), this);
    licence->setObjectName(QStringLiteral("licence"));
    // Qt is a library of its own licence, which asks to be named where Korvex names its.
    auto* qt = new QLabel(
        QString::fromUtf8(Tr("Использует Qt %1 (LGPL-3.0-only)", "Uses Qt %1 (LGPL-3.0-only)"))
            .arg(QString::fromLatin1(qVersion())),
        this);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    ok->setMinimumSize(du.Size(50, 14));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* texts = new QVBoxLayout;
    texts->addWidget(version);
    texts->addWidget(line);
    texts->addWidget(licence);
    texts->addWidget(qt);
    texts->addStretch(1);
    auto* row = new QHBoxLayout(this);
    row->setSizeConstraint(QLayout::SetFixedSize);
    row->setContentsMargins(du.X(11), du.Y(7), du.X(7), du.Y(7));
    row->setSpacing(du.X(9));
    row->addWidget(icon, 0, Qt::AlignTop);
    row->addLayout(texts);
    row->addWidget(ok, 0, Qt::AlignTop);
}

}  // namespace korvex::gui
