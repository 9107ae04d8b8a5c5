// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QLabel>
#include <string>

namespace korvex::gui {

class OscSession;

// A remote copy of the regulator's front panel: SELVO (a display of 4 lines of 20
// characters, 18 keys) or SELVO-M (2 lines of 16, 6 keys). A key click queues the key's
// code for the worker (a later click before the worker's next packet replaces it); a
// screen notification redraws the display with its blinking cursor mark.
//
// A tool window of the live window: never blocked by it, kept above it, and gone with
// it. Escape, the close box and Enter hide it; the live window's SELVO button shows it
// again. GUI thread only.
class FrontPanelDialog : public QDialog {
    Q_OBJECT
public:
    enum class Model { kSelvo, kSelvoM };

    FrontPanelDialog(OscSession& session, Model model, const std::string& port_name,
                     QWidget* live_window);

    // Redraws the display from the session's screen (after a screen notification).
    void Refresh();
    QString display_text() const { return display_->text(); }
    Model model() const { return model_; }

protected:
    void reject() override { hide(); }
    void accept() override { hide(); }

private:
    QPushButton* AddKey(const QString& caption, uint8_t code);

    OscSession& session_;
    Model model_;
    bool blink_ = false;
    QLabel* display_;
};

}  // namespace korvex::gui
