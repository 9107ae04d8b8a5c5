// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "app/StopToken.h"
#include "files/Envelope.h"
#include "files/RecordingData.h"

namespace korvex::gui {

// One recording in the viewer, without widgets: the whole file in columns with an
// envelope per channel, loaded on the session's worker, and exports written on it, so
// the window keeps painting. Results reach the GUI thread as queued signals; the worker
// never waits on it. Destroying the session cancels a load or export and joins.
// GUI thread only.
class ViewerSession : public QObject {
    Q_OBJECT
public:
    // CsvDecimalComma: ";" between fields and a decimal comma, for spreadsheets set to
    // Russian.
    enum class ExportKind { Csv, CsvDecimalComma, ComtradeBinary, ComtradeAscii };

    explicit ViewerSession(QObject* parent = nullptr);
    ~ViewerSession() override;

    // Loads (or loads again) a file; `loaded` follows, with the reader's message on
    // failure, "Not enough memory for %zu rows of %d channels" (Russian too) when the
    // envelopes do not fit. The recording shown so far stays until the new one has
    // arrived, and after a failure. No exception leaves the session or its threads.
    // A follow running is stopped first (followEnded with no message).
    void Open(const QString& path);
    // The side of the instrument transformers a COMTRADE record's analog values are shown
    // on, from the next Open.
    void SetComtradeSide(ComtradeOptions::Side side) { comtrade_side_ = side; }
    ComtradeOptions::Side comtrade_side() const { return comtrade_side_; }
    bool loading() const { return loading_; }
    bool has_data() const { return data_ != nullptr; }
    const RecordingData& data() const { return *data_; }
    const Envelope& envelope(int channel) const { return envelopes_[size_t(channel)]; }
    QString path() const { return path_; }

    // Writes rows [begin, end) as `kind` to `path` (the base name for COMTRADE);
    // `exportProgress` and then `exportFinished` follow. One export at a time: false when
    // one runs, or when no thread can be started for it.
    bool Export(ExportKind kind, const QString& path, size_t begin, size_t end, bool overwrite);
    bool exporting() const { return exporting_; }
    void CancelExport() { cancel_export_.RequestStop(); }

    // Following a recording still being written: while on, a worker of its own reads the
    // file every 200 ms from where the rows read so far end (complete lines only, a line
    // being written waits for its line end) and the new rows are appended here, on the
    // GUI thread, in batches, each followed by `grew`. The columns may move then: views
    // take column() afresh after `grew`. While an export runs the batches are held back
    // and appended once it has finished. Turning it on does nothing without a recording
    // read from a recording file (can_follow), or while a load runs; off stops and joins
    // the worker, rows read but not appended yet are read again by the next follow.
    void SetFollow(bool on);
    bool following() const { return following_; }
    // The file looks still written: it ends in a line without its line end, or its time
    // stamp (at the load, or at the last rows followed) is less than 5 seconds old.
    bool growing() const;

signals:
    // `message` is empty on success, else the text of the failure.
    void loaded(const QString& message);
    void exportProgress(int percent);
    void exportFinished(const QString& message);
    // Rows were appended; the recording had `old_rows` before.
    void grew(size_t old_rows);
    // The follow ended by itself: by a reload (empty message), or because the file was
    // cut short or replaced, could no longer be read, or its rows no longer fit in memory
    // (the text of it, Russian or English). Not emitted for SetFollow(false).
    void followEnded(const QString& message);

private:
    struct Loaded {
        std::unique_ptr<RecordingData> data;
        std::vector<Envelope> envelopes;
        std::string error;
    };
    void JoinWorker();
    void FollowWork(RecordingTail& tail, unsigned generation);
    void ReceiveRows(const std::shared_ptr<RecordingData::RowBatch>& batch, unsigned generation);
    void AppendRows(const RecordingData::RowBatch& batch);
    void AppendHeldRows();
    void StopFollow();
    void EndFollow(const QString& message);
    void EndFollowOutOfMemory();

    std::thread worker_;
    // One token per worker: a load, an export.
    StopToken cancel_;
    StopToken cancel_export_;
    bool loading_ = false;
    bool exporting_ = false;

    // The follow: its worker, woken early from its 200 ms wait by follow_wake_ when asked
    // to stop; the batches posted and not received yet (the worker reads no more while
    // several are on their way); batches received while an export runs.
    std::thread follow_worker_;
    StopToken cancel_follow_;
    std::mutex follow_mutex_;
    std::condition_variable follow_wake_;
    std::atomic<int> batches_posted_{0};
    // Batches and ends posted by an earlier follow carry an older number and are dropped.
    unsigned follow_generation_ = 0;
    bool following_ = false;
    std::vector<std::shared_ptr<RecordingData::RowBatch>> held_;
    QString path_;
    ComtradeOptions::Side comtrade_side_ = ComtradeOptions::Side::AsRecorded;
    std::unique_ptr<RecordingData> data_;
    std::vector<Envelope> envelopes_;
};

}  // namespace korvex::gui
