// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMainWindow>
#include <vector>

class QAction;
class QFileDialog;
class QActionGroup;
class QLabel;
class QProgressBar;
class QPushButton;
class QScrollBar;
class QTableView;

namespace korvex::gui {

class AnalysisDock;
class ChannelTableModel;
class RecordingsDock;
class ViewerPlot;
class ViewerSession;

// The viewer's window: a whole recording in the plot, a scroll bar over the whole file,
// the channel list with the cursor readings, the cursors' times, Δt and 1/Δt, and export
// to CSV, COMTRADE and pictures from the menu and the tool bar. A thin view of its
// ViewerSession, which loads and exports off the GUI thread; dialogs are opened without
// nested event loops. It opens at 85 % of its screen's free area (at most 1400 x 900),
// centred, and can be made small enough for any laptop.
//
// More recordings of the same event (a protection relay's COMTRADE record, a step test
// before and after tuning) can be laid over the first, each with an offset in seconds
// along the time axis: their channels follow the first one's in the list and in panes of
// their own, and read at the cursors too. The first recording stays the time base: the
// cursors are its rows, and the exports and the Analysis dock work on it alone.
// GUI thread only.
class ViewerWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit ViewerWindow(QWidget* parent = nullptr);
    ~ViewerWindow() override;

    // Takes the window's last size, position and docks from the user's settings
    // (QSettings "Korvex", "korvex-view"; a geometry off every screen is ignored), and from
    // now on keeps them there on closing, with the folders of the recordings opened and of
    // the files exported, where the dialogs then start. Without it the window leaves the
    // settings alone.
    void UseSettings();

    // Loads a file; the window shows it once loaded (`loaded` follows, with the message
    // shown on failure, which names the file). A window that shows no recording yet
    // closes when its file cannot be read; one that does keeps it, and its status line.
    void Open(const QString& path);
    // Loads a file to lay over the first recording (with none shown or loading: opens it
    // as Open does), on a session of its own; `recordingAdded` follows, and on failure
    // the message, naming the file, is shown and nothing changes. Several may load at
    // once. A new Open, or F5, keeps the recordings added and their offsets.
    void AddRecording(const QString& path);
    // The recordings added and shown (file 1, 2, ... in the list and the plot).
    int added_count() const { return int(added_.size()); }
    double added_offset(int file) const;
    // Moves recording `file` (from 1) by `seconds` (kept to the microsecond).
    void SetAddedOffset(int file, double seconds);
    // "Align at cursor A": the user has put cursor A on an event in the first recording
    // and cursor B on the same event in this recording's trace. With t0(r) the first
    // recording's time of its row r, and ti(r) recording `file`'s own time of its row r,
    // the row of this recording nearest to t0(B) - offset is R, and the new offset is
    // t0(A) - ti(R): R comes to lie exactly under A. Nothing without both cursors.
    void AlignAtCursor(int file);
    // "By clock": offset = the recording's start - the first recording's start, a start
    // being a COMTRADE record's first sample time (with its microseconds), else the
    // "#INFO=" clock of a fault recording. Nothing when either is unknown.
    void AlignByClock(int file);
    void RemoveAdded(int file);
    // The panel of the recordings and their offsets, docked at the bottom: shown when a
    // recording is added, hidden when none is.
    RecordingsDock* recordings() const { return recordings_; }

    ViewerSession* session() const { return session_; }
    ViewerPlot* plot() const { return plot_; }
    ChannelTableModel* channels() const { return model_; }
    QTableView* table() const { return table_; }
    QScrollBar* scroll_bar() const { return scroll_; }
    // The line with the cursors' times, Δt and 1/Δt.
    QString cursor_text() const;
    // Whether exports cover rows A..B rather than the whole file.
    bool ExportRangeOnly() const;
    void SetExportRangeOnly(bool on);
    // Rows an export covers now: [begin, end).
    void ExportRows(size_t* begin, size_t* end) const;
    // Starts an export to `path` (no dialog); false when another one runs.
    // CsvDecimalComma: ";" between fields and a decimal comma, for a spreadsheet set to
    // Russian.
    enum class Format { Csv, CsvDecimalComma, Comtrade, ComtradeAscii, Png, Pdf };
    bool ExportTo(Format format, const QString& path, bool overwrite);
    // The Analysis dock, docked on the right, hidden until the user shows it.
    AnalysisDock* analysis() const { return analysis_; }
    // Writes the test report of the dock's result to `path` (no dialog; an existing file
    // is replaced); false, with the message shown, when there is no result or the write
    // fails.
    bool ExportReport(const QString& path);

signals:
    void loaded(const QString& message);
    void exported(const QString& message);
    // An AddRecording finished: empty on success, else the message shown.
    void recordingAdded(const QString& message);

protected:
    void closeEvent(QCloseEvent* event) override;
    // Files dropped on the window: with no recording shown the first opens and the others
    // are added, else all are added.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void BuildActions();
    void FitToScreen();
    void SetInfo(const QString& text);  // the status line's recording summary
    // A folder kept in the settings under `key` when it still exists, else `fallback`.
    QString Folder(const char* key, const QString& fallback) const;
    void KeepFolder(const char* key, const QString& file);  // the folder of `file`
    void Load(const QString& path, bool close_on_failure);
    void OnLoaded(const QString& message);
    void OnGrew(size_t old_rows);
    void Follow(bool on);  // starts or stops following, the action showing what is so
    void OnViewChanged();
    void OnCursorsChanged();
    void OnHovered(double seconds);
    void OnScroll(int value);
    void ShowPlotMenu(const QPoint& global, int pane);
    void ShowTableMenu(const QPoint& pos);
    void MoveSelectedTo(int pane);
    void AskExport(Format format);
    // A file dialog for recordings and COMTRADE records, in the folder last used; it
    // deletes itself when closed.
    QFileDialog* RecordingDialog(const QString& title);
    void AskOpen();
    void AskReport();
    void AskAdd();
    void OnAddLoaded(ViewerSession* session, const QString& path, const QString& message);
    void ShowAdded(size_t i);  // into the plot and the list, after the channels there
    void UpdateRecordingsDock(bool show);
    void UpdateReadings();
    // The row of recording `file` at the first recording's row `row`: its own row nearest
    // to that time less its offset; -1 when the cursor is not placed or the time lies
    // outside the recording by more than half its step.
    long RowIn(int file, long row) const;
    void UpdateActions();
    QString TimeText(double seconds) const;
    QString StatusText() const;  // the shown recording's rows, length, rate and defects

    ViewerSession* session_;
    ViewerPlot* plot_;
    ChannelTableModel* model_;
    QTableView* table_;
    QScrollBar* scroll_;
    QLabel* cursor_label_;
    QLabel* hover_label_;
    QLabel* info_label_;
    QProgressBar* progress_;
    QPushButton* cancel_;
    QAction* back_ = nullptr;
    QAction* forward_ = nullptr;
    QAction* box_ = nullptr;
    QAction* range_only_ = nullptr;
    QAction* legend_ = nullptr;
    QAction* follow_ = nullptr;
    bool follow_wanted_ = false;  // following when the load began
    QAction* zoom_cursors_ = nullptr;
    QPushButton* export_button_ = nullptr;
    std::vector<QAction*> need_data_;
    QString pending_path_;  // being loaded
    bool reload_ = false;
    bool close_on_failure_ = false;
    bool readings_pending_ = false;
    bool settings_ = false;   // UseSettings() was called
    double scroll_unit_ = 1;  // seconds per scroll-bar step
    AnalysisDock* analysis_ = nullptr;
    QAction* report_ = nullptr;
    // The recordings added, loaded: file i + 1 of the list and the plot.
    struct Added {
        ViewerSession* session;
        QString path;
        double offset;
    };
    std::vector<Added> added_;
    RecordingsDock* recordings_ = nullptr;
};

}  // namespace korvex::gui
