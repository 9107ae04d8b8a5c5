#include "gui/AboutDlg.h"

#include <QLabel>
#include <QPushButton>

#include "app/Version.h"
#include "gui/Captions.h"
#include "gui/DialogUnits.h"

namespace korvex::gui {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About Korvex"));
    setWindowIcon(ProgramIcon());
    DialogUnits du(this);
    auto* icon = new QLabel(this);
    icon->setPixmap(ProgramIcon().pixmap(du.X(20), du.X(20)));
    du.Place(icon, 11, 17, 20, 20);
    auto* version = new QLabel(QString::fromStdString(AboutVersionLine()), this);
    version->setObjectName(QStringLiteral("versionLine"));
    du.Place(version, 40, 10, 140, 8);
    auto* line = new QLabel(
        QStringLiteral("Service and commissioning tool for excitation regulators"), this);
    du.Place(line, 40, 25, 190, 8);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    du.Place(ok, 185, 7, 50, 14);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    setFixedSize(du.Size(242, 55));
}

}  // namespace korvex::gui
