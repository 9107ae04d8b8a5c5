// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QButtonGroup>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <functional>

#include "app/Config.h"
#include "link/ComPortList.h"
#include "link/LinkSettings.h"

namespace korvex::gui {

class StartDialog;

// The start dialog: the port list, the oscilloscope speed and sampling rate, the
// recorder speed, and one button per mode. A mode runs in windows of its own while the
// dialog stays visible with its controls disabled; when the mode ends the dialog is
// usable again. The OK action does nothing; Esc or the close box close the dialog, which
// ends the program (and a mode still running). Opened with show(). GUI thread only.
class StartDialog : public QDialog {
    Q_OBJECT
public:
    // A mode starts with the dialog's settings and returns the object that lives as long
    // as the mode runs (its window or session), or null when it did not start (its
    // message has been shown). A mode without a function is not available.
    using Mode = std::function<QObject*(const LinkSettings&, StartDialog&)>;
    struct Modes {
        Mode oscilloscope;
        Mode recorder;
        Mode diary;
        // The port list; by default RS232_EnumPorts.
        std::function<ComPortList()> enumerate;
    };

    StartDialog(const ConfigValues& cfg, Modes modes, QWidget* parent = nullptr);
    // Ends a mode that still runs (its window or session goes first).
    ~StartDialog() override;

    // Fills the port list and the choices. False, with "COM-Ports not found" in
    // *err_text, when there is no port: the dialog is not to be shown.
    bool InitDialog(std::string* err_text = nullptr);
    void accept() override {}

    void EnableModeControls(bool enable);
    // The port of the selected line, or the text typed into the list's edit field.
    std::string SelectedPortName() const;
    const LinkSettings& settings() const { return link_; }
    // The running mode's object, null when none runs.
    QObject* running_mode() const { return mode_; }

    // The progress bar and "Please wait ..." of a mode that reads (range 0 to 100 when
    // shown).
    void ShowProgress(bool visible);
    void SetProgressRange(int maximum);
    void SetProgress(int position);

signals:
    // A mode has ended and the controls are enabled again.
    void modeEnded();

private:
    void OnRate(int choice);
    void OnOscSpeed(int choice);
    void OnRecorderSpeed(int choice);
    void RunMode(const Mode& mode, bool live);
    void FollowSpeed();

    LinkSettings link_;
    ConfigValues cfg_;
    Modes modes_;
    ComPortList list_;
    QPointer<QObject> mode_;

    QLabel* port_label_;
    QComboBox* ports_;
    QProgressBar* progress_;
    QLabel* wait_;
    QPushButton* diary_button_;
    QPushButton* osc_button_;
    QPushButton* recorder_button_;
    QLabel *speed_label_, *rate_label_, *rec_speed_label_;
    QRadioButton* osc_speed_[3];
    QRadioButton* rate_[4];
    QRadioButton* rec_speed_[2];
    QButtonGroup *osc_group_, *rate_group_, *rec_group_;
};

}  // namespace korvex::gui
