#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <memory>

#include "files/RecordingHeader.h"
#include "gui/OscGraph.h"
#include "gui/SelvoDlg.h"
#include "link/LinkSettings.h"
#include "osc/OscFollower.h"
#include "osc/OscStream.h"

namespace korvex::gui {

// The main window. Live (link.live_mode set): opens the stream, starts the worker and
// follows the growing recording every 30 ms; viewing: shows a finished recording
// (link.file_arg), read whole by the first tick. The recording file is the only path
// from the worker to the screen. GUI thread only.
class CVestaDlg : public QDialog {
    Q_OBJECT
public:
    CVestaDlg(LinkSettings& link, OscState& osc, QWidget* parent = nullptr);
    ~CVestaDlg() override;

    // Set-up in the window's order; false (messages shown) when the window must close.
    bool SetUp();
    // SetUp, then the window's own loop; Rejected at once when set-up failed.
    int exec() override;

    // One follower tick (the 30 ms timer calls it).
    void OnTick();
    // Exit: stops the acquisition, waits (painting, busy cursor) for the worker to let go
    // of the port, closes the panels and ends the window.
    void Exit();

    // 1004 "more points" halves the zoom down to 1; 1005 "fewer points" doubles it up to 16.
    void OnMorePoints();
    void OnFewerPoints();
    // Up-down steps on the Y limits: each moves the limit by a tenth of the range; a step
    // of -1 (the up arrow) raises it.
    void StepYMax(int d);
    void StepYMin(int d);
    void SetAutoScale(bool on);
    // "Write to File": on starts a new time-stamped recording, off closes it.
    void SetWriting(bool on);
    void ShowPanels();

    // For the tests and the benchmarks.
    OscGraph* graph() const { return graph_; }
    LegendGraph* legend(int c) const { return legends_[c]; }
    QCheckBox* channel_box(int c) const { return checks_[c]; }
    QLabel* file_line() const { return file_line_; }
    QLabel* status_line() const { return status_line_; }
    QLabel* error_line() const { return error_line_; }
    QLabel* time_text() const { return time_text_; }
    QLabel* tenth_label() const { return tenth_label_; }
    QLabel* screen_label() const { return screen_label_; }
    QPushButton* more_points() const { return more_points_; }
    QPushButton* fewer_points() const { return fewer_points_; }
    QLineEdit* y_max_edit() const { return y_max_; }
    QLineEdit* y_min_edit() const { return y_min_; }
    QCheckBox* write_box() const { return write_; }
    QPushButton* selvo_button() const { return selvo_button_; }
    CSelvoDlg* selvo() const { return selvo_.get(); }
    CSelvoMDlg* selvom() const { return selvom_.get(); }
    const OscFollower& follower() const { return follower_; }
    int zoom() const { return zoom_; }
    bool ended() const { return ended_; }

protected:
    void reject() override { Exit(); }
    void accept() override {}

private:
    void BuildControls();
    void RefreshTimeLabels();
    void WriteFileLine();
    void OnScreen();
    void Fail();
    void StopWorker();
    uint32_t NowMs() const { return uint32_t(clock_.elapsed()); }

    LinkSettings& link_;
    OscState& osc_;
    OscWorker worker_;
    OscFollower follower_;
    RecordingHeader header_;
    QTimer tick_;
    QElapsedTimer clock_;
    int zoom_ = 4;
    bool visible_[kMaxShownChannels] = {};
    bool ended_ = false;
    std::unique_ptr<CSelvoDlg> selvo_;
    std::unique_ptr<CSelvoMDlg> selvom_;

    OscGraph* graph_;
    LegendGraph* legends_[kMaxShownChannels];
    QCheckBox* checks_[kMaxShownChannels];
    QLabel *file_line_, *status_line_, *error_line_;
    QPushButton *more_points_, *fewer_points_;
    QLabel *time_text_, *tenth_label_, *screen_label_;
    QToolButton *y_max_up_, *y_max_down_, *y_min_up_, *y_min_down_;
    QCheckBox* auto_scale_;
    QLineEdit *y_max_, *y_min_;
    QCheckBox* write_;
    QPushButton *selvo_button_, *viewer_button_, *about_button_, *exit_button_;
};

}  // namespace korvex::gui
