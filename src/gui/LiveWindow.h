// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QToolButton>
#include <QWidget>
#include <memory>

#include "gui/FrontPanelDialog.h"
#include "gui/OscGraph.h"
#include "gui/OscSession.h"

namespace korvex::gui {

class DialogUnits;
class TimeScaleLabels;

// The oscilloscope's main window, a view of its OscSession: the main graph with up to 15
// channels, a legend graph and a check box per channel (its latest value as caption),
// the file, status and error lines, the time scale, the Y limits, "Write to File"
// (live), SELVO (a regulator with a front panel), the viewer, About and Exit. The
// window has a fixed size. Exit, Esc and the close box stop the session and close the
// window; the OK action (Enter) does nothing. A worker that stops on an error has its
// message shown over the window, which then closes.
// GUI thread only. Opened with show(); with Qt::WA_DeleteOnClose it goes when closed.
class LiveWindow : public QWidget {
    Q_OBJECT
public:
    // `session` has been started (StartLive) or opened (OpenFile) already.
    explicit LiveWindow(std::unique_ptr<OscSession> session, QWidget* parent = nullptr);
    ~LiveWindow() override;

    OscSession& session() { return *session_; }
    OscGraph* graph() const { return graph_; }
    int zoom() const { return zoom_; }
    FrontPanelDialog* panel(int i) const { return panels_[i]; }

    // "More points" (--> |||) halves the zoom down to 1; "fewer points" (<-- | | |)
    // doubles it up to 16.
    void MorePoints();
    void FewerPoints();
    // Up-down steps on the Y limits: each moves the limit by a tenth of the range; a step
    // of -1 (the up arrow) raises it.
    void StepYMax(int d);
    void StepYMin(int d);
    void SetAutoScale(bool on);
    // Shows every front panel beside the window.
    void ShowPanels();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void BuildControls();
    void BuildGraphs(QGridLayout* grid, const DialogUnits& du);
    QLayout* BuildLines(const DialogUnits& du);
    QLayout* BuildLimits(const DialogUnits& du);
    QLayout* BuildButtons(const DialogUnits& du);
    void Connect();
    void SetUpFromSession();
    void RefreshTimeLabels();
    void RefreshRecording();
    void OnData(const OscFollower::Tick& tick);
    void OnStopped(const QString& message);
    void OnChannelBox(int c, bool shown);
    void Replot();

    std::unique_ptr<OscSession> session_;
    int zoom_ = 4;
    bool closing_ = false;
    FrontPanelDialog* panels_[2] = {nullptr, nullptr};

    OscGraph* graph_;
    TimeScaleLabels* time_labels_;
    LegendGraph* legends_[kMaxShownChannels];
    QCheckBox* checks_[kMaxShownChannels];
    QLabel *file_line_, *status_line_, *error_line_;
    QPushButton *more_points_, *fewer_points_;
    QLabel* time_text_;
    QToolButton *y_max_up_, *y_max_down_, *y_min_up_, *y_min_down_;
    QCheckBox* auto_scale_;
    QLineEdit *y_max_, *y_min_;
    QCheckBox* write_;
    QLabel* write_note_;
    QPushButton *selvo_button_, *viewer_button_, *about_button_, *exit_button_;
};

// The three labels under the main graph: "0" at its left end, one tenth of the screen
// time at a tenth of its width, the screen time at its right end.
class TimeScaleLabels : public QWidget {
    Q_OBJECT
public:
    explicit TimeScaleLabels(QWidget* parent = nullptr);
    void SetTimes(const QString& tenth, const QString& whole);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Place();
    QLabel *zero_, *tenth_, *whole_;
};

}  // namespace korvex::gui
