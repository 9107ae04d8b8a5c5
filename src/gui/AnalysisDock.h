// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDockWidget>
#include <optional>
#include <vector>

#include "analysis/ResultRows.h"
#include "gui/AnalysisSession.h"

class QCheckBox;
class QComboBox;
class QCustomPlot;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QTableWidget;
class QTimer;

namespace korvex::gui {

class ViewerPlot;
class ViewerSession;

// "1.500000 – 2.500000 s, 251 samples": a window's first and last sample times and its
// samples, as the dock and the test report say it.
QString AnalysisWindowText(double from, double to, size_t samples);

// The viewer's commissioning analysis of one channel: a step response, the oscillation
// modes of a ring-down, or the spectrum, over cursors A..B when both are placed, else over
// the time range in view. It follows the cursors, the view and its own choices after a
// short pause (kDelayMs), computed on its AnalysisSession off the GUI thread; results fill
// its table and mark the plot (a spectrum is drawn in the dock instead). A window the
// analysis refuses shows the message in the dock's status line, never in a box. Hidden,
// the dock computes nothing and leaves no marks. GUI thread only.
class AnalysisDock : public QDockWidget {
    Q_OBJECT
public:
    static constexpr int kDelayMs = 100;

    AnalysisDock(ViewerSession* session, ViewerPlot* plot, QWidget* parent = nullptr);
    ~AnalysisDock() override;

    // The window's recording has been (re)loaded: the channel list anew (a reload keeps
    // the channel chosen), no result, no marks.
    void RecordingChanged();

    // The latest result, when it is one and not a refusal.
    bool has_result() const { return result_.has_value() && result_->ok(); }
    const AnalysisResult* result() const { return has_result() ? &*result_ : nullptr; }
    // The rows of the table for the result.
    const std::vector<ResultRow>& rows() const { return rows_; }
    QString test_name() const;
    QString channel_name(int channel) const;
    // The analysis's name as the report and the file name say it.
    static QString KindName(AnalysisKind kind);
    static const char* KindFileWord(AnalysisKind kind);  // "step", "oscillation", "spectrum"

    QComboBox* channel_box() const { return channel_; }
    QComboBox* kind_box() const { return kind_; }
    QTableWidget* table() const { return table_; }
    QLabel* status_label() const { return status_; }
    QCustomPlot* spectrum_plot() const { return spectrum_; }

signals:
    // A result or a refusal has arrived, or the result went.
    void resultChanged();

private:
    void Schedule();
    void Compute();
    void OnFinished(const AnalysisResult& result);
    void ShowSpectrum();
    void ClearResult();
    bool WindowIsView() const;  // the window follows the view (not both cursors placed)

    ViewerSession* session_;
    ViewerPlot* plot_;
    AnalysisSession* analysis_;
    QTimer* timer_;
    QComboBox* channel_;
    QComboBox* kind_;
    QDoubleSpinBox* band_;
    QCheckBox* at_a_;  // the step at cursor A, the level before it from the view
    QLabel* window_label_;
    QLabel* status_;
    QTableWidget* table_;
    QCustomPlot* spectrum_;
    QCheckBox* log_scale_;
    QLineEdit* test_name_;
    std::optional<AnalysisResult> result_;
    std::vector<ResultRow> rows_;
    // What the last request asked for: the same window and choices are not computed again.
    struct Key {
        int kind = -1, channel = -1;
        size_t begin = 0, end = 0;
        double band = 0;
        bool at_a = false;
        bool view = false;
        bool operator==(const Key&) const = default;
    };
    Key asked_;
};

}  // namespace korvex::gui
