// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <memory>
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
    enum class ExportKind { Csv, ComtradeBinary, ComtradeAscii };

    explicit ViewerSession(QObject* parent = nullptr);
    ~ViewerSession() override;

    // Loads (or loads again) a file; `loaded` follows, with the reader's message on
    // failure, "Not enough memory for %zu rows of %d channels" (Russian too) when the
    // envelopes do not fit. The recording shown so far stays until the new one has
    // arrived, and after a failure. No exception leaves the session or its threads.
    void Open(const QString& path);
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

signals:
    // `message` is empty on success, else the text of the failure.
    void loaded(const QString& message);
    void exportProgress(int percent);
    void exportFinished(const QString& message);

private:
    struct Loaded {
        std::unique_ptr<RecordingData> data;
        std::vector<Envelope> envelopes;
        std::string error;
    };
    void JoinWorker();

    std::thread worker_;
    // One token per worker: a load, an export.
    StopToken cancel_;
    StopToken cancel_export_;
    bool loading_ = false;
    bool exporting_ = false;
    QString path_;
    std::unique_ptr<RecordingData> data_;
    std::vector<Envelope> envelopes_;
};

}  // namespace korvex::gui
