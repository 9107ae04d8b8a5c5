#pragma once

#include <QDialog>
#include <QLabel>

#include "link/LinkSettings.h"
#include "osc/OscState.h"

namespace korvex::gui {

// The remote front panels. A key click stores the key's code as the pending key (a
// later click before the worker's next packet replaces it); a screen notification
// redraws the display with its blinking cursor mark. Escape, the close box and Enter
// hide the window; the main window's SELVO button shows it again.
class CSelvoPanel : public QDialog {
    Q_OBJECT
public:
    void Refresh();
    QString display_text() const { return display_->text(); }
    // Clicks the key with this caption, as the user would (tests).
    bool ClickKey(const QString& caption);

protected:
    CSelvoPanel(OscState& osc, bool selvom);
    void AddKey(const QString& caption, uint8_t code, int x, int y, int w, int h);
    void reject() override { hide(); }
    void accept() override { hide(); }

    OscState& osc_;
    bool selvom_;
    bool blink_ = false;
    QLabel* display_;
};

// SELVO: 4 lines of 20 characters, 18 keys.
class CSelvoDlg : public CSelvoPanel {
    Q_OBJECT
public:
    CSelvoDlg(OscState& osc, const std::string& port_name);
};

// SELVO-M: 2 lines of 16 characters, 6 keys.
class CSelvoMDlg : public CSelvoPanel {
    Q_OBJECT
public:
    explicit CSelvoMDlg(OscState& osc);
};

}  // namespace korvex::gui
