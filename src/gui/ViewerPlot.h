// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <qcustomplot.h>

#include <QElapsedTimer>
#include <vector>

namespace korvex::gui {

class EnvelopeGraph;
class ViewerSession;

// What an analysis marks on the plot, in the pane of `channel`, in seconds of the
// recording and the channel's units.
struct AnalysisMarks {
    struct Line {
        double seconds = 0;
        QString label;  // written at the line's top
    };
    int channel = -1;            // -1: no marks
    std::vector<Line> lines;     // vertical lines
    std::vector<double> levels;  // horizontal lines (a settling band)
    bool has_point = false;      // a point (a peak) with its label
    double point_x = 0, point_y = 0;
    QString point_label;
    QVector<double> curve_x, curve_y;  // a curve drawn over the signal (a fit)
};

// The viewer's plot: a whole recording against time in seconds, in one or more panes
// stacked on one shared time axis, with two cursors, A and B, that snap to rows.
// Further recordings of the same event can be laid over it (AddRecording), each shifted
// along the time axis by an offset of its own; the first recording stays the time base:
// the cursors are its rows. Channels are numbered over all recordings in turn, the first
// recording's from 0 (the channel list's rows).
//
// Each pane's legend stands beside it, right of the traces, and is cut to the lines its
// pane has room for, the last saying how many more channels the pane holds.
//
// Mouse: the wheel zooms time around the pointer (Ctrl+wheel: the pane's values); a drag
// pans; Ctrl+drag, or any drag in box-zoom mode, zooms to the box; a double click fits
// the whole file; a click places cursor A, Shift+click cursor B; a cursor is dragged by
// its line. The cursor placed or dragged last is the active one, drawn bolder. Keys:
// Left/Right move the active cursor a row (Shift: a tenth of the view), the view following
// it, or pan a tenth when it is not placed; Tab makes the other cursor active (Ctrl+Tab
// leaves the plot); PageUp/PageDown pan a page; A and B place a cursor at the pointer.
// Every zoom or pan that is not a scroll-bar move can be gone back on, with the panes'
// value ranges as they were. GUI thread only.
class ViewerPlot : public QCustomPlot {
    Q_OBJECT
public:
    static constexpr int kCursorA = 0, kCursorB = 1;
    // A pane's legend names at most this many channels, the first shown in it, and then
    // says how many more the pane holds: a legend of thousands of names fits on no screen
    // (the channel list names them all) and costs the plot time with every change.
    static constexpr int kLegendChannels = 20;

    // The trace colours, taken by the channels in turn: no two alike, and each at least
    // 3:1 in contrast against the plot's background, Background().
    static const std::vector<QColor>& Palette();
    static QColor Background() { return QColor(255, 255, 255); }
    // A picture's size in pixels (PNG) or points (PDF), whatever the window's size.
    static constexpr int kPictureWidth = 1600, kPictureHeight = 1000;

    explicit ViewerPlot(QWidget* parent = nullptr);
    ~ViewerPlot() override;

    // Shows the session's recording: channel c in pane `panes[c]` in colour
    // `colours[c]`, the whole file in view, no cursors. Null clears the plot. Recordings
    // added go.
    void SetRecording(const ViewerSession* session, const std::vector<int>& panes,
                      const std::vector<QColor>& colours);
    // Lays another loaded recording over the first (ignored without a first one): its
    // channels take the numbers after those shown, in panes `panes` and colours `colours`
    // (one each), named `names` in the legends; its row r stands at offset + r × step.
    // The view, cursors and history stay. Returns the recording's number (1, 2, ...).
    int AddRecording(const ViewerSession* session, double offset, const std::vector<int>& panes,
                     const std::vector<QColor>& colours, const std::vector<QString>& names);
    // Takes recording `file` (from 1) off; the channels after its own move down.
    void RemoveRecording(int file);
    int file_count() const { return int(files_.size()); }
    // The channel number of recording `file`'s first channel, and the recording of a channel.
    int FirstChannel(int file) const;
    int FileOf(int channel) const;
    double offset(int file) const;
    // Moves recording `file` (from 1) along the time axis; redrawn at once.
    void SetOffset(int file, double seconds);
    // The names the legends give the channels, by channel number (a missing one: the
    // recording's own name).
    void SetNames(const std::vector<QString>& names);
    // The time that all recordings span, offsets included: from min(0, offsets) to the
    // latest end.
    QCPRange Span() const;
    // Moves a channel to another pane (panes left empty go, new ones are added below).
    void SetPanes(const std::vector<int>& panes);
    void SetChannelVisible(int channel, bool visible);
    // Shows or hides every channel at once (`visible[c]` for channel c).
    void SetChannelsVisible(const std::vector<bool>& visible);
    bool ChannelVisible(int channel) const;
    int pane_count() const { return int(panes_.size()); }
    // The pane of each channel, numbered from 0 in order of use.
    const std::vector<int>& panes() const { return pane_of_; }
    int PaneAt(const QPoint& pos) const;  // -1 outside every pane

    // The time range in view.
    QCPRange view() const { return view_; }
    void SetView(QCPRange range, bool remember = true);
    void FitAll();
    // The recording grew from `old_rows` rows: a view that showed its end moves on to
    // show the new end (not remembered), the whole file if it showed the whole file, else
    // at the same width; one the user moved into the past stays where it is. True when
    // the view moved (viewChanged was emitted).
    bool DataGrew(size_t old_rows);
    // The view set to A..B (remembered); false when a cursor is not placed.
    bool ZoomToCursors();
    // factor < 1 zooms in; `remember` puts the view before it into the history.
    void ZoomAround(double factor, double centre, bool remember = true);
    void PanBy(double fraction, bool remember = true);  // by a fraction of the visible width
    bool Back();
    bool Forward();
    // Back and Forward restore the time range with each pane's value range and auto-Y.
    bool CanGoBack() const { return !back_.empty(); }
    bool CanGoForward() const { return !forward_.empty(); }

    // Y of a pane: fitted to the visible data, or fixed where the user left it.
    void SetAutoY(int pane, bool on);
    bool AutoY(int pane) const;
    void SetAllAutoY(bool on);

    // Cursors, as row indices; -1 when not placed.
    long cursor(int which) const { return cursor_[which]; }
    void SetCursor(int which, long row);
    void ClearCursors();

    void SetBoxZoom(bool on) { box_mode_ = on; }
    void SetLegendsVisible(bool on);
    // A pane's legend (a legend without entries is hidden), laid out beside the pane.
    QCPLegend* pane_legend(int pane) const {
        return pane >= 0 && size_t(pane) < panes_.size() ? panes_[size_t(pane)].legend : nullptr;
    }

    // A picture of the time range `range` (the view, or A..B) at kPictureWidth x
    // kPictureHeight, cursors and legends included, `caption` (the cursors' readout; empty:
    // none) on a line under the panes: PNG or PDF by the ending. The view, its history and
    // the window are left as they were.
    bool SavePicture(const QString& path, QCPRange range, const QString& caption);

    // An analysis's marks, kept while the channels move between panes; a new recording
    // clears them.
    void SetAnalysisMarks(const AnalysisMarks& marks);
    void ClearAnalysisMarks() { SetAnalysisMarks(AnalysisMarks()); }
    const AnalysisMarks& analysis_marks() const { return analysis_marks_; }

signals:
    void viewChanged(QCPRange range);
    void cursorsChanged();
    void historyChanged();
    // The time under the pointer, NaN when the pointer is not over a pane.
    void hovered(double seconds);
    void contextMenuRequestedAt(const QPoint& global, int pane);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    // Tab stays in the plot, where it switches the active cursor.
    bool focusNextPrevChild(bool next) override;
    // The layout, then each legend cut to its pane's height and their column sized.
    void updateLayout() override;

private:
    struct Pane {
        QCPAxisRect* rect = nullptr;
        QCPLayoutInset* legend_box = nullptr;  // the legend's cell, right of the pane
        QCPLegend* legend = nullptr;
        int legend_height = -1;      // the height its lines were counted for
        int legend_lines = 1 << 20;  // the lines it has room for; fewer than it needs cut it
        bool auto_y = true;
        QCPItemStraightLine* cursor_line[2] = {nullptr, nullptr};
    };
    // What the history keeps: the time range and each pane's value range and auto-Y.
    struct ViewState {
        struct PaneY {
            bool auto_y;
            QCPRange range;
        };
        QCPRange time;
        std::vector<PaneY> panes;
    };
    void BuildPanes();
    void Rebuild();  // the panes built anew, each keeping its auto-Y, the marks redrawn
    void FillLegends();
    void FillLegend(size_t pane);
    bool FitLegends();  // true when a legend or its column changed
    void ApplyView();
    void FitY(const QCPRange& keys);
    void PlaceCursorItems();
    void Remember();
    void KeyGesture();  // remembers the view unless a key or wheel gesture goes on
    ViewState State() const;
    void Restore(const ViewState& state);
    void StepCursor(long rows);  // the active cursor, the view following it
    QCPRange Clamped(QCPRange range) const;
    double TimeAt(double x) const;
    long RowAt(double seconds) const;
    int CursorNear(const QPoint& pos) const;  // the cursor whose line is within a few pixels

    // The recordings shown, the first one the time base (offset 0).
    struct File {
        const ViewerSession* session = nullptr;
        double offset = 0;
        int first = 0;  // the number of its first channel
    };
    const ViewerSession* session_ = nullptr;
    std::vector<File> files_;
    std::vector<QString> names_;
    std::vector<int> pane_of_;
    std::vector<QColor> colours_;
    std::vector<bool> visible_;
    std::vector<Pane> panes_;
    std::vector<EnvelopeGraph*> graphs_;
    QCPGraph* seq_marks_ = nullptr;
    QCPItemText* cursor_label_[2] = {nullptr, nullptr};
    QCPMarginGroup* margins_ = nullptr;
    QCPRange view_{0, 1};
    std::vector<ViewState> back_, forward_;
    long cursor_[2] = {-1, -1};
    int active_ = kCursorA;  // the cursor the keys move
    // The cursor that the last click placed and where it stood before: the first click
    // of a double click puts it back.
    int clicked_cursor_ = -1;
    long clicked_cursor_was_ = -1;
    bool box_mode_ = false;
    bool legends_ = true;

    // The gesture under way.
    enum class Drag { None, Pending, Pan, Box, Cursor };
    Drag drag_ = Drag::None;
    QPoint press_at_;
    Qt::KeyboardModifiers press_mods_;
    QCPRange press_view_;
    int drag_cursor_ = -1;
    int press_pane_ = -1;
    QRubberBand* band_ = nullptr;
    QElapsedTimer last_wheel_;
    QPoint pointer_{-1, -1};

    // The analysis's marks and the items that draw them.
    void DrawAnalysisMarks();
    AnalysisMarks analysis_marks_;
    std::vector<QCPAbstractItem*> analysis_items_;
    QCPGraph* analysis_curve_ = nullptr;
};

}  // namespace korvex::gui
