#pragma once

#include <QButtonGroup>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <functional>

#include "app/Config.h"
#include "link/ComPortList.h"
#include "link/LinkSettings.h"

namespace korvex::gui {

// The start dialog: the port list, the oscilloscope speed and sampling rate, the
// recorder speed, and one button per mode. Each mode runs to its end inside its
// button's handler with the controls disabled; the dialog is usable again afterwards.
// OK does nothing; Esc or the close box end the dialog (and the program).
class CPortDlg : public QDialog {
    Q_OBJECT
public:
    struct Modes {
        std::function<void(LinkSettings&)> oscilloscope;
        std::function<void(LinkSettings&)> recorder;  // null: the mode is not available
        std::function<void(LinkSettings&)> diary;
        // The port list; by default RS232_EnumPorts.
        std::function<ComPortList()> enumerate;
    };

    CPortDlg(LinkSettings& link, const ConfigValues& cfg, Modes modes, QWidget* parent = nullptr);

    // Fills the port list and the choices. False, after "COM-Ports not found", when
    // there is no port: the dialog then ends at once.
    bool InitDialog();
    int exec() override;
    void accept() override {}

    void EnableModeControls(bool enable);
    // The port of the selected line, or the text typed into the list's edit field.
    std::string SelectedPortName() const;

    // Controls by their template ids, for the tests.
    QRadioButton* rate(int i) const { return rate_[i]; }            // 50, 100, 125, 166 Hz
    QRadioButton* osc_speed(int i) const { return osc_speed_[i]; }  // 115200, 57600, 38400
    QRadioButton* rec_speed(int i) const { return rec_speed_[i]; }  // 230400, 115200
    QComboBox* port_list() const { return ports_; }
    QPushButton* osc_button() const { return osc_button_; }
    QPushButton* recorder_button() const { return recorder_button_; }
    QPushButton* diary_button() const { return diary_button_; }
    QProgressBar* progress() const { return progress_; }
    QLabel* wait_text() const { return wait_; }

private:
    void OnRate(int choice);
    void OnOscSpeed(int choice);
    void OnRecorderSpeed(int choice);
    void RunMode(const std::function<void(LinkSettings&)>& mode, bool live);
    void FollowSpeed();

    LinkSettings& link_;
    ConfigValues cfg_;
    Modes modes_;
    ComPortList list_;

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
